#pragma once

// What tests of every room share: fixture paths and running a command. No Qt here, so tests that
// include GLib's headers can take it.
#include <array>
#include <cstdio>
#include <memory>
#include <string>

inline std::string Fixture(const char *name)
{
    return std::string(CW_FIXTURE_DIR) + "/" + name;
}

// Standard output of a shell command.
inline std::string Shell(const std::string &command)
{
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        return out;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0)
        out.append(buffer.data(), n);
    return out;
}

// One entry of the first stream of a kind ("v:0", "a:0") as ffprobe reads it, without its line
// end.
inline std::string StreamEntry(const std::string &file, const char *stream, const char *entry)
{
    std::string value
        = Shell(std::string("ffprobe -v error -select_streams ") + stream + " -show_entries stream="
                + entry + " -of default=nw=1:nk=1 '" + file + "' | head -n 1");
    while (!value.empty() && value.back() == '\n')
        value.pop_back();
    return value;
}
