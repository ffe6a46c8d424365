#pragma once

#include <chrono>
#include <map>
#include <set>
#include <string>

namespace media {

// The languages the demuxer states for the streams of the file at path, by stream id (as
// stream-start events carry it), for the streams named in wanted. A stream's tags come before
// its first data, so each wanted stream is read up to its first packet, or to the file's end,
// and no longer than timeout in all. A stream stating no language (or "und") is left out of the
// result.
std::map<std::string, std::string>
ReadStreamLanguages(const std::string &path, const std::set<std::string> &wanted,
                    std::chrono::milliseconds timeout = std::chrono::seconds(5));

} // namespace media
