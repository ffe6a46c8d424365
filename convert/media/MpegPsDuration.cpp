#include "convert/media/MpegPsDuration.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace media {

namespace {

// Enough for many packets of every stream at the ends, small enough to stay instant.
constexpr long kScanBytes = 512 * 1024;
constexpr std::int64_t kPtsWrap = std::int64_t(1) << 33;

struct FileCloser
{
    void operator()(std::FILE *f) const { std::fclose(f); }
};

bool IsMediaStream(std::uint8_t id)
{
    return id == 0xBD || (id >= 0xC0 && id <= 0xEF); // private 1, audio, video
}

// A 33-bit stamp in the five-byte layout of a PES header; the marker bits must be set.
std::optional<std::int64_t> ReadStamp(const std::uint8_t *p)
{
    if ((p[0] & 0x01) == 0 || (p[2] & 0x01) == 0 || (p[4] & 0x01) == 0)
        return std::nullopt;
    return (std::int64_t(p[0] & 0x0E) << 29) | (std::int64_t(p[1]) << 22)
           | (std::int64_t(p[2] & 0xFE) << 14) | (std::int64_t(p[3]) << 7) | (p[4] >> 1);
}

// The PTS of the PES packet whose start code is at data[i], MPEG-2 or MPEG-1 header.
std::optional<std::int64_t> PacketPts(const std::vector<std::uint8_t> &data, std::size_t i)
{
    const std::size_t size = data.size();
    std::size_t p = i + 6;
    if (p + 3 > size)
        return std::nullopt;
    if ((data[p] & 0xC0) == 0x80) {
        // MPEG-2: flags byte, header length, then the stamp led by 0010 (PTS) or 0011 (+DTS).
        const int flags = data[p + 1] >> 6;
        if (flags < 2 || p + 8 > size || (data[p + 3] >> 4) != flags)
            return std::nullopt;
        return ReadStamp(&data[p + 3]);
    }
    // MPEG-1: stuffing, an optional buffer size, then the stamp.
    int stuffing = 0;
    while (p < size && data[p] == 0xFF && stuffing++ < 16)
        ++p;
    if (p + 2 <= size && (data[p] & 0xC0) == 0x40)
        p += 2;
    if (p + 5 > size || ((data[p] & 0xF0) != 0x20 && (data[p] & 0xF0) != 0x30))
        return std::nullopt;
    return ReadStamp(&data[p]);
}

struct Stamp
{
    bool video;
    std::int64_t pts;
};

std::vector<Stamp> StampsIn(std::FILE *file, long offset, long length)
{
    std::vector<std::uint8_t> data(static_cast<std::size_t>(length));
    std::vector<Stamp> stamps;
    if (std::fseek(file, offset, SEEK_SET) != 0)
        return stamps;
    data.resize(std::fread(data.data(), 1, data.size(), file));
    for (std::size_t i = 0; i + 4 <= data.size(); ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1 || !IsMediaStream(data[i + 3]))
            continue;
        if (const auto pts = PacketPts(data, i))
            stamps.push_back({(data[i + 3] & 0xF0) == 0xE0, *pts});
    }
    return stamps;
}

} // namespace

std::optional<std::int64_t> MpegPsDuration(const std::string &path, std::int64_t frameNs)
{
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return std::nullopt;
    const long size = std::ftell(file.get());
    if (size <= 0)
        return std::nullopt;
    const long span = std::min(size, kScanBytes);
    const std::vector<Stamp> head = StampsIn(file.get(), 0, span);
    const std::vector<Stamp> tail = StampsIn(file.get(), size - span, span);
    if (head.empty() || tail.empty())
        return std::nullopt;
    std::int64_t first = head.front().pts;
    for (const Stamp &s : head)
        first = std::min(first, s.pts);
    // The picture ends one frame after its last stamp; for other streams the last stamp is
    // the best we know without parsing their frames.
    std::int64_t end = 0;
    for (const Stamp &s : tail) {
        std::int64_t pts = s.pts < first ? s.pts + kPtsWrap : s.pts; // the 33-bit clock wrapped
        end = std::max(end, (pts - first) * 100000 / 9 + (s.video ? frameNs : 0));
    }
    return end;
}

} // namespace media
