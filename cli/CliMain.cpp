// The command-line front end: the same engine as the window program, without a window.
#include "cli/CliMessages.h"
#include "cli/ConvertCommand.h"
#include "cli/ConvertOptions.h"
#include "job/MediaProbe.h"
#include "media/core/MediaPlatform.h"
#include "platform/LogSwitch.h"
#include "platform/MessageBoxes.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

const char *const kHelp
    = "usage: clipwright-cli probe FILE\n"
      "       clipwright-cli convert INPUT -o OUTPUT [options]\n"
      "       clipwright-cli convert INPUT... --output-dir DIR [options]\n"
      "       clipwright-cli --help | --version\n"
      "\n"
      "Converts videos with the same engine as the Clipwright window, without a window.\n"
      "\n"
      "  probe FILE     prints the length (duration_100ns), frame size (width, height) and\n"
      "                 frame rate (fps) of FILE, one name=value line each\n"
      "  convert        converts a video or part of it; clipwright-cli convert --help lists\n"
      "                 its options\n"
      "  -h, --help     this text\n"
      "  --version      the program's version\n"
      "\n"
      "Errors go to standard error as \"clipwright-cli: WHAT: why\". Exit status: 0 success;\n"
      "1 a failure; 2 wrong usage; 130 / 143 / 129 a conversion stopped by SIGINT / SIGTERM /\n"
      "SIGHUP.\n";

int Usage(const std::string &text)
{
    return Fail("usage", text + " (see clipwright-cli --help)", 2);
}

int Probe(const std::string &path)
{
    if (!CheckInputFile(path))
        return 1;
    MediaProbeResult result;
    if (!ProbeWithoutDecoding(path, &result))
        return Fail(path, TakeEngineReason());
    std::printf("duration_100ns=%" PRId64 "\n", static_cast<std::int64_t>(result.stopPosition));
    std::printf("width=%d\n", result.sourceWidth);
    std::printf("height=%d\n", result.sourceHeight);
    std::printf("fps=%.6f\n", result.sourceFrameRate);
    return 0;
}

// A batch runs file after file in one process, and the allocators' per-thread caches grew with
// every file: glibc's thread cache and GLib's slice magazines keep freed memory in each of the
// pooled streaming threads, which the next file's graph mostly does not reuse (measured: 74.7
// MB after the first of 50 files, 79.4 MB after the last; 73.4 and 74.0 MB without the caches,
// at the same speed). Both are read before main() runs, so a batch starts itself once more
// with them off. Nothing happens when they already are, or when the new start fails.
void StartAgainWithoutThreadCaches(char **argv)
{
    const char *slice = std::getenv("G_SLICE");
    const char *tunables = std::getenv("GLIBC_TUNABLES");
    const bool sliceOff = slice && std::strstr(slice, "always-malloc");
    const bool cacheSet = tunables && std::strstr(tunables, "glibc.malloc.tcache_count");
    if (sliceOff && cacheSet)
        return;
    if (!sliceOff)
        setenv("G_SLICE", "always-malloc", 1);
    if (!cacheSet) {
        std::string value = tunables && *tunables ? std::string(tunables) + ":" : std::string();
        setenv("GLIBC_TUNABLES", (value + "glibc.malloc.tcache_count=0").c_str(), 1);
    }
    execv("/proc/self/exe", argv);
}

} // namespace

int main(int argc, char **argv)
{
    InstallEngineMessages();
    platform::SetApplicationName("clipwright-cli");
    platform::FollowMediaDebugSetting();

    if (argc < 2) {
        // Run bare: the synopsis, as a reminder.
        const char *help = kHelp;
        std::fwrite(help, 1, std::strstr(help, "\n\n") - help + 1, stderr);
        return 2;
    }
    const std::string command = argv[1];
    if (command == "-h" || command == "--help") {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("clipwright-cli %s\n", CW_VERSION);
        return 0;
    }
    const bool convert = command == "convert";
    if (!convert && command != "probe")
        return Usage("unknown command " + command);
    if (command == "probe" && argc != 3)
        return Usage("probe takes one FILE");
    // Help needs no media framework, so it works even where that cannot start.
    for (int i = 2; convert && i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kConvertHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--") == 0)
            break;
    }
    if (convert && AsksForBatch(argc - 1, argv + 1))
        StartAgainWithoutThreadCaches(argv);
    // In JSON the libraries' warnings of starting up, loading the plug-ins among them, are
    // JSON lines too.
    if (convert && AsksForJson(argc - 1, argv + 1))
        SetJsonMessages(true);
    std::string error;
    // Our stop handling is in place before the media framework starts; a signal that arrives
    // meanwhile is delivered after.
    if (convert)
        HoldStopSignalsDuringStartUp();
    bool started = false;
    {
        StartUpText text;
        started = media::InitializeMediaPlatform(&error, media::MediaServices::Playback);
        // Bound while the editing services start, unless nothing is to be decoded.
        if (started && convert && !AsksForCopy(argc - 1, argv + 1))
            media::PrepareDecoders();
        if (started && convert)
            started = media::InitializeMediaPlatform(&error, media::MediaServices::All);
    }
    if (convert)
        ReleaseStopSignalsAfterStartUp();
    if (!started)
        return Fail("media framework", "could not start: " + error);
    if (convert)
        return RunConvertCommand(argc - 1, argv + 1);
    return Probe(argv[2]);
}
