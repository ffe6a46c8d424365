#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace media {

// The lengths an MP4 or QuickTime file's header states: the movie's, and the longest of its
// tracks' media, in nanoseconds. A damaged movie length makes GStreamer's demuxer report it (or
// drop the tracks as previews), though the tracks say otherwise.
struct Mp4Lengths
{
    std::int64_t movieNs = 0;
    std::int64_t longestTrackNs = 0;
};

// Empty when the file is no MP4 or its header cannot be read.
std::optional<Mp4Lengths> ReadMp4Lengths(const std::string &path);

} // namespace media
