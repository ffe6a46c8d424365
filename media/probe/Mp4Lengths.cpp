#include "media/probe/Mp4Lengths.h"

#include <algorithm>
#include <fstream>
#include <vector>

namespace media {

namespace {

std::uint64_t Big(const unsigned char *p, int bytes)
{
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | p[i];
    return v;
}

struct Box
{
    std::uint32_t type = 0;
    std::size_t payload = 0; // offset of its contents
    std::size_t end = 0;
};

// The boxes in data[from, to).
std::vector<Box> Boxes(const std::vector<unsigned char> &data, std::size_t from, std::size_t to)
{
    std::vector<Box> boxes;
    while (from + 8 <= to) {
        std::uint64_t size = Big(&data[from], 4);
        std::size_t header = 8;
        if (size == 1 && from + 16 <= to) {
            size = Big(&data[from + 8], 8);
            header = 16;
        } else if (size == 0) {
            size = to - from;
        }
        if (size < header || size > to - from)
            break;
        boxes.push_back({std::uint32_t(Big(&data[from + 4], 4)), from + header, from + size});
        from += size;
    }
    return boxes;
}

constexpr std::uint32_t Type(const char (&name)[5])
{
    return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16
           | std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint8_t(name[3]);
}

// An mvhd's or mdhd's length in nanoseconds; -1 when it states none.
std::int64_t HeaderLength(const std::vector<unsigned char> &data, const Box &box)
{
    const bool wide = box.payload < box.end && data[box.payload] == 1;
    const std::size_t scaleAt = box.payload + (wide ? 20 : 12);
    const int durationBytes = wide ? 8 : 4;
    if (scaleAt + 4 + durationBytes > box.end)
        return -1;
    const std::uint64_t scale = Big(&data[scaleAt], 4);
    const std::uint64_t duration = Big(&data[scaleAt + 4], durationBytes);
    if (scale == 0 || duration == (wide ? ~0ull : 0xFFFFFFFFull))
        return -1;
    // In long double: a damaged field may hold any 64-bit number.
    return std::int64_t(
        std::min<long double>(static_cast<long double>(duration) * 1e9L / scale, 9e18L));
}

} // namespace

std::optional<Mp4Lengths> ReadMp4Lengths(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    // Top-level boxes, skipping their contents, until the movie box.
    std::uint64_t at = 0;
    std::vector<unsigned char> moov;
    for (int boxes = 0; boxes < 64 && moov.empty(); ++boxes) {
        unsigned char head[16];
        in.seekg(std::streamoff(at));
        if (!in.read(reinterpret_cast<char *>(head), 8))
            return std::nullopt;
        std::uint64_t size = Big(head, 4);
        std::uint64_t header = 8;
        if (size == 1) {
            if (!in.read(reinterpret_cast<char *>(head + 8), 8))
                return std::nullopt;
            size = Big(head + 8, 8);
            header = 16;
        }
        if (size < header)
            return std::nullopt;
        if (Big(head + 4, 4) == Type("moov")) {
            // A movie header is a few MB at most, even for hours of frames.
            if (size > (std::uint64_t(256) << 20))
                return std::nullopt;
            moov.resize(size - header);
            if (!in.read(reinterpret_cast<char *>(moov.data()), std::streamsize(moov.size())))
                return std::nullopt;
        }
        at += size;
    }
    if (moov.empty())
        return std::nullopt;
    Mp4Lengths lengths;
    bool movie = false;
    for (const Box &box : Boxes(moov, 0, moov.size())) {
        if (box.type == Type("mvhd")) {
            lengths.movieNs = HeaderLength(moov, box);
            movie = lengths.movieNs >= 0;
        } else if (box.type == Type("trak")) {
            for (const Box &media : Boxes(moov, box.payload, box.end))
                if (media.type == Type("mdia"))
                    for (const Box &header : Boxes(moov, media.payload, media.end))
                        if (header.type == Type("mdhd"))
                            lengths.longestTrackNs
                                = std::max(lengths.longestTrackNs, HeaderLength(moov, header));
        }
    }
    if (!movie)
        return std::nullopt;
    return lengths;
}

} // namespace media
