#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace media {

// What an AVI's data holds, counted chunk by chunk through its movi lists rather than read from
// its header or index, which GStreamer's demuxer trusts even when damaged.
struct AviFrames
{
    std::int64_t frames = 0;  // pictures of the first video stream
    std::int64_t frameNs = 0; // one picture's time from the stream header; 0 when unknown
};

// Empty when the file is no AVI or has no video stream.
std::optional<AviFrames> CountAviFrames(const std::string &path);

} // namespace media
