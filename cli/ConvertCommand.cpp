#include "cli/ConvertCommand.h"

#include "cli/CliMessages.h"
#include "cli/ConsoleHost.h"
#include "cli/ConvertOptions.h"
#include "cli/EncoderChoice.h"

#include "convert/ConversionDriver.h"
#include "convert/OutputFile.h"
#include "convert/TimelineBuilder.h"
#include "job/ConversionJob.h"
#include "job/MediaProbe.h"
#include "localisation/Language.h"
#include "media/core/MediaPlatform.h"
#include "media/output/CaptureGraphBuilder.h"
#include "settings/CompressorChoices.h"
#include "settings/OutputContainers.h"
#include "settings/SettingsStore.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

Q_LOGGING_CATEGORY(lcCli, "clipwright.cli", QtWarningMsg)

namespace {

volatile std::sig_atomic_t g_signal = 0;
// The temporary being written, for a second signal to remove before leaving at once.
char g_temporary[4096];
volatile std::sig_atomic_t g_temporaryReady = 0;
// Whether the second signal's last words are JSON (--progress=json).
volatile std::sig_atomic_t g_jsonStop = 0;

const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Which stop signals the program was started with ignored (nohup ignores SIGHUP, a script's
// background job SIGINT): those stay ignored, whatever a plug-in loader does meanwhile.
struct IgnoredOnEntry
{
    bool ignored[std::size(kStopSignals)] = {};
    IgnoredOnEntry()
    {
        for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
            struct sigaction current = {};
            ignored[i] = sigaction(kStopSignals[i], nullptr, &current) == 0
                         && current.sa_handler == SIG_IGN;
        }
    }
};

const IgnoredOnEntry &SignalsIgnoredOnEntry()
{
    // Read before our first handler goes in: the first caller is the start of main().
    static const IgnoredOnEntry entry;
    return entry;
}

void OnSignal(int number)
{
    if (g_signal == 0) {
        g_signal = number;
        return;
    }
    // A second signal while the file is being finished: give it up, leave no temporary.
    if (g_temporaryReady)
        unlink(g_temporary);
    static const char kText[] = "\nStopped again: the file was given up; OUTPUT was not changed.\n";
    static const char kJson[]
        = "{\"note\":\"stopped again: the file was given up; OUTPUT was not changed\"}\n";
    const bool json = g_jsonStop != 0;
    if (write(STDERR_FILENO, json ? kJson : kText, json ? sizeof kJson - 1 : sizeof kText - 1)
        < 0) {
        // Nothing more can be done in a signal handler.
    }
    _exit(128 + number);
}

void SetTemporary(const std::string &path)
{
    g_temporaryReady = 0;
    if (path.empty() || path.size() >= sizeof g_temporary)
        return;
    std::copy(path.begin(), path.end(), g_temporary);
    g_temporary[path.size()] = '\0';
    g_temporaryReady = 1;
}

void SetStopSignalsHeld(bool held)
{
    sigset_t set;
    sigemptyset(&set);
    for (int number : kStopSignals)
        sigaddset(&set, number);
    sigprocmask(held ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

// The part to convert, in seconds checked before they become 100-ns units: an end past the
// video is its end, however far past. Returns 0, or 1 after a message.
int ChooseSection(const ConvertOptions &o, const std::string &input, REFERENCE_TIME length,
                  ConversionJob &dlg)
{
    const double seconds = double(length) / UNITS;
    const double start = o.start.value_or(0);
    const double end = std::min(o.end.value_or(seconds), seconds);
    if (o.end && *o.end <= start && start < seconds) {
        char text[160];
        std::snprintf(text, sizeof text, "--end %g is at or before --start %g", *o.end, start);
        return Fail(input, text);
    }
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

// The window's stored settings, checked as options are: a value out of range is replaced by its
// default, said in *replaced.
void LoadStoredSettings(const SettingsStore &store, OutputSettings *settings,
                        std::vector<std::string> *replaced)
{
    // The window's stored output file is not ours to prepare: no videos folder is made for it.
    LoadOutputSettings(store, settings, replaced, VideosFolder::Leave);
    if (!FindContainer(settings->m_nOutputFormat)) {
        TakeEngineReason(); // the window's "Does not support the video format"
        replaced->push_back("the stored nOuptputFormat=" + std::to_string(settings->m_nOutputFormat)
                            + " is out of range; using " + FormatName(OutputFormatWmv));
        settings->m_nOutputFormat = OutputFormatWmv;
    }
}

// Settings, format, probe and the opened video as item 0 of the job. Returns 0, or the exit code
// after a message.
// The options over the stored settings and the source's facts.
void ApplyOptions(const ConvertOptions &o, const MediaProbeResult &probe, ConversionJob &dlg)
{
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
    if (IsWindowsMediaFormat(dlg.m_nOutputFormat) && !offered) {
        // The window may have stored a rate the sound encoder has no format for.
        Note("the stored sound bitrate of " + std::to_string(audio)
             + " bit/s is not one the Windows Media sound encoder takes; using 128 kbit/s");
        dlg.m_nAudioBitrate = 128000;
    }
}

} // namespace

int SetUpJob(const ConvertOptions &o, const SettingsStore &store, const std::string &input,
             const std::string &output, ConversionJob &dlg)
{
    dlg.LoadItemDefaults(store);
    std::vector<std::string> replaced;
    LoadStoredSettings(store, &dlg, &replaced);
    dlg.m_szOutputFile = output;
    bool formatGiven = false;
    if (o.format) {
        dlg.m_nOutputFormat = *o.format;
        formatGiven = true;
    } else {
        const std::size_t dot = output.find_last_of('.');
        const std::size_t slash = output.find_last_of('/');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
            if (auto byExtension = FormatByName(output.substr(dot + 1))) {
                dlg.m_nOutputFormat = *byExtension;
                formatGiven = true;
            }
    }
    // A stored value that was replaced is said where it would have been used.
    for (const std::string &text : replaced) {
        auto about = [&text](const char *key) { return text.find(key) != std::string::npos; };
        const bool windowsMedia = IsWindowsMediaFormat(dlg.m_nOutputFormat);
        if ((about("nOuptputFormat") && formatGiven)
            || (about("n_video_bitrate") && (o.videoKbps || !windowsMedia))
            || (about("n_audio_bitrate") && (o.audioKbps || !windowsMedia))
            || (about("b_file_profile") && !windowsMedia))
            continue;
        Note(text);
    }

    if (!CheckInputFile(input))
        return 1;
    MediaProbeResult probe;
    // A copy decodes nothing: its probe reads the streams the copy is planned from.
    media::SourceStreams streams;
    if (!(CopiesVideo(o) ? ProbeForCopy(input, &probe, &streams)
                         : ProbeForConversion(input, &probe)))
        return Fail(input, TakeEngineReason());
    if (!streams.videoCaps.empty() || !streams.audioCaps.empty())
        dlg.KnowSourceStreams(input, streams);
    dlg.TakeSourceFacts(probe);
    ApplyOptions(o, probe, dlg);

    const REFERENCE_TIME length = probe.stopPosition;
    dlg.SetOpenedVideo(input, length, length);
    const int chosen = ChooseSection(o, input, length, dlg);
    qCInfo(lcCli,
           "job: %s (%.3f s, %dx%d, %.3f fps) from %.3f s to %.3f s as %s%s, %dx%d at %.3f fps, "
           "resize %d, %u/%u bit/s",
           input.c_str(), length / 1e7, dlg.m_nSourceWidth, dlg.m_nSourceHeight,
           dlg.m_dSourceFrameRate, dlg.m_llStartTime / 1e7, dlg.m_llEndTime / 1e7,
           FormatName(dlg.m_nOutputFormat), formatGiven ? "" : " (stored)", dlg.m_nOutputWidth,
           dlg.m_nOutputHeight, dlg.m_dOutputFrameRate, dlg.m_nStretchMode, dlg.m_nVideoBitrate,
           dlg.m_nAudioBitrate);
    return chosen;
}

namespace {

// The output path checked, the file to write made beside it, and the encoders bound. Returns
// 0, or 1 after a message. An existing OUTPUT stays as it is until the new file is complete.
int PrepareOutput(const ConvertOptions &o, const SettingsStore &store, ConversionJob &dlg,
                  Conversion &conversion)
{
    if (!CheckOutputPath(dlg))
        return 1;
    struct stat st;
    const bool exists = stat(o.output.c_str(), &st) == 0;
    if (exists && !o.overwrite)
        return Fail(o.output, "File exists; add --overwrite to replace it");
    const bool windowsMedia = IsWindowsMediaFormat(dlg.m_nOutputFormat);
    const bool copyAsked = o.copy || (o.videoEncoder && Lower(*o.videoEncoder) == kCopyFactory)
                           || (o.audioEncoder && Lower(*o.audioEncoder) == kCopyFactory);
    if (windowsMedia && copyAsked)
        return Fail(o.output, std::string("the ") + FormatName(dlg.m_nOutputFormat)
                                  + " writer encodes with its own profile and copies nothing; "
                                    "choose MP4, MKV, AVI or Ogg to copy");
    if (!windowsMedia) {
        if (!ChooseEncoder(CompressorCategory::Video,
                           o.copy ? std::optional<std::string>(kCopyFactory) : o.videoEncoder,
                           store, &dlg)
            || !ChooseEncoder(CompressorCategory::Audio,
                              o.copy ? std::optional<std::string>(kCopyFactory) : o.audioEncoder,
                              store, &dlg))
            return 1;
        SuppressCodecFeedback();
    }
    if (!PrepareOutputFile(conversion, o.output, exists))
        return 1;
    SetTemporary(conversion.m_output->TemporaryPath());
    return 0;
}

// Waits for the end of the running conversion, showing progress, and stops it on a signal.
void WaitForConversion(ConversionJob &dlg, ConsoleHost &host, Progress::Style style)
{
    Conversion &conversion = host.Run();
    const REFERENCE_TIME length = dlg.MarkedSection().length;
    Progress progress(length, style);
    auto lastShown = std::chrono::steady_clock::now();
    while (dlg.m_bConverting == 1) {
        if (g_signal != 0) {
            if (style == Progress::Style::Json)
                Note("stopping: finishing the file written so far (a second signal gives it up)");
            else if (style != Progress::Style::Silent)
                std::fprintf(stderr, "\nStopping: finishing the file written so far (a second "
                                     "signal gives it up)...\n");
            FinishConversion(dlg, conversion);
            break;
        }
        const bool events = host.Wait(std::chrono::milliseconds(200));
        if (events && conversion.pControl && g_signal == 0)
            OnGraphNotify(dlg, conversion);
        if (dlg.m_bConverting == 1
            && std::chrono::steady_clock::now() - lastShown >= std::chrono::seconds(1)) {
            progress.Show(conversion.pControl ? conversion.pControl->WrittenPosition() : 0);
            lastShown = std::chrono::steady_clock::now();
        }
    }
    if (conversion.m_result.kind == ConversionResult::Kind::Completed)
        progress.Show(length, true);
}

int StoppedExitCode()
{
    return 128 + g_signal;
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
    // Only a regular file is ever replaced: no use offering --overwrite for anything else.
    if (std::string refusal = OutputFile::Refusal(output); !refusal.empty()) {
        refusal[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(refusal[0])));
        return Fail(output, refusal.substr(0, refusal.find_last_not_of('.') + 1));
    }
    if (fs::exists(fs::symlink_status(output, ec)) && !overwrite)
        return Fail(output, "File exists; add --overwrite to replace it");
    return 0;
}

Progress::Style StyleOf(const ConvertOptions &o)
{
    if (o.quiet)
        return Progress::Style::Silent;
    return o.progress == ProgressStyle::Json ? Progress::Style::Json : Progress::Style::Text;
}

// One input converted to one output file. Returns its exit code; *stopped when a signal ended
// it. A failure leaves the output as it was: the new file is written beside it and put in its
// place only when complete.
// What a finished run says and its exit code.
int Outcome(const ConvertOptions &o, const std::string &output, const ConversionJob &dlg,
            ConsoleHost &host, const std::string &reason, bool *stopped)
{
    const ConversionResult &result = host.Run().m_result;
    switch (result.kind) {
    case ConversionResult::Kind::Completed:
        if (!result.note.empty())
            Note(result.note);
        if (!o.quiet && o.progress == ProgressStyle::Text)
            std::fprintf(stderr, "clipwright-cli: wrote %s (%dx%d, %.3f fps)\n", output.c_str(),
                         dlg.m_nOutputWidth, dlg.m_nOutputHeight, dlg.m_dOutputFrameRate);
        return 0;
    case ConversionResult::Kind::Stopped:
    case ConversionResult::Kind::Empty:
        if (g_signal != 0) {
            *stopped = true;
            if (JsonMessages())
                Note(host.Status());
            else if (!o.quiet)
                std::fprintf(stderr, "%s\n", host.Status().c_str());
            return StoppedExitCode();
        }
        return Fail(output, reason.empty() ? host.Status() : reason);
    default:
        return Fail(output, reason.empty() ? "the conversion failed" : reason);
    }
}

int ConvertFile(const ConvertOptions &options, const SettingsStore &store, const std::string &input,
                const std::string &output, bool *stopped)
{
    ConvertOptions o = options;
    o.output = output;
    ConversionJob dlg;
    if (int code = SetUpJob(o, store, input, output, dlg); code != 0)
        return code;
    // A stop that came while the video was measured: nothing was written.
    *stopped = g_signal != 0;
    if (*stopped)
        return StoppedExitCode();
    if (int code = CheckOutputFile(input, output, o.overwrite); code != 0)
        return code;
    ConsoleHost host(store);
    Conversion &conversion = host.Run();
    if (int code = PrepareOutput(o, store, dlg, conversion); code != 0) {
        if (const std::string reason = TakeEngineReason(); !reason.empty())
            Fail(output, reason);
        return code;
    }
    if (int code = CheckFrameSize(dlg); code != 0)
        return code;
    *stopped = g_signal != 0;
    if (*stopped)
        return StoppedExitCode();

    if (!StartConversion(dlg, conversion)) {
        g_temporaryReady = 0;
        const std::string reason = TakeEngineReason();
        *stopped = g_signal != 0;
        if (*stopped)
            return StoppedExitCode();
        return Fail(output, reason.empty() ? "the conversion could not start" : reason);
    }
    if (!conversion.m_leftOut.empty())
        Note(conversion.m_leftOut);
    InstallStopHandlers(); // again: building the graph may have loaded plugins with their own
    WaitForConversion(dlg, host, StyleOf(o));
    g_temporaryReady = 0;
    const std::string reason = TakeEngineReason();
    return Outcome(o, output, dlg, host, reason, stopped);
}

// The process's resident memory in KiB, 0 when unknown: a batch logs it after each file, since
// nothing a file leaves behind may add up over hundreds of them.
long ResidentKiB()
{
    long pages = 0, resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Each input in turn into DIR/<name>.<ext> with the same options; a failure does not stop the
// others, a signal does. Returns 1 when any failed.
int ConvertEach(const ConvertOptions &o, const SettingsStore &store)
{
    namespace fs = std::filesystem;
    struct stat info = {};
    if (stat(o.outputDir.c_str(), &info) != 0)
        return Fail(o.outputDir, std::strerror(errno));
    if (!S_ISDIR(info.st_mode))
        return Fail(o.outputDir, std::strerror(ENOTDIR));
    OutputSettings stored;
    std::vector<std::string> replaced;
    LoadStoredSettings(store, &stored, &replaced);
    const int format = o.format.value_or(stored.m_nOutputFormat);
    if (!o.format)
        for (const std::string &text : replaced)
            if (text.find("nOuptputFormat") != std::string::npos)
                Note(text);
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
            code = ConvertFile(o, store, input, output, &stopped);
        if (o.progress == ProgressStyle::Json)
            PrintJsonStatus(code == 0 ? "done" : stopped ? "stopped" : "failed", output, code);
        media::ReleaseFreedMemory();
        qCInfo(lcCli, "after file %zu: resident %ld KiB", i + 1, ResidentKiB());
        if (stopped)
            return code;
        if (code != 0)
            failed.push_back(input);
    }
    if (!o.quiet) {
        std::string list;
        for (const std::string &f : failed)
            list += (list.empty() ? "; failed: " : ", ") + f;
        const std::string summary = std::to_string(o.inputs.size() - failed.size()) + " of "
                                    + std::to_string(o.inputs.size()) + " converted" + list;
        if (JsonMessages())
            Note(summary);
        else
            std::fprintf(stderr, "clipwright-cli: %s\n", summary.c_str());
    }
    return failed.empty() ? 0 : 1;
}

} // namespace

void InstallStopHandlers()
{
    const IgnoredOnEntry &entry = SignalsIgnoredOnEntry();
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
        struct sigaction action = {};
        action.sa_handler = entry.ignored[i] ? SIG_IGN : OnSignal;
        sigemptyset(&action.sa_mask);
        sigaction(kStopSignals[i], &action, nullptr);
    }
}

void HoldStopSignalsDuringStartUp()
{
    InstallStopHandlers();
    SetStopSignalsHeld(true);
}

void ReleaseStopSignalsAfterStartUp()
{
    // A plugin loader (gst-python) may have put its own handlers in place: ours again, then
    // a signal held during start-up is delivered to them.
    InstallStopHandlers();
    SetStopSignalsHeld(false);
}

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
    // What the window stored is what the options leave open.
    const SettingsStore store("Korvane", "clipwright");
    g_jsonStop = JsonMessages() ? 1 : 0;
    if (!o.outputDir.empty())
        return ConvertEach(o, store);
    bool stopped = false;
    const int code = ConvertFile(o, store, o.inputs.front(), o.output, &stopped);
    if (o.progress == ProgressStyle::Json)
        PrintJsonStatus(code == 0 ? "done" : stopped ? "stopped" : "failed", o.output, code);
    return code;
}
