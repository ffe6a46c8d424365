#include "cli/ConvertOptions.h"
#include "settings/CompressorChoices.h"

#include "cli/CliMessages.h"
#include "settings/OutputContainers.h"
#include "settings/OutputSettings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

const int kWmaKbps[12] = {24, 32, 40, 48, 64, 80, 96, 128, 160, 192, 256, 320};

const char *const kConvertHelp
    = "usage: clipwright-cli convert INPUT -o OUTPUT [options]\n"
      "       clipwright-cli convert INPUT... --output-dir DIR [options]\n"
      "\n"
      "Converts INPUT, or the part of it between --start and --end, into OUTPUT. With\n"
      "--output-dir, each INPUT is converted in turn with the same options into\n"
      "DIR/<name>.<ext>; a failed one does not stop the others.\n"
      "\n"
      "  -o, --output OUTPUT      the file to write (one INPUT)\n"
      "  --output-dir DIR         the folder to write into (one or more INPUTs)\n"
      "  --start S, --end S       the part to convert, in seconds (default: all of it; an end\n"
      "                           past the end of the video means its end)\n"
      "  --format F               wmv, asf, avi, mkv, mp4 or ogm (default: from OUTPUT's\n"
      "                           extension, else the format stored by the window program)\n"
      "  --width W --height H     output frame size, 16 to 8192 pixels each, both or neither\n"
      "                           (default: the source's size)\n"
      "  --fps F                  output frame rate, 1 to 240 (default: the source's rate)\n"
      "  --stretch                fill the frame; the default keeps the aspect ratio with borders\n"
      "  --video-bitrate KBPS     WMV/ASF video bitrate in kbit/s (1 kbit = 1000 bits),\n"
      "                           16 to 100000\n"
      "  --audio-bitrate KBPS     WMV/ASF sound bitrate in kbit/s: 24, 32, 40, 48, 64, 80, 96,\n"
      "                           128, 160, 192, 256 or 320\n"
      "  --video-encoder NAME     an encoder element (e.g. x264enc, cwenc_mpeg4) or its listed\n"
      "                           name; \"none\" writes uncompressed video (default: the one\n"
      "                           chosen in the window program when it suits the format, else\n"
      "                           the format's usual one)\n"
      "  --audio-encoder NAME     the same for sound\n"
      "  --copy                   copy picture and sound from the source without re-encoding\n"
      "                           (the same as --video-encoder copy --audio-encoder copy): the\n"
      "                           frames from --start to the next key frame are re-encoded in\n"
      "                           the source's codec (H.264, H.265, VP8, VP9); for other codecs\n"
      "                           the copy starts at the key frame before --start, with a note;\n"
      "                           a copied picture keeps the source's size and rate\n"
      "  --overwrite              replace an existing output file\n"
      "  --progress=json          progress as one JSON object a line on standard error\n"
      "  -q, --quiet              print nothing but errors\n"
      "  -h, --help               this text\n"
      "\n"
      "Progress goes to standard error: a bar on a terminal, a line a second otherwise.\n"
      "Ctrl+C, SIGTERM or SIGHUP stops early and puts the file written so far in place,\n"
      "complete and playable. A new file is written beside OUTPUT and replaces it only when\n"
      "complete: a failure leaves OUTPUT as it was. Exit status: 0 every file was written and\n"
      "checked; 1 a failure; 2 wrong usage; 130 / 143 / 129 stopped by SIGINT / SIGTERM /\n"
      "SIGHUP.\n";

int UsageError(const std::string &text)
{
    return Fail("convert", text + " (see clipwright-cli convert --help)", 2);
}

namespace {

bool ParseNumber(const std::string &text, double *value)
{
    char *end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

std::string Quoted(const std::string &option, const std::string &value)
{
    return option + " " + value;
}

// A whole number within [low, high]; otherwise a message with the range.
int WholeNumber(const std::string &option, const std::string &text, int low, int high,
                const char *unit, std::optional<int> *out)
{
    double v = 0;
    if (!ParseNumber(text, &v) || v != std::floor(v) || v < low || v > high)
        return UsageError(Quoted(option, text) + ": give a whole number from " + std::to_string(low)
                          + " to " + std::to_string(high) + " " + unit);
    *out = static_cast<int>(v);
    return 0;
}

int AudioBitrate(const std::string &option, const std::string &text, std::optional<int> *out)
{
    double v = 0;
    if (ParseNumber(text, &v))
        for (int kbps : kWmaKbps)
            if (v == kbps) {
                *out = kbps;
                return 0;
            }
    return UsageError(Quoted(option, text)
                      + ": the Windows Media sound encoder takes 24, 32, 40, 48, 64, 80, 96, "
                        "128, 160, 192, 256 or 320 kbit/s");
}

// The options that take a value; 0 when done, else the exit code.
int TakeValue(const std::string &arg, const std::string &v, ConvertOptions *o)
{
    double number = 0;
    if (arg == "-o" || arg == "--output") {
        o->output = v;
    } else if (arg == "--output-dir") {
        o->outputDir = v;
    } else if (arg == "--format") {
        o->format = FormatByName(v);
        if (!o->format)
            return UsageError(Quoted(arg, v) + ": give " + FormatNames());
    } else if (arg == "--video-encoder" || arg == "--audio-encoder") {
        (arg == "--video-encoder" ? o->videoEncoder : o->audioEncoder) = v;
    } else if (arg == "--progress") {
        if (v != "json" && v != "text")
            return UsageError(Quoted(arg, v) + ": give json or text");
        o->progress = v == "json" ? ProgressStyle::Json : ProgressStyle::Text;
    } else if (arg == "--start" || arg == "--end") {
        if (!ParseNumber(v, &number) || number < 0)
            return UsageError(Quoted(arg, v) + ": give a number of seconds, 0 or more");
        (arg == "--start" ? o->start : o->end) = number;
    } else if (arg == "--fps") {
        if (!ParseNumber(v, &number) || number < kMinFrameRate || number > kMaxFrameRate)
            return UsageError(Quoted(arg, v) + ": give a frame rate from 1 to 240");
        o->fps = number;
    } else if (arg == "--width" || arg == "--height") {
        return WholeNumber(arg, v, kMinFrameSide, kMaxFrameSide, "pixels",
                           arg == "--width" ? &o->width : &o->height);
    } else if (arg == "--video-bitrate") {
        return WholeNumber(arg, v, kMinVideoKbps, kMaxVideoKbps, "kbit/s", &o->videoKbps);
    } else if (arg == "--audio-bitrate") {
        return AudioBitrate(arg, v, &o->audioKbps);
    } else {
        return UsageError("unknown option " + arg);
    }
    return 0;
}

bool TakesValue(const std::string &arg)
{
    static const char *const kNames[] = {"-o",
                                         "--output",
                                         "--output-dir",
                                         "--format",
                                         "--video-encoder",
                                         "--audio-encoder",
                                         "--progress",
                                         "--start",
                                         "--end",
                                         "--fps",
                                         "--width",
                                         "--height",
                                         "--video-bitrate",
                                         "--audio-bitrate"};
    return std::find(std::begin(kNames), std::end(kNames), arg) != std::end(kNames);
}

} // namespace

bool CopiesVideo(const ConvertOptions &o)
{
    return o.copy || (o.videoEncoder && Lower(*o.videoEncoder) == kCopyFactory);
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::optional<int> FormatByName(const std::string &name)
{
    // A format is named by its extension: the container table knows them.
    if (name.empty() || name.find_first_of("./") != std::string::npos)
        return std::nullopt;
    return OfferedFormatOf("output." + name);
}

std::optional<int> OfferedFormatOf(const std::string &path)
{
    const int format = FormatOfExtension(path);
    const OutputContainer *container = FindContainer(format);
    if (!container || !container->offered)
        return std::nullopt;
    return format;
}

std::string FormatNames()
{
    const std::vector<int> &formats = OfferedFormats();
    std::string names;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        if (i > 0)
            names += i + 1 == formats.size() ? " or " : ", ";
        names += FindContainer(formats[i])->extension + 1;
    }
    return names;
}

bool AsksForJson(int argc, char **argv)
{
    for (int i = 1; i < argc && std::string(argv[i]) != "--"; ++i)
        if (std::string(argv[i]) == "--progress=json"
            || (std::string(argv[i]) == "--progress" && i + 1 < argc
                && std::string(argv[i + 1]) == "json"))
            return true;
    return false;
}

bool AsksForCopy(int argc, char **argv)
{
    for (int i = 1; i < argc && std::string(argv[i]) != "--"; ++i) {
        const std::string arg = argv[i];
        if (arg == "--copy" || Lower(arg) == "--video-encoder=" + std::string(kCopyFactory)
            || (arg == "--video-encoder" && i + 1 < argc && Lower(argv[i + 1]) == kCopyFactory))
            return true;
    }
    return false;
}

bool AsksForBatch(int argc, char **argv)
{
    for (int i = 1; i < argc && std::string(argv[i]) != "--"; ++i)
        if (std::string(argv[i]) == "--output-dir"
            || std::string(argv[i]).rfind("--output-dir=", 0) == 0)
            return true;
    return false;
}

int ParseConvertOptions(int argc, char **argv, ConvertOptions *o)
{
    // A program that asked for JSON reads even a mistake in the options as JSON.
    if (AsksForJson(argc, argv))
        SetJsonMessages(true);
    bool onlyFiles = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (onlyFiles || arg.empty() || arg[0] != '-' || arg == "-") {
            o->inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
        } else if (arg == "-h" || arg == "--help") {
            o->help = true;
        } else if (arg == "-q" || arg == "--quiet") {
            o->quiet = true;
        } else if (arg == "--stretch") {
            o->stretch = true;
        } else if (arg == "--overwrite") {
            o->overwrite = true;
        } else if (arg == "--copy") {
            o->copy = true;
        } else {
            std::string value;
            const std::size_t equals = arg.find('=');
            if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
                value = arg.substr(equals + 1);
                arg.resize(equals);
            } else if (TakesValue(arg)) {
                if (i + 1 >= argc)
                    return UsageError(arg + " needs a value");
                value = argv[++i];
            }
            if (!TakesValue(arg))
                return UsageError("unknown option " + arg);
            if (int code = TakeValue(arg, value, o); code != 0)
                return code;
        }
    }
    return 0;
}

int CheckConvertOptions(const ConvertOptions &o)
{
    if (o.inputs.empty())
        return UsageError("no INPUT file given");
    if (o.output.empty() && o.outputDir.empty())
        return UsageError("give -o OUTPUT (one INPUT) or --output-dir DIR");
    if (!o.output.empty() && !o.outputDir.empty())
        return UsageError("give either -o OUTPUT or --output-dir DIR, not both");
    if (!o.output.empty() && o.inputs.size() > 1)
        return UsageError(std::to_string(o.inputs.size())
                          + " INPUT files need --output-dir DIR instead of -o");
    // A container is finished by going back to its start: standard output cannot take one.
    if (o.output == "-")
        return UsageError("-o -: standard output cannot take a video file; give a file name");
    if (!o.output.empty() && !o.format) {
        // Never a file whose name says one format and whose contents are another.
        const std::string name = std::filesystem::path(o.output).filename().string();
        const std::size_t dot = name.find_last_of('.');
        if (dot != std::string::npos && dot > 0 && !OfferedFormatOf(name))
            return UsageError(o.output + ": the extension " + name.substr(dot)
                              + " names no format this program writes (" + FormatNames()
                              + "); end the name with one of those, or give --format");
    }
    if (!o.output.empty() && o.format) {
        // --format and an extension of another container would mislabel the file.
        const int named = FormatOfExtension(o.output);
        if (named >= 0 && named != *o.format)
            return UsageError(o.output + ": the extension names " + FormatName(named)
                              + " but --format asks for " + FormatName(*o.format)
                              + "; make them agree");
    }
    if (o.width.has_value() != o.height.has_value())
        return UsageError("--width and --height go together");
    if (o.copy
        && ((o.videoEncoder && Lower(*o.videoEncoder) != kCopyFactory)
            || (o.audioEncoder && Lower(*o.audioEncoder) != kCopyFactory)))
        return UsageError("--copy copies both streams; give --video-encoder copy or "
                          "--audio-encoder copy to copy one of them");
    if (CopiesVideo(o) && (o.width || o.fps || o.stretch))
        return UsageError("a copied picture keeps the source's size and rate: --width, "
                          "--height, --fps and --stretch need an encoder");
    if (o.start && o.end && *o.end <= *o.start)
        return UsageError("--end must come after --start");
    return 0;
}
