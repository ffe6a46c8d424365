#include "cli/ConvertCommand.h"

#include "app/MainWindowState.h"
#include "app/MediaProbe.h"
#include "convert/ConversionDriver.h"
#include "convert/TimelineBuilder.h"
#include "convert/media/Compressors.h"
#include "convert/media/OutputGraph.h"
#include "localisation/Language.h"
#include "options/Compressors.h"
#include "options/SettingsStore.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_signal = 0;

void OnSignal(int number)
{
    g_signal = number;
}

const char *const kHelp
    = "usage: clipwright-cli convert INPUT -o OUTPUT [options]\n"
      "\n"
      "Converts INPUT, or the part of it between --start and --end, into OUTPUT.\n"
      "Options not given come from the window program's stored settings.\n"
      "\n"
      "  -o, --output OUTPUT      the file to write\n"
      "  --start S, --end S       the part to convert, in seconds (default: all of it)\n"
      "  --format F               wmv, asf, avi, mkv, mp4 or ogm (default: from OUTPUT's\n"
      "                           extension, else the stored format)\n"
      "  --width W --height H     output frame size (default: the source's)\n"
      "  --fps F                  output frame rate (default: the stored choice)\n"
      "  --stretch                fill the frame; the default keeps the aspect ratio with borders\n"
      "  --video-bitrate KBPS     video bitrate for WMV/ASF, kbit/s\n"
      "  --audio-bitrate KBPS     audio bitrate for WMV/ASF, kbit/s\n"
      "  --video-encoder NAME     an encoder element (e.g. x264enc, cwenc_mpeg4) or its listed\n"
      "                           name; \"none\" writes uncompressed video\n"
      "  --audio-encoder NAME     the same for sound\n"
      "  --overwrite              replace OUTPUT when it exists\n"
      "  -h, --help               this text\n"
      "\n"
      "Progress goes to standard error. Ctrl+C or SIGTERM stops early and leaves a playable\n"
      "file. Exit status: 0 the whole file was written; 1 a failure; 2 wrong usage;\n"
      "130 / 143 stopped by SIGINT / SIGTERM.\n";

int UsageError(const std::string &text)
{
    std::fprintf(stderr, "clipwright-cli convert: %s\n(see clipwright-cli convert --help)\n",
                 text.c_str());
    return 2;
}

bool ParseNumber(const char *text, double *value)
{
    char *end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::optional<int> FormatByName(const std::string &name)
{
    static const std::map<std::string, int> formats{
        {"avi", OutputFormatAvi}, {"wmv", OutputFormatWmv}, {"mkv", OutputFormatMkv},
        {"asf", OutputFormatAsf}, {"mp4", OutputFormatMp4}, {"ogm", OutputFormatOgm},
        {"ogg", OutputFormatOgm}};
    auto it = formats.find(Lower(name));
    if (it == formats.end())
        return std::nullopt;
    return it->second;
}

std::string Hms(long long seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

// The window's host, for a process without a window: events wake the waiting loop.
class ConsoleHost : public ConversionHost
{
public:
    void PostGraphNotify() override
    {
        std::lock_guard lock(m_mutex);
        m_pending = true;
        m_wake.notify_all();
    }
    void SetConvertCaption(const std::string &) override {}
    void SetStatusText(const std::string &text) override { m_status = text; }
    void StartConversionTimer() override {}
    void StopConversionTimer() override {}
    void EnableConversionControls(bool) override {}
    void OpenDownloadPage(const std::string &address) override
    {
        std::fprintf(stderr, "Download page: %s\n", address.c_str());
    }

    // Waits until events are posted or the period passes; true when events arrived.
    bool Wait(std::chrono::milliseconds period)
    {
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, period, [this] { return m_pending; });
        const bool pending = m_pending;
        m_pending = false;
        return pending;
    }
    const std::string &Status() const { return m_status; }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_pending = false;
    std::string m_status;
};

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

class Progress
{
public:
    explicit Progress(REFERENCE_TIME length)
        : m_length(std::max<REFERENCE_TIME>(length, 1))
        , m_tty(isatty(STDERR_FILENO) == 1)
        , m_start(std::chrono::steady_clock::now())
    {
    }

    void Show(REFERENCE_TIME position, bool final = false)
    {
        const double fraction
            = std::clamp(static_cast<double>(position) / static_cast<double>(m_length), 0.0, 1.0);
        const double elapsed
            = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        std::string left = "--:--:--";
        if (fraction > 0.01)
            left = Hms(static_cast<long long>(elapsed / fraction - elapsed + 0.5));
        const int percent = static_cast<int>(fraction * 100);
        if (m_tty) {
            constexpr int kWidth = 30;
            const int filled = static_cast<int>(fraction * kWidth);
            std::fprintf(stderr, "\r[%s%s] %3d%%  elapsed %s  left %s ",
                         std::string(filled, '#').c_str(),
                         std::string(kWidth - filled, ' ').c_str(), percent,
                         Hms(static_cast<long long>(elapsed)).c_str(), left.c_str());
            if (final)
                std::fputc('\n', stderr);
        } else {
            std::fprintf(stderr, "progress %3d%% elapsed %s left %s\n", percent,
                         Hms(static_cast<long long>(elapsed)).c_str(), left.c_str());
        }
        std::fflush(stderr);
    }

private:
    REFERENCE_TIME m_length;
    bool m_tty;
    std::chrono::steady_clock::time_point m_start;
};

struct Options
{
    std::string input;
    std::string output;
    std::optional<double> start, end, fps;
    std::optional<int> format, width, height;
    std::optional<double> videoKbps, audioKbps;
    std::optional<std::string> videoEncoder, audioEncoder;
    bool stretch = false;
    bool overwrite = false;
    bool help = false;
};

// Returns 0 when parsed, else the exit code.
int Parse(int argc, char **argv, Options *o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char **out) {
            if (i + 1 >= argc)
                return false;
            *out = argv[++i];
            return true;
        };
        const char *v = nullptr;
        double number = 0;
        if (arg == "-h" || arg == "--help") {
            o->help = true;
        } else if (arg == "--stretch") {
            o->stretch = true;
        } else if (arg == "--overwrite") {
            o->overwrite = true;
        } else if (arg == "-o" || arg == "--output") {
            if (!value(&v))
                return UsageError(arg + " needs a file name");
            o->output = v;
        } else if (arg == "--format") {
            if (!value(&v) || !FormatByName(v))
                return UsageError("--format takes wmv, asf, avi, mkv, mp4 or ogm");
            o->format = FormatByName(v);
        } else if (arg == "--video-encoder" || arg == "--audio-encoder") {
            if (!value(&v))
                return UsageError(arg + " needs a name");
            (arg == "--video-encoder" ? o->videoEncoder : o->audioEncoder) = std::string(v);
        } else if (arg == "--start" || arg == "--end" || arg == "--fps" || arg == "--width"
                   || arg == "--height" || arg == "--video-bitrate" || arg == "--audio-bitrate") {
            if (!value(&v) || !ParseNumber(v, &number) || number < 0)
                return UsageError(arg + " needs a number of 0 or more");
            if (arg == "--start")
                o->start = number;
            else if (arg == "--end")
                o->end = number;
            else if (arg == "--fps")
                o->fps = number;
            else if (arg == "--video-bitrate")
                o->videoKbps = number;
            else if (arg == "--audio-bitrate")
                o->audioKbps = number;
            else if (number != std::floor(number) || number < 2 || number > 16384)
                return UsageError(arg + " takes a whole number from 2 to 16384");
            else
                (arg == "--width" ? o->width : o->height) = static_cast<int>(number);
        } else if (!arg.empty() && arg[0] == '-') {
            return UsageError("unknown option " + arg);
        } else if (o->input.empty()) {
            o->input = arg;
        } else {
            return UsageError("more than one input file: " + arg);
        }
    }
    return 0;
}

} // namespace

int RunConvertCommand(int argc, char **argv)
{
    Options o;
    if (int code = Parse(argc, argv, &o); code != 0)
        return code;
    if (o.help) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (o.input.empty() || o.output.empty())
        return UsageError("an INPUT file and -o OUTPUT are needed");
    if (o.width.has_value() != o.height.has_value())
        return UsageError("--width and --height go together");
    if (o.fps && (*o.fps <= 0 || *o.fps > 240))
        return UsageError("--fps takes a rate above 0 and up to 240");
    if (o.start && o.end && *o.end <= *o.start)
        return UsageError("--end must come after --start");

    MainWindowState dlg;
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
    dlg.m_nSourceWidth = probe.sourceWidth;
    dlg.m_nSourceHeight = probe.sourceHeight;
    dlg.m_dSourceFrameRate = probe.sourceFrameRate;
    dlg.m_nOutputWidth = o.width.value_or(probe.sourceWidth);
    dlg.m_nOutputHeight = o.height.value_or(probe.sourceHeight);
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
    const REFERENCE_TIME start = o.start ? static_cast<REFERENCE_TIME>(*o.start * UNITS) : 0;
    REFERENCE_TIME end = o.end ? static_cast<REFERENCE_TIME>(*o.end * UNITS) : length;
    end = std::min(end, length);
    if (start >= end) {
        std::fprintf(stderr, "Error: the part to convert is empty: the video lasts %.3f s.\n",
                     double(length) / UNITS);
        return 1;
    }

    // The opened video is item 0 of the photo and the music list, as in the window.
    dlg.m_nPhotoCount = 1;
    dlg.m_szPhotoFile[0] = o.input;
    dlg.m_llPhotoDuration[0] = length;
    dlg.AssignTransition(0);
    dlg.m_llTransitionDuration[0]
        = static_cast<REFERENCE_TIME>(dlg.m_nDefaultTransitionDuration) * UNITS;
    dlg.m_nMusicCount = 1;
    dlg.m_szMusicFile[0] = o.input;
    dlg.m_llMusicDuration[0] = length;
    dlg.m_llStartTime = start;
    dlg.m_llEndTime = end;

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

    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    ConsoleHost host;
    const int musicCount = dlg.m_nMusicCount;
    if (!media::FileHasSound(dlg.m_szMusicFile[0]))
        dlg.m_nMusicCount = 0;
    if (FAILED(BuildTimeline(dlg)) || !pTimeline)
        return 1;
    dlg.m_nMusicCount = musicCount;
    if (FAILED(StartRender(dlg, host, pTimeline)) || dlg.m_bConverting != 1)
        return 1;

    Progress progress(end - start);
    bool completed = false;
    bool failed = false;
    bool unfinished = false; // the writer did not complete the file in time after a stop
    auto lastShown = std::chrono::steady_clock::now();
    while (dlg.m_bConverting == 1) {
        const bool events = host.Wait(std::chrono::milliseconds(200));
        if (g_signal != 0) {
            std::fprintf(stderr, "\nStopping: finishing the file written so far...\n");
            unfinished = FinishConversion(dlg, host) == E_FAIL;
            break;
        }
        if (events && pControl) {
            const bool endSeen = pControl->Completed();
            OnGraphNotify(dlg, host);
            if (dlg.m_bConverting == 0) {
                completed = endSeen && LastConversionError().empty();
                failed = !completed;
            }
        }
        if (dlg.m_bConverting == 1
            && std::chrono::steady_clock::now() - lastShown >= std::chrono::seconds(1)) {
            progress.Show(pControl ? pControl->CurrentPosition() : 0);
            lastShown = std::chrono::steady_clock::now();
        }
    }
    if (completed)
        progress.Show(end - start, true);
    std::fprintf(stderr, "%s\n", host.Status().c_str());
    ReleaseBoundCompressors();
    if (unfinished) {
        std::fprintf(stderr, "Error: the writer did not finish %s in time; it may not play.\n",
                     dlg.m_szOutputFile.c_str());
        return 1;
    }
    if (g_signal != 0)
        return 128 + g_signal;
    if (failed || !completed)
        return 1;
    return 0;
}
