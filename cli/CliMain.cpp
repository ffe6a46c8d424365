// The command-line front end: the same engine as the window program, without a window.
#include "cli/ConvertCommand.h"
#include "job/MediaProbe.h"
#include "media/core/MediaPlatform.h"
#include "platform/MessageBoxes.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Message boxes become lines on standard error.
class ConsoleBoxes : public platform::MessageBoxService
{
public:
    platform::BoxAnswer Show(const platform::MessageBoxRequest &request) override
    {
        std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
        return platform::BoxAnswer::Ok;
    }
};

int Usage()
{
    std::fprintf(stderr, "usage: clipwright-cli probe FILE\n"
                         "       clipwright-cli convert INPUT -o OUTPUT [options] (see --help)\n");
    return 2;
}

int Probe(const std::string &path)
{
    MediaProbeResult result;
    if (!RunMediaProbe(path, &result))
        return 1;
    std::printf("duration_100ns=%" PRId64 "\n", static_cast<std::int64_t>(result.stopPosition));
    std::printf("width=%d\n", result.sourceWidth);
    std::printf("height=%d\n", result.sourceHeight);
    std::printf("fps=%.6f\n", result.sourceFrameRate);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    ConsoleBoxes boxes;
    platform::SetMessageBoxService(&boxes);
    platform::SetApplicationName("clipwright-cli");

    if (argc < 2)
        return Usage();
    const std::string command = argv[1];
    std::string error;
    const bool convert = command == "convert";
    if (convert)
        HoldStopSignalsDuringStartUp();
    const bool started = media::InitializeMediaPlatform(
        &error, convert ? media::MediaServices::All : media::MediaServices::Playback);
    if (convert)
        ReleaseStopSignalsAfterStartUp();
    if (!started) {
        std::fprintf(stderr, "Error: Could not initialize COM library. %s\n", error.c_str());
        return 1;
    }
    if (convert)
        return RunConvertCommand(argc - 1, argv + 1);
    if (command == "probe" && argc == 3)
        return Probe(argv[2]);
    return Usage();
}
