#pragma once

#include "convert/OutputFile.h"
#include "job/ConversionJob.h"
#include "media/core/Filter.h"
#include "media/output/CaptureGraphBuilder.h"
#include "media/output/ConversionGraph.h"
#include "media/render/RenderEngine.h"
#include "media/render/Timeline.h"
#include "platform/Status.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// Turns the conversion's timeline into a running graph that writes the output file: the
// render engine's group pads, through the chosen compressors (or the Windows Media encoders of
// the generated profile), into the writer of the output format.

class SettingsStore;

// What a conversion needs from the front end that runs it: the window, or the command line.
class ConversionHost
{
public:
    virtual ~ConversionHost() = default;
    // The user's stored choices the front end runs with (the compressors chosen in an earlier
    // run, when none was chosen in this one).
    virtual const SettingsStore &Settings() const = 0;
    // Called on a streaming thread whenever graph events are queued; must only post.
    virtual void PostGraphNotify() = 0;
    virtual void SetConvertCaption(const std::string &text) = 0;
    virtual void SetStatusText(const std::string &text) = 0;
    // The elapsed-time timer (1112, every second).
    virtual void StartConversionTimer() = 0;
    virtual void StopConversionTimer() = 0;
    // Open Video, Options, Start Time and End Time.
    virtual void EnableConversionControls(bool enable) = 0;
    // The filter properties dialog over the graph, before an MP4 graph runs.
    virtual void ShowFilterProperties(const media::Filter &graph) {}
    virtual void OpenDownloadPage(const std::string &address) = 0;
    // The user's answers. True replaces an existing output (once the new one is complete).
    virtual bool ReplaceOutput(const std::string &path) = 0;
    // False when the user would rather not write uncompressed video.
    virtual bool WriteUncompressed(const std::string &downloadPage) = 0;
    // Where a clip file that has gone since it was opened went: an existing file, or nothing.
    virtual std::optional<std::string> LocateMissingFile(const std::string &path) = 0;
    // A copy that cannot start at the mark: true copies from the key frame before it, which is
    // before (100-ns units) and frames pictures ahead of the mark.
    virtual bool CopyFromKeyFrame(REFERENCE_TIME before, int frames) = 0;
};

// How a conversion ended, for the front end that ran it.
struct ConversionResult
{
    enum class Kind {
        None,      // not ended yet, or never started
        Completed, // the whole section was written, checked and put in place
        Stopped,   // stopped early: what was written was checked and put in place
        Empty,     // stopped before anything was written: nothing was put in place
        Failed,    // an error, or the file did not pass the check: nothing was put in place
    };
    Kind kind = Kind::None;
    REFERENCE_TIME written = 0; // what the output holds (100-ns units)
    REFERENCE_TIME length = 0;  // the section asked for
    std::string message;        // why it failed, with the figures
    std::string graphError;     // for a graph that failed: the engine's reason alone
    std::string note;           // what a user should know of a conversion that went well
};

// One front end's conversion: the timeline, the render engine and the running graph, from a
// start until FinishConversion releases them, the file being written, and how it ended.
class Conversion
{
public:
    explicit Conversion(ConversionHost &host)
        : m_host(host)
    {
    }
    Conversion(const Conversion &) = delete;
    Conversion &operator=(const Conversion &) = delete;
    ~Conversion() { Release(); }

    ConversionHost &Host() const { return m_host; }
    // Releases the graph and the engine (not the timeline), as after a failed start.
    void ReleaseGraph();
    // Releases everything.
    void Release();

    std::shared_ptr<media::Timeline> pTimeline;
    std::unique_ptr<media::RenderEngine> pRenderEngine;
    // The running graph: its control and its events.
    std::shared_ptr<media::ConversionGraph> pControl;
    std::string m_lastError;
    // The temporary the graph writes, put in place by FinishConversion; none when the graph
    // writes the output path directly.
    std::unique_ptr<OutputFile> m_output;
    ConversionResult m_result;
    // What the source holds that the output will not ("Sound track 2 (de) was left out: ...");
    // empty when nothing is left out. Set when the render starts.
    std::string m_leftOut;
    // Set while a section is copied from the source: what the output holds.
    struct CopiedSection
    {
        REFERENCE_TIME length = 0;
        bool sound = false;
    };
    std::optional<CopiedSection> m_copied;
    // The path the writer writes to.
    std::string WritePath(const ConversionJob &dlg) const
    {
        return m_output ? m_output->TemporaryPath() : dlg.m_szOutputFile;
    }

private:
    ConversionHost &m_host;
};

// "Sound track 2 (de) and subtitle track 1 (en) were left out: ..." for the streams named by
// the render engine; empty for none.
std::string LeftOutText(const std::vector<std::string> &streams);

// Makes control the conversion's running graph and runs it: the conversion has started.
HRESULT RunConversionGraph(ConversionJob &dlg, Conversion &conversion,
                           const std::shared_ptr<media::ConversionGraph> &control);
HRESULT StartRender(ConversionJob &dlg, Conversion &conversion,
                    const std::shared_ptr<media::Timeline> &timeline);
HRESULT DisableGroupPreview(const std::shared_ptr<media::Timeline> &timeline);
HRESULT BuildOutputGraph(ConversionJob &dlg, Conversion &conversion, media::RenderEngine &engine,
                         const std::string &outputPath);
void LockConversionControls(ConversionHost &host);
void UnlockConversionControls(ConversionHost &host);
