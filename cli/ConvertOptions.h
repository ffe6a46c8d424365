#pragma once

#include <optional>
#include <string>
#include <vector>

// How progress is shown on standard error.
enum class ProgressStyle { Text, Json };

// The options of `clipwright-cli convert` as given, before anything is checked against the input.
struct ConvertOptions
{
    std::vector<std::string> inputs;
    std::string output;    // -o: the file of a single input
    std::string outputDir; // --output-dir: DIR/<name>.<ext> for each input
    std::optional<double> start, end, fps;
    std::optional<int> format, width, height;
    std::optional<int> videoKbps, audioKbps;
    std::optional<std::string> videoEncoder, audioEncoder;
    ProgressStyle progress = ProgressStyle::Text;
    bool quiet = false;
    bool stretch = false;
    bool overwrite = false;
    bool copy = false; // --copy: both streams as they are in the source
    bool help = false;
};

// Whether the picture is copied from the source (--copy or --video-encoder copy).
bool CopiesVideo(const ConvertOptions &o);

// Accepted ranges, said in messages and in --help.
constexpr double kMinFrameRate = 1;
constexpr double kMaxFrameRate = 240;
constexpr int kMinFrameSide = 16;
constexpr int kMinVideoKbps = 16;
constexpr int kMaxVideoKbps = 100000;
// The sound bitrates the Windows Media audio encoder offers at 44.1 kHz stereo, kbit/s.
extern const int kWmaKbps[12];

// Whether argv (argv[0] is "convert") asks for --progress=json, before anything is checked.
bool AsksForJson(int argc, char **argv);

// Whether argv (as above) asks for the picture copied, before anything is checked: a copy
// decodes nothing, so the decoders need not be prepared. A wrong guess costs only time.
bool AsksForCopy(int argc, char **argv);

// Whether argv (as above) asks for a batch (--output-dir), before anything is checked.
bool AsksForBatch(int argc, char **argv);
// Reads argv (argv[0] is "convert"). Returns 0 when parsed, else the exit code after a message.
int ParseConvertOptions(int argc, char **argv, ConvertOptions *o);
// Checks that the options go together. Returns 0, or the exit code after a message.
int CheckConvertOptions(const ConvertOptions &o);
// The usage text of --help.
extern const char *const kConvertHelp;
// A line on standard error about wrong usage; returns the exit code 2.
int UsageError(const std::string &text);
// The container code of a format name ("mp4", any case), for the formats a user can choose.
std::optional<int> FormatByName(const std::string &name);
// The container code that path's extension names, for the formats a user can choose.
std::optional<int> OfferedFormatOf(const std::string &path);
// "wmv, asf, mp4, mkv, avi or ogm": the formats a user can choose.
std::string FormatNames();
std::string Lower(std::string s);
