// Runs a pipeline in gst-launch syntax inside our media layer, so our own elements (cwenc_*)
// are there, which a separate gst-launch-1.0 process does not have.
//
//   cw-launch [--start SECONDS] [--stop SECONDS] [--timeout SECONDS] PIPELINE...

#include "media/core/LaunchLine.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv)
{
    media::LaunchSection section;
    bool haveSection = false;
    int timeout = 3600;
    std::string description;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--start" || arg == "--stop" || arg == "--timeout") && i + 1 < argc) {
            const double value = std::atof(argv[++i]);
            if (arg == "--timeout") {
                timeout = int(value);
            } else {
                haveSection = true;
                (arg == "--start" ? section.start : section.stop)
                    = REFERENCE_TIME(value * UNITS + 0.5);
            }
            continue;
        }
        description += (description.empty() ? "" : " ") + arg;
    }
    if (description.empty()) {
        std::fprintf(stderr, "usage: cw-launch [--start S] [--stop S] [--timeout S] PIPELINE...\n");
        return 2;
    }
    std::string error;
    const HRESULT hr
        = media::RunLaunchLine(description, &error, haveSection ? &section : nullptr, timeout);
    if (FAILED(hr)) {
        std::fprintf(stderr, "cw-launch: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
