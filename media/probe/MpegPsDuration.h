#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace media {

// The MPEG program-stream demuxer only estimates a file's length from the stamps it happens to
// find near the ends, and can be short by a large part of a second. This reads the presentation
// stamps of the packets in the first and last part of the file instead (see StampSpan): the
// length in ns, where frameNs is the length of one picture. Empty when the file has no stamped
// packets there.
std::optional<std::int64_t> MpegPsDuration(const std::string &path, std::int64_t frameNs);

} // namespace media
