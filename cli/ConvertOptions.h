#pragma once

#include <optional>
#include <string>

// The options of `clipwright-cli convert` as given, before anything is checked against the input.
struct ConvertOptions
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

// Reads argv (argv[0] is "convert"). Returns 0 when parsed, else the exit code after a message.
int ParseConvertOptions(int argc, char **argv, ConvertOptions *o);
// Checks that the options go together. Returns 0, or the exit code after a message.
int CheckConvertOptions(const ConvertOptions &o);
// The usage text of --help.
extern const char *const kConvertHelp;
// A line on standard error about wrong usage; returns the exit code 2.
int UsageError(const std::string &text);
// The container code of a format name or file extension.
std::optional<int> FormatByName(const std::string &name);
std::string Lower(std::string s);
