#include "cli/ConvertCommand.h"

#include "cli/ConsoleHost.h"
#include "cli/ConvertOptions.h"

#include "convert/ConversionDriver.h"
#include "convert/TimelineBuilder.h"
#include "job/ConversionJob.h"
#include "job/MediaProbe.h"
#include "localisation/Language.h"
#include "media/encoders/CompressorEnumeration.h"
#include "media/output/CaptureGraphBuilder.h"
#include "settings/CompressorChoices.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_signal = 0;
// The temporary being written, for a second signal to remove before leaving at once.
char g_temporary[4096];
volatile std::sig_atomic_t g_temporaryReady = 0;

const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

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
    if (write(STDERR_FILENO, kText, sizeof kText - 1) < 0) {
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

// An encoder named on the command line: its factory name or its listed name.
bool FindEncoder(CompressorCategory category, const std::string &name, std::string *factory)
{
    std::vector<media::CompressorDevice> devices;
    media::EnumerateCompressors(category, &devices);
    for (const auto &d : devices) {
        if (d.factoryName == name || Lower(d.friendlyName) == Lower(name)) {
            *factory = d.factoryName;
            return true;
        }
    }
    return false;
}

// Binds the encoder for a category; false after a message.
bool ChooseEncoder(CompressorCategory category, const std::optional<std::string> &option,
                   int format, int *useFlag)
{
    const char *what = category == CompressorCategory::Video ? "video" : "audio";
    if (option) {
        if (Lower(*option) == "none") {
            *useFlag = 0;
            return true;
        }
        std::string factory;
        if (!FindEncoder(category, *option, &factory)) {
            std::fprintf(stderr, "Error: no %s encoder named \"%s\" is installed.\n", what,
                         option->c_str());
            return false;
        }
        media::Filter encoder;
        if (FAILED(media::CreateCompressor(factory, &encoder))) {
            std::fprintf(stderr, "Error: the %s encoder \"%s\" could not be made.\n", what,
                         factory.c_str());
            return false;
        }
        SetBoundCompressor(category, encoder);
        *useFlag = 1;
        return true;
    }
    // The options dialog's stored choice, when it made one.
    std::vector<media::CompressorDevice> devices;
    media::EnumerateCompressors(category, &devices);
    const int stored = SettingsStore::Global().ReadInt(CompressorSection(category),
                                                       "CompressorNumber", kCompressorByName);
    *useFlag = 0;
    if (stored != kCompressorByName) {
        const int position = InitialCompressorPosition(category, SettingsStore::Global(),
                                                       static_cast<int>(devices.size()));
        if (position > 0) {
            media::Filter encoder = BindCompressor(category, position - 1);
            if (!encoder)
                return false;
            SetBoundCompressor(category, encoder);
            *useFlag = 1;
        }
        return true;
    }
    // Nothing chosen yet: what each container is usually written with. Ogg gets Theora and
    // Vorbis from the writer itself; AVI keeps its sound as PCM.
    const bool video = category == CompressorCategory::Video;
    std::vector<const char *> candidates;
    if (format == OutputFormatMp4)
        candidates = video ? std::vector<const char *>{"x264enc"}
                           : std::vector<const char *>{"voaacenc", "avenc_aac"};
    else if (format == OutputFormatMkv)
        candidates
            = video ? std::vector<const char *>{"x264enc"} : std::vector<const char *>{"vorbisenc"};
    else if (format == OutputFormatAvi && video)
        candidates = {"cwenc_mpeg4"};
    for (const char *factory : candidates) {
        media::Filter encoder;
        if (SUCCEEDED(media::CreateCompressor(factory, &encoder))) {
            SetBoundCompressor(category, encoder);
            *useFlag = 1;
            break;
        }
    }
    return true;
}

// Settings, format, probe and the opened video as item 0 of the job. Returns 0, or the exit code
// after a message.
int SetUpJob(const ConvertOptions &o, ConversionJob &dlg)
{
    SettingsStore &store = SettingsStore::Global();
    dlg.LoadItemDefaults(store);
    LoadOutputSettings(store, &dlg);
    dlg.m_szOutputFile = o.output;
    if (o.format) {
        dlg.m_nOutputFormat = *o.format;
    } else {
        const std::size_t dot = o.output.find_last_of('.');
        const std::size_t slash = o.output.find_last_of('/');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
            if (auto byExtension = FormatByName(o.output.substr(dot + 1)))
                dlg.m_nOutputFormat = *byExtension;
    }

    MediaProbeResult probe;
    if (!RunMediaProbe(o.input, &probe)) {
        std::fprintf(stderr,
                     "Error: %s cannot be converted: it is not a video this program "
                     "can read.\n",
                     o.input.c_str());
        return 1;
    }
    dlg.TakeSourceFacts(probe);
    if (o.width)
        dlg.m_nOutputWidth = *o.width;
    if (o.height)
        dlg.m_nOutputHeight = *o.height;
    if (o.fps)
        dlg.m_dOutputFrameRate = *o.fps;
    else if (dlg.m_nFrameRateIndex == FrameRateSource)
        dlg.m_dOutputFrameRate = probe.sourceFrameRate;
    if (o.stretch)
        dlg.m_nStretchMode = ResizeStretch;
    if (o.videoKbps)
        dlg.m_nVideoBitrate = static_cast<unsigned>(*o.videoKbps * 1000);
    if (o.audioKbps)
        dlg.m_nAudioBitrate = static_cast<unsigned>(*o.audioKbps * 1000);

    const REFERENCE_TIME length = probe.stopPosition;
    dlg.SetOpenedVideo(o.input, length, length);
    const REFERENCE_TIME start = o.start ? static_cast<REFERENCE_TIME>(*o.start * UNITS) : 0;
    REFERENCE_TIME end = o.end ? static_cast<REFERENCE_TIME>(*o.end * UNITS) : length;
    end = std::min(end, length);
    if (start >= end) {
        std::fprintf(stderr, "Error: the part to convert is empty: the video lasts %.3f s.\n",
                     double(length) / UNITS);
        return 1;
    }
    dlg.m_llStartTime = start;
    dlg.m_llEndTime = end;
    return 0;
}

// The output path checked, the file to write made beside it, and the encoders bound. Returns
// 0, or 1 after a message. An existing OUTPUT stays as it is until the new file is complete.
int PrepareOutput(const ConvertOptions &o, ConversionJob &dlg, Conversion &conversion)
{
    if (!CheckOutputPath(dlg))
        return 1;
    struct stat st;
    const bool exists = stat(o.output.c_str(), &st) == 0;
    if (exists && !o.overwrite) {
        std::fprintf(stderr, "Error: %s exists. Add --overwrite to replace it.\n",
                     o.output.c_str());
        return 1;
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
    if (!PrepareOutputFile(conversion, o.output, exists))
        return 1;
    SetTemporary(conversion.m_output->TemporaryPath());
    return 0;
}

// Waits for the end of the running conversion, showing progress, and stops it on a signal.
void WaitForConversion(ConversionJob &dlg, ConsoleHost &host)
{
    Conversion &conversion = host.Run();
    const REFERENCE_TIME length = dlg.m_llEndTime - dlg.m_llStartTime;
    Progress progress(length);
    auto lastShown = std::chrono::steady_clock::now();
    while (dlg.m_bConverting == 1) {
        if (g_signal != 0) {
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
            progress.Show(conversion.pControl ? conversion.pControl->CurrentPosition() : 0);
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

} // namespace

void InstallStopHandlers()
{
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int number : kStopSignals)
        sigaction(number, &action, nullptr);
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

    ConversionJob dlg;
    if (int code = SetUpJob(o, dlg); code != 0)
        return code;
    // A stop that came while the video was measured: nothing was written.
    if (g_signal != 0)
        return StoppedExitCode();
    ConsoleHost host;
    Conversion &conversion = host.Run();
    if (int code = PrepareOutput(o, dlg, conversion); code != 0)
        return code;
    if (g_signal != 0)
        return StoppedExitCode();

    if (!StartConversion(dlg, conversion)) {
        g_temporaryReady = 0;
        return g_signal != 0 ? StoppedExitCode() : 1;
    }
    InstallStopHandlers(); // again: building the graph may have loaded plugins with their own
    WaitForConversion(dlg, host);
    g_temporaryReady = 0;
    ReleaseBoundCompressors();
    const ConversionResult &result = conversion.m_result;
    // A failure has been shown as a message already.
    if (result.kind != ConversionResult::Kind::Failed)
        std::fprintf(stderr, "%s\n", host.Status().c_str());
    switch (result.kind) {
    case ConversionResult::Kind::Completed:
        return 0;
    case ConversionResult::Kind::Stopped:
    case ConversionResult::Kind::Empty:
        return g_signal != 0 ? StoppedExitCode() : 1;
    default:
        return 1;
    }
}
