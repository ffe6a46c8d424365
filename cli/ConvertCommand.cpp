#include "cli/ConvertCommand.h"

#include "cli/CliMessages.h"
#include "cli/ConsoleHost.h"
#include "cli/ConvertOptions.h"
#include "cli/EncoderChoice.h"

#include "convert/ConversionDriver.h"
#include "convert/TimelineBuilder.h"
#include "job/ConversionJob.h"
#include "job/MediaProbe.h"
#include "localisation/Language.h"
#include "media/output/CaptureGraphBuilder.h"
#include "settings/CompressorChoices.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_signal = 0;

void OnSignal(int number)
{
    g_signal = number;
}

// The part to convert, in seconds checked before they become 100-ns units: an end past the
// video is its end, however far past. Returns 0, or 1 after a message.
int ChooseSection(const ConvertOptions &o, const std::string &input, REFERENCE_TIME length,
                  ConversionJob &dlg)
{
    const double seconds = double(length) / UNITS;
    const double start = o.start.value_or(0);
    const double end = std::min(o.end.value_or(seconds), seconds);
    if (start >= end) {
        char text[160];
        std::snprintf(text, sizeof text, "--start %g is at or past the end: the video lasts %.3f s",
                      start, seconds);
        return Fail(input, text);
    }
    dlg.m_llStartTime = static_cast<REFERENCE_TIME>(start * UNITS);
    dlg.m_llEndTime = std::min(static_cast<REFERENCE_TIME>(end * UNITS), length);
    return 0;
}

// Settings, format, probe and the opened video as item 0 of the job. Returns 0, or the exit code
// after a message.
int SetUpJob(const ConvertOptions &o, const std::string &input, const std::string &output,
             ConversionJob &dlg)
{
    SettingsStore &store = SettingsStore::Global();
    dlg.LoadItemDefaults(store);
    LoadOutputSettings(store, &dlg);
    dlg.m_szOutputFile = output;
    if (o.format) {
        dlg.m_nOutputFormat = *o.format;
    } else {
        const std::size_t dot = output.find_last_of('.');
        const std::size_t slash = output.find_last_of('/');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
            if (auto byExtension = FormatByName(output.substr(dot + 1)))
                dlg.m_nOutputFormat = *byExtension;
    }

    if (!CheckInputFile(input))
        return 1;
    MediaProbeResult probe;
    if (!RunMediaProbe(input, &probe))
        return Fail(input, TakeEngineReason());
    dlg.TakeSourceFacts(probe);
    if (o.width)
        dlg.m_nOutputWidth = *o.width;
    if (o.height)
        dlg.m_nOutputHeight = *o.height;
    // The source's rate unless one is asked for: the window's stored rate is the window's.
    dlg.m_dOutputFrameRate = o.fps.value_or(probe.sourceFrameRate);
    if (o.stretch)
        dlg.m_nStretchMode = ResizeStretch;
    if (o.videoKbps)
        dlg.m_nVideoBitrate = static_cast<unsigned>(*o.videoKbps) * 1000;
    if (o.audioKbps)
        dlg.m_nAudioBitrate = static_cast<unsigned>(*o.audioKbps) * 1000;
    const unsigned audio = dlg.m_nAudioBitrate;
    const bool offered = audio % 1000 == 0
                         && std::find(std::begin(kWmaKbps), std::end(kWmaKbps), int(audio / 1000))
                                != std::end(kWmaKbps);
    if ((dlg.m_nOutputFormat == OutputFormatWmv || dlg.m_nOutputFormat == OutputFormatAsf)
        && !offered) {
        // The window may have stored a rate the sound encoder has no format for.
        Note("the stored sound bitrate of " + std::to_string(audio)
             + " bit/s is not one the Windows Media sound encoder takes; using 128 kbit/s");
        dlg.m_nAudioBitrate = 128000;
    }

    const REFERENCE_TIME length = probe.stopPosition;
    dlg.SetOpenedVideo(input, length, length);
    return ChooseSection(o, input, length, dlg);
}

// The output path checked and freed, and the encoders bound. Returns 0, or 1 after a message.
int PrepareOutput(const ConvertOptions &o, ConversionJob &dlg)
{
    if (!CheckOutputPath(dlg))
        return 1;
    if (access(o.output.c_str(), F_OK) == 0) {
        if (!o.overwrite) {
            std::fprintf(stderr, "Error: %s exists. Add --overwrite to replace it.\n",
                         o.output.c_str());
            return 1;
        }
        std::remove(o.output.c_str());
    }
    const bool windowsMedia
        = dlg.m_nOutputFormat == OutputFormatWmv || dlg.m_nOutputFormat == OutputFormatAsf;
    if (!windowsMedia) {
        if (!ChooseEncoder(CompressorCategory::Video, o.videoEncoder, dlg.m_nOutputFormat,
                           &dlg.m_bUseVideoCompressor)
            || !ChooseEncoder(CompressorCategory::Audio, o.audioEncoder, dlg.m_nOutputFormat,
                              &dlg.m_bUseAudioCompressor))
            return 1;
        SuppressCodecFeedback();
    }
    return 0;
}

// How a started conversion ended.
struct Outcome
{
    bool completed = false;
    bool unfinished = false; // the writer did not complete the file in time after a stop
};

// Waits for the end of the running conversion, showing progress, and stops it on a signal.
Outcome WaitForConversion(ConversionJob &dlg, ConsoleHost &host, Progress::Style style)
{
    Conversion &conversion = host.Run();
    const REFERENCE_TIME length = dlg.m_llEndTime - dlg.m_llStartTime;
    Progress progress(length, style);
    Outcome outcome;
    auto lastShown = std::chrono::steady_clock::now();
    while (dlg.m_bConverting == 1) {
        const bool events = host.Wait(std::chrono::milliseconds(200));
        if (g_signal != 0) {
            std::fprintf(stderr, "\nStopping: finishing the file written so far...\n");
            outcome.unfinished = FinishConversion(dlg, conversion) == E_FAIL;
            break;
        }
        if (events && conversion.pControl) {
            const bool endSeen = conversion.pControl->Completed();
            OnGraphNotify(dlg, conversion);
            if (dlg.m_bConverting == 0)
                outcome.completed = endSeen && conversion.m_lastError.empty();
        }
        if (dlg.m_bConverting == 1
            && std::chrono::steady_clock::now() - lastShown >= std::chrono::seconds(1)) {
            progress.Show(conversion.pControl ? conversion.pControl->WrittenPosition() : 0);
            lastShown = std::chrono::steady_clock::now();
        }
    }
    if (outcome.completed)
        progress.Show(length, true);
    return outcome;
}

void InstallStopHandlers()
{
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// The output, checked in the command line's words before anything is written or removed:
// not a folder, its folder exists and can be written, not the input, not an existing file
// unless --overwrite. Returns 0, or 1 after a message.
int CheckOutputFile(const std::string &input, const std::string &output, bool overwrite)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(output, ec))
        return Fail(output, std::strerror(EISDIR));
    const fs::path parent = fs::path(output).parent_path();
    const std::string folder = parent.empty() ? std::string(".") : parent.string();
    struct stat info = {};
    if (stat(folder.c_str(), &info) != 0)
        return Fail(folder, std::strerror(errno));
    if (!S_ISDIR(info.st_mode))
        return Fail(folder, std::strerror(ENOTDIR));
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return Fail(folder, std::strerror(errno));
    if (fs::exists(output, ec) && fs::equivalent(input, output, ec))
        return Fail(output, "is the input itself; choose another output file");
    if (fs::exists(fs::symlink_status(output, ec)) && !overwrite)
        return Fail(output, "File exists; add --overwrite to replace it");
    return 0;
}

// A failed conversion leaves nothing under the output's name: what is there is a part-written
// file of this run (an earlier file there was only replaced with --overwrite).
void RemoveFailedOutput(const std::string &output)
{
    std::error_code ec;
    std::filesystem::remove(output, ec);
}

Progress::Style StyleOf(const ConvertOptions &o)
{
    if (o.quiet)
        return Progress::Style::Silent;
    return o.progress == ProgressStyle::Json ? Progress::Style::Json : Progress::Style::Text;
}

// One input converted to one output file. Returns its exit code; *stopped when a signal ended
// it.
int ConvertFile(const ConvertOptions &options, const std::string &input, const std::string &output,
                bool *stopped)
{
    ConvertOptions o = options;
    o.output = output;
    ConversionJob dlg;
    if (int code = SetUpJob(o, input, output, dlg); code != 0)
        return code;
    if (int code = CheckOutputFile(input, output, o.overwrite); code != 0)
        return code;
    if (int code = PrepareOutput(o, dlg); code != 0) {
        if (const std::string reason = TakeEngineReason(); !reason.empty())
            Fail(output, reason);
        return code;
    }
    if (int code = CheckFrameSize(dlg); code != 0)
        return code;

    InstallStopHandlers();
    ConsoleHost host;
    Conversion &conversion = host.Run();
    const bool withSound = media::FileHasSound(dlg.m_szMusicFile[0]);
    if (FAILED(BuildTimeline(dlg, conversion.pTimeline, withSound)) || !conversion.pTimeline
        || FAILED(StartRender(dlg, conversion, conversion.pTimeline)) || dlg.m_bConverting != 1) {
        const std::string reason = TakeEngineReason();
        ReleaseBoundCompressors();
        RemoveFailedOutput(output);
        return Fail(output, reason.empty() ? "the conversion could not start" : reason);
    }

    const Outcome outcome = WaitForConversion(dlg, host, StyleOf(o));
    const std::string reason = TakeEngineReason();
    ReleaseBoundCompressors();
    if (outcome.unfinished)
        return Fail(output, "the writer did not finish the file in time; it may not play");
    if (g_signal != 0) {
        *stopped = true;
        return 128 + g_signal;
    }
    if (!outcome.completed) {
        RemoveFailedOutput(output);
        return Fail(output, reason.empty() ? "the conversion failed" : reason);
    }
    if (!o.quiet && o.progress == ProgressStyle::Text)
        std::fprintf(stderr, "clipwright-cli: wrote %s (%dx%d, %.3f fps)\n", output.c_str(),
                     dlg.m_nOutputWidth, dlg.m_nOutputHeight, dlg.m_dOutputFrameRate);
    return 0;
}

// Each input in turn into DIR/<name>.<ext> with the same options; a failure does not stop the
// others, a signal does. Returns 1 when any failed.
int ConvertEach(const ConvertOptions &o)
{
    namespace fs = std::filesystem;
    struct stat info = {};
    if (stat(o.outputDir.c_str(), &info) != 0)
        return Fail(o.outputDir, std::strerror(errno));
    if (!S_ISDIR(info.st_mode))
        return Fail(o.outputDir, std::strerror(ENOTDIR));
    OutputSettings stored;
    LoadOutputSettings(SettingsStore::Global(), &stored);
    const int format = o.format.value_or(stored.m_nOutputFormat);
    std::set<std::string> written;
    std::vector<std::string> failed;
    for (std::size_t i = 0; i < o.inputs.size(); ++i) {
        const std::string &input = o.inputs[i];
        std::string output;
        ApplyFormatExtension(format, (fs::path(o.outputDir) / fs::path(input).filename()).string(),
                             &output);
        if (!o.quiet && o.progress == ProgressStyle::Text)
            std::fprintf(stderr, "clipwright-cli: [%zu/%zu] %s -> %s\n", i + 1, o.inputs.size(),
                         input.c_str(), output.c_str());
        bool stopped = false;
        int code = 0;
        if (!written.insert(fs::weakly_canonical(output).string()).second)
            code = Fail(input, "its output " + output + " is that of an earlier input");
        else
            code = ConvertFile(o, input, output, &stopped);
        if (o.progress == ProgressStyle::Json)
            PrintJsonStatus(code == 0 ? "done" : stopped ? "stopped" : "failed", output, code);
        if (stopped)
            return code;
        if (code != 0)
            failed.push_back(input);
    }
    if (!o.quiet) {
        std::string list;
        for (const std::string &f : failed)
            list += (list.empty() ? "; failed: " : ", ") + f;
        std::fprintf(stderr, "clipwright-cli: %zu of %zu converted%s\n",
                     o.inputs.size() - failed.size(), o.inputs.size(), list.c_str());
    }
    return failed.empty() ? 0 : 1;
}

} // namespace

int RunConvertCommand(int argc, char **argv)
{
    ConvertOptions o;
    if (int code = ParseConvertOptions(argc, argv, &o); code != 0)
        return code;
    if (o.help) {
        std::fputs(kConvertHelp, stdout);
        return 0;
    }
    if (int code = CheckConvertOptions(o); code != 0)
        return code;
    SetQuiet(o.quiet);
    if (!o.outputDir.empty())
        return ConvertEach(o);
    bool stopped = false;
    const int code = ConvertFile(o, o.inputs.front(), o.output, &stopped);
    if (o.progress == ProgressStyle::Json)
        PrintJsonStatus(code == 0 ? "done" : stopped ? "stopped" : "failed", o.output, code);
    return code;
}
