#include "cli/ConvertOptions.h"

#include "settings/OutputSettings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

const char *const kConvertHelp
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

namespace {

bool ParseNumber(const char *text, double *value)
{
    char *end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

} // namespace

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

int ParseConvertOptions(int argc, char **argv, ConvertOptions *o)
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

int CheckConvertOptions(const ConvertOptions &o)
{
    if (o.input.empty() || o.output.empty())
        return UsageError("an INPUT file and -o OUTPUT are needed");
    if (o.width.has_value() != o.height.has_value())
        return UsageError("--width and --height go together");
    if (o.fps && (*o.fps <= 0 || *o.fps > 240))
        return UsageError("--fps takes a rate above 0 and up to 240");
    if (o.start && o.end && *o.end <= *o.start)
        return UsageError("--end must come after --start");
    return 0;
}
