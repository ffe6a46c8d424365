#pragma once

#include <string>
#include <vector>

// What the engine tells whoever runs it when a step goes wrong: which step, what went wrong,
// and the facts (paths, figures, the system's reason). The engine never words it for a person:
// the window turns a report into its message boxes, the command line into its own line.
namespace platform {

enum class Problem {
    // Opening and measuring the video.
    ProbeGraph,     // no playback graph could be made
    NotReadable,    // details: path, the system's reason (empty: no decoder took it)
    NoSeeking,      // its length cannot be asked for
    NoLength,       // its length cannot be measured
    AviIndexShort,  // details: the seconds the index lists, the seconds the data holds
    NoPicture,      // sound only
    NoVideoDecoder, // the picture cannot be decoded
    NoFrameRate,    // its frame rate cannot be read
    // The job before anything runs.
    NoVideoOpened,
    TooManyPhotos,
    TooManyMusicFiles,
    MarksReversed,       // details: start mark, end mark
    MarksEqual,          // details: the mark
    NothingBetweenMarks, // details: start mark, end mark
    NoOutputFile,
    OutputIsInput,       // details: output path
    OutputRefused,       // details: the reason the output path cannot take a file
    OutputFolderMissing, // details: folder
    OutputNotWritable,   // details: output path
    OutputNotCreated,    // details: the reason the temporary could not be made
    // Building the conversion: a step of the timeline or the graph. details: the step; for
    // GraphStepWithReason also the engine's reason.
    TimelineNotCreated,
    TimelineStep,
    TransitionTooLong,
    RenderEngineNotCreated,
    GraphStep,
    FrontEndFailed,     // details: the engine's reason (may be empty)
    RenderStreamFailed, // details: the builder's reason
    RunFailed,          // details: the graph's reason
    SetFiltergraphFailed,
    ProfileStep,         // details: the step's report with %x for its code, the code
    UnsupportedFormat,   // no writer is known for the format code
    OutputFormatUnknown, // the same, found while naming the output file
    WriterMissing,       // details: the install advice of the format's writer
    NoCompressorBound,
    CompressorNotAdded, // details: factory name
    CopyRefused,        // details: why the source's stream cannot be copied into the format
    // The end of a conversion that failed; details: what failed, with its figures, and for a
    // graph that failed its reason alone.
    ConversionFailed,
    // Settings and compressors.
    NoSystemEnumerator,
    NoClassEnumerator,
    CompressorNotBound,
    CompressorNotCreated, // details: "video" or "audio"
    NoVideosFolder,
    MissingMediaFiles, // details: the paths
};

struct Report
{
    Problem problem;
    std::vector<std::string> details;
};

// The front end that hears the engine's reports.
class ReportListener
{
public:
    virtual ~ReportListener() = default;
    virtual void Take(const Report &report) = 0;
};

// Installs a listener (nullptr: reports go to standard error); returns the previous one.
ReportListener *SetReportListener(ReportListener *listener);
void Say(Problem problem, std::vector<std::string> details = {});

// Keeps every report; installs itself for its lifetime.
class ReportRecorder : public ReportListener
{
public:
    ReportRecorder();
    ~ReportRecorder() override;
    void Take(const Report &report) override { m_reports.push_back(report); }
    const std::vector<Report> &Reports() const { return m_reports; }

private:
    ReportListener *m_previous = nullptr;
    std::vector<Report> m_reports;
};

} // namespace platform
