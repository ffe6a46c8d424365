#include "media/probe/MpegStamps.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace media {

namespace {

// Enough for many packets of every stream at the ends, small enough to stay instant.
constexpr long kScanBytes = 512 * 1024;
constexpr std::size_t kTsPacket = 188;
// Sync bytes that must line up before a stride is believed.
constexpr int kTsSyncChecks = 5;

using Bytes = std::span<const std::uint8_t>;

struct FileCloser
{
    void operator()(std::FILE *f) const { std::fclose(f); }
};

bool IsMediaStream(std::uint8_t id)
{
    return id == 0xBD || (id >= 0xC0 && id <= 0xEF); // private 1, audio, video
}

bool IsStartCode(Bytes data, std::size_t p)
{
    return p + 4 <= data.size() && data[p] == 0 && data[p + 1] == 0 && data[p + 2] == 1;
}

// A 33-bit stamp in the five-byte layout of a PES header; the marker bits must be set.
std::optional<std::int64_t> ReadStamp(const std::uint8_t *p)
{
    if ((p[0] & 0x01) == 0 || (p[2] & 0x01) == 0 || (p[4] & 0x01) == 0)
        return std::nullopt;
    return (std::int64_t(p[0] & 0x0E) << 29) | (std::int64_t(p[1]) << 22)
           | (std::int64_t(p[2] & 0xFE) << 14) | (std::int64_t(p[3]) << 7) | (p[4] >> 1);
}

// The PTS of the PES packet that starts the bytes, MPEG-2 or MPEG-1 header.
std::optional<std::int64_t> PesPts(Bytes pes)
{
    const std::size_t size = pes.size();
    std::size_t p = 6;
    if (p + 3 > size)
        return std::nullopt;
    if ((pes[p] & 0xC0) == 0x80) {
        // MPEG-2: flags byte, header length, then the stamp led by 0010 (PTS) or 0011 (+DTS).
        const int flags = pes[p + 1] >> 6;
        if (flags < 2 || p + 8 > size || (pes[p + 3] >> 4) != flags)
            return std::nullopt;
        return ReadStamp(&pes[p + 3]);
    }
    // MPEG-1: stuffing, an optional buffer size, then the stamp.
    int stuffing = 0;
    while (p < size && pes[p] == 0xFF && stuffing++ < 16)
        ++p;
    if (p + 2 <= size && (pes[p] & 0xC0) == 0x40)
        p += 2;
    if (p + 5 > size || ((pes[p] & 0xF0) != 0x20 && (pes[p] & 0xF0) != 0x30))
        return std::nullopt;
    return ReadStamp(&pes[p]);
}

// The length of the pack header at p with its marker bits checked; empty when there is none.
std::optional<std::size_t> PackHeaderLength(Bytes data, std::size_t p)
{
    if (!IsStartCode(data, p) || data[p + 3] != 0xBA || p + 12 > data.size())
        return std::nullopt;
    const std::uint8_t *h = &data[p];
    if ((h[4] & 0xC4) == 0x44) {
        // MPEG-2: 14 bytes and up to 7 stuffing bytes.
        if (p + 14 > data.size() || !(h[6] & 0x04) || !(h[8] & 0x04) || !(h[9] & 0x01)
            || (h[12] & 0x03) != 0x03)
            return std::nullopt;
        return 14 + (h[13] & 0x07);
    }
    if ((h[4] & 0xF1) == 0x21 && (h[6] & 0x01) && (h[8] & 0x01) && (h[9] & 0x80) && (h[11] & 0x01))
        return 12; // MPEG-1
    return std::nullopt;
}

std::size_t NextPack(Bytes data, std::size_t from)
{
    for (std::size_t p = from; p + 4 <= data.size(); ++p) {
        if (data[p + 2] > 1) {
            p += 2; // no start code can begin at p, p + 1 or p + 2
            continue;
        }
        if (PackHeaderLength(data, p))
            return p;
    }
    return data.size();
}

// Where sync bytes stand every stride bytes from p on, for as many packets as the data holds
// (at most kTsSyncChecks).
bool SyncLinesUp(Bytes data, std::size_t p, std::size_t stride)
{
    int seen = 0;
    for (std::size_t q = p; q < data.size() && seen < kTsSyncChecks; q += stride, ++seen) {
        if (data[q] != 0x47)
            return false;
    }
    return seen > 0 && p + kTsPacket <= data.size();
}

// The first sync byte at or after from where 188- or 192-byte packets line up; stride gets
// the packet size.
std::size_t NextSync(Bytes data, std::size_t from, std::size_t *stride)
{
    for (std::size_t p = from; p < data.size(); ++p) {
        for (const std::size_t size : {kTsPacket, kTsPacket + 4}) {
            if (SyncLinesUp(data, p, size)) {
                *stride = size;
                return p;
            }
        }
    }
    return data.size();
}

// ticks is 0 .. 2^33 - 1, so the product stays far from overflowing.
std::int64_t TicksToNanoseconds(std::int64_t ticks)
{
    return ticks * 100000 / 9;
}

// a - b on the 33-bit clock, as the nearest signed distance.
std::int64_t SignedTicks(std::int64_t a, std::int64_t b)
{
    std::int64_t d = (a - b) & (kMpegClockWrap - 1);
    return d >= kMpegClockWrap / 2 ? d - kMpegClockWrap : d;
}

std::vector<MpegStamp> ReadAndParse(std::FILE *file, long offset, long length, StampReader reader)
{
    std::vector<std::uint8_t> data(static_cast<std::size_t>(length));
    if (std::fseek(file, offset, SEEK_SET) != 0)
        return {};
    data.resize(std::fread(data.data(), 1, data.size(), file));
    return reader(data);
}

} // namespace

std::vector<MpegStamp> ProgramStreamStamps(Bytes data)
{
    std::vector<MpegStamp> stamps;
    std::size_t p = NextPack(data, 0);
    while (p + 4 <= data.size()) {
        if (!IsStartCode(data, p)) {
            p = NextPack(data, p + 1); // lost our place: pick up at the next pack
            continue;
        }
        const std::uint8_t id = data[p + 3];
        if (id == 0xBA) {
            const auto length = PackHeaderLength(data, p);
            p = length ? p + *length : NextPack(data, p + 1);
        } else if (id == 0xB9) {
            p += 4; // end code
        } else if (id >= 0xBB) {
            // System header, stream map, padding and PES packets all carry their length.
            if (p + 6 > data.size())
                break;
            const std::size_t length = 6 + ((std::size_t(data[p + 4]) << 8) | data[p + 5]);
            if (IsMediaStream(id)) {
                const Bytes pes = data.subspan(p, std::min(length, data.size() - p));
                if (const auto pts = PesPts(pes))
                    stamps.push_back({(id & 0xF0) == 0xE0, *pts});
            }
            p += length;
        } else {
            p = NextPack(data, p + 1);
        }
    }
    return stamps;
}

std::vector<MpegStamp> TransportStreamStamps(Bytes data)
{
    std::vector<MpegStamp> stamps;
    std::size_t stride = kTsPacket;
    std::size_t p = NextSync(data, 0, &stride);
    while (p + kTsPacket <= data.size()) {
        if (data[p] != 0x47) {
            p = NextSync(data, p + 1, &stride);
            continue;
        }
        const Bytes packet = data.subspan(p, kTsPacket);
        p += stride;
        const bool damaged = packet[1] & 0x80;
        const bool unitStart = packet[1] & 0x40;
        const int adaptation = (packet[3] >> 4) & 0x03;
        if (damaged || !unitStart || !(adaptation & 0x01))
            continue;
        std::size_t payload = 4;
        if (adaptation & 0x02)
            payload += 1 + packet[4];
        if (payload + 9 > kTsPacket)
            continue;
        const Bytes pes = packet.subspan(payload);
        if (!IsStartCode(pes, 0) || !IsMediaStream(pes[3]))
            continue;
        if (const auto pts = PesPts(pes))
            stamps.push_back({(pes[3] & 0xF0) == 0xE0, *pts});
    }
    return stamps;
}

std::optional<std::int64_t> StampSpan(const std::vector<MpegStamp> &head,
                                      const std::vector<MpegStamp> &tail, std::int64_t frameNs)
{
    if (head.empty() || tail.empty())
        return std::nullopt;
    // Stamps near the start come a little out of order (pictures are sent before the ones shown
    // ahead of them, sound ahead of the picture): the earliest, measured from the first one in
    // file order, is where the file starts, even when the clock wraps in between.
    const std::int64_t reference = head.front().pts;
    std::int64_t earliest = 0;
    for (const MpegStamp &s : head)
        earliest = std::min(earliest, SignedTicks(s.pts, reference));
    const std::int64_t start = (reference + earliest) & (kMpegClockWrap - 1);

    // The picture ends one frame after its last stamp; for other streams the last stamp is the
    // best we know without parsing their frames.
    std::int64_t end = 0;
    for (const MpegStamp &s : tail) {
        const std::int64_t ticks = (s.pts - start) & (kMpegClockWrap - 1);
        const std::int64_t ns = TicksToNanoseconds(ticks) + (s.video ? frameNs : 0);
        end = std::max(end, ns);
    }
    return end;
}

std::optional<std::int64_t> FileStampSpan(const std::string &path, StampReader reader,
                                          std::int64_t frameNs)
{
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return std::nullopt;
    const long size = std::ftell(file.get());
    if (size <= 0)
        return std::nullopt;
    const long span = std::min(size, kScanBytes);
    const std::vector<MpegStamp> head = ReadAndParse(file.get(), 0, span, reader);
    const std::vector<MpegStamp> tail = ReadAndParse(file.get(), size - span, span, reader);
    return StampSpan(head, tail, frameNs);
}

} // namespace media
