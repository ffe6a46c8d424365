#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// Presentation stamps of MPEG program and transport streams, read straight from the bytes, and
// the length they span. Stamps are 33-bit counts of a 90 kHz clock that wraps about every
// 26.5 hours, so every difference is taken modulo 2^33.
namespace media {

constexpr std::int64_t kMpegClockWrap = std::int64_t(1) << 33;

struct MpegStamp
{
    bool video = false;
    std::int64_t pts = 0; // 90 kHz ticks, 0 .. 2^33 - 1
};

// The stamps of the media packets of a program stream (MPEG-1 or MPEG-2 packs), in file order.
// The data may start anywhere: reading begins at the first pack header.
std::vector<MpegStamp> ProgramStreamStamps(std::span<const std::uint8_t> data);

// The stamps of the packets that start a media PES packet in a transport stream (188-byte
// packets, or 192-byte ones with a time code in front), in file order. The data may start
// anywhere: reading begins where the sync bytes line up.
std::vector<MpegStamp> TransportStreamStamps(std::span<const std::uint8_t> data);

// The length in ns from stamps read at the start and at the end of a file: from the earliest
// stamp near the first one in file order to the end of the last picture (its stamp plus
// frameNs) or the last stamp of another stream, whichever is later. Empty without stamps.
std::optional<std::int64_t> StampSpan(const std::vector<MpegStamp> &head,
                                      const std::vector<MpegStamp> &tail, std::int64_t frameNs);

using StampReader = std::vector<MpegStamp> (*)(std::span<const std::uint8_t>);

// StampSpan over the first and last part of a file.
std::optional<std::int64_t> FileStampSpan(const std::string &path, StampReader reader,
                                          std::int64_t frameNs);

} // namespace media
