#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A video stream's frame rate as its frames' time stamps show it. Demuxers declare rates that
// are not there: the ASF demuxer says 25 when the header has none, and Matroska without a
// default duration (as web encoders write it) says 0. Reading the stamps of the first frames
// gives what the file really holds.
namespace media {

struct FrameRate
{
    int num = 0;
    int den = 1;

    bool Valid() const { return num > 0 && den > 0; }
    double PerSecond() const { return Valid() ? static_cast<double>(num) / den : 0.0; }
};

// The presentation times (ns) of the first video stream's first frames, in presentation order,
// with one demux pass (nothing decoded).
struct FrameTimes
{
    std::vector<std::int64_t> starts;
    // Where the last frame read ends (its time plus its duration); -1 when unknown.
    std::int64_t end = -1;
    // Every frame of the stream was read.
    bool wholeStream = false;
};

// Empty when the file has no video stream or cannot be read within the bounded wait.
std::optional<FrameTimes> ReadFrameTimes(const std::string &path, int maxFrames);

// The rate the stamps hold: the declared rate when every frame sits on its grid (within the
// 1 ms rounding of containers that count in milliseconds), else the common rate that does;
// frames that follow no fixed grid give their average rate. Invalid when there are too few.
FrameRate RateFromFrameTimes(const FrameTimes &times, FrameRate declared);

// Both: the rate of path's first video stream, or declared when its stamps cannot be read. A
// few seconds' frames settle a fixed rate; a variable one is averaged over more.
FrameRate MeasureFrameRate(const std::string &path, FrameRate declared);

} // namespace media
