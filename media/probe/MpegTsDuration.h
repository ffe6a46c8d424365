#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace media {

// The transport-stream demuxer estimates a file's length from its bitrate, off by several
// frames. This measures it from the presentation stamps at both ends like MpegPsDuration: the
// length in ns, where frameNs is the length of one picture. Empty when the file has no stamped
// packets there.
std::optional<std::int64_t> MpegTsDuration(const std::string &path, std::int64_t frameNs);

} // namespace media
