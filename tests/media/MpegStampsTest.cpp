#include "media/probe/MpegStamps.h"
#include "media/probe/Mp4Lengths.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using media::kMpegClockWrap;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kFrameTicks = 3600; // 25 fps on the 90 kHz clock
constexpr std::int64_t kAudioTicks = 2160; // 1152 samples at 48 kHz
constexpr int kFrames = 75;                // 3 s
constexpr std::int64_t kFrameNs = 40'000'000;
constexpr std::int64_t kThreeSeconds = 3'000'000'000;

std::int64_t Wrapped(std::int64_t ticks)
{
    return ticks & (kMpegClockWrap - 1);
}

void Append(Bytes *out, std::initializer_list<int> bytes)
{
    for (int b : bytes)
        out->push_back(static_cast<std::uint8_t>(b));
}

// The five-byte stamp of a PES header, led by prefix (2 = PTS only).
void AppendStamp(Bytes *out, int prefix, std::int64_t pts)
{
    Append(out, {static_cast<int>((prefix << 4) | ((pts >> 29) & 0x0E) | 1),
                 static_cast<int>((pts >> 22) & 0xFF), static_cast<int>(((pts >> 14) & 0xFE) | 1),
                 static_cast<int>((pts >> 7) & 0xFF), static_cast<int>(((pts << 1) & 0xFE) | 1)});
}

// A payload that holds what looks like a stamped video packet; a reader that searches for
// start codes instead of walking packets by their lengths takes its stamp (0) for real.
Bytes DecoyPayload()
{
    Bytes payload = {0x00, 0x00, 0x01, 0xE0, 0x00, 0x08, 0x80, 0x80, 0x05};
    AppendStamp(&payload, 2, 0);
    payload.insert(payload.end(), 20, 0x55);
    return payload;
}

void AppendPackHeader(Bytes *out, bool mpeg2, std::int64_t scr)
{
    Append(out, {0x00, 0x00, 0x01, 0xBA});
    if (mpeg2) {
        Append(out, {static_cast<int>(0x44 | ((scr >> 27) & 0x38) | ((scr >> 28) & 0x03)),
                     static_cast<int>((scr >> 20) & 0xFF),
                     static_cast<int>(((scr >> 12) & 0xF8) | 0x04 | ((scr >> 13) & 0x03)),
                     static_cast<int>((scr >> 5) & 0xFF),
                     static_cast<int>(((scr << 3) & 0xF8) | 0x04), 0x01, 0x01, 0x89, 0xC3, 0xF8});
    } else {
        AppendStamp(out, 2, scr); // the MPEG-1 system clock has the stamp's layout
        Append(out, {0x80, 0x1B, 0x83});
    }
}

void AppendPes(Bytes *out, bool mpeg2, int streamId, std::int64_t pts, const Bytes &payload)
{
    const std::size_t header = mpeg2 ? 8 : 5;
    const std::size_t length = header + payload.size();
    Append(out, {0x00, 0x00, 0x01, streamId, static_cast<int>(length >> 8),
                 static_cast<int>(length & 0xFF)});
    if (mpeg2)
        Append(out, {0x80, 0x80, 0x05});
    AppendStamp(out, 2, pts);
    out->insert(out->end(), payload.begin(), payload.end());
}

struct Packet
{
    bool video;
    std::int64_t pts;
};

// Three seconds from start in the order a muxer writes them: pictures in decoding order (each
// P before the two B shown ahead of it), sound interleaved by time.
std::vector<Packet> ThreeSeconds(std::int64_t start)
{
    std::vector<int> order = {0};
    for (int g = 1; g < kFrames; g += 3) {
        for (int k : {g + 2, g, g + 1}) {
            if (k < kFrames)
                order.push_back(k);
        }
    }
    std::vector<Packet> packets;
    int audio = 0;
    for (int k : order) {
        packets.push_back({true, Wrapped(start + k * kFrameTicks)});
        while (audio * kAudioTicks <= k * kFrameTicks && audio * kAudioTicks < 3 * 90000)
            packets.push_back({false, Wrapped(start + audio++ * kAudioTicks)});
    }
    return packets;
}

Bytes ProgramStream(std::int64_t start, bool mpeg2)
{
    Bytes out;
    for (const Packet &p : ThreeSeconds(start)) {
        AppendPackHeader(&out, mpeg2, Wrapped(p.pts - 9000));
        AppendPes(&out, mpeg2, p.video ? 0xE0 : 0xC0, p.pts, DecoyPayload());
    }
    Append(&out, {0x00, 0x00, 0x01, 0xB9});
    return out;
}

// One 188-byte packet (192 with a time code in front) carrying a whole PES packet, padded by
// the adaptation field, which also carries the PCR on the video PID.
void AppendTsPacket(Bytes *out, bool timeCode, const Packet &p, int continuity)
{
    Bytes pes;
    const Bytes payload = DecoyPayload();
    AppendPes(&pes, true, p.video ? 0xE0 : 0xC0, p.pts, payload);
    if (p.video)
        pes[4] = pes[5] = 0; // unbounded length, as video packets in a transport stream may be
    const int pid = p.video ? 0x100 : 0x101;
    if (timeCode)
        Append(out, {0x12, 0x34, 0x56, 0x78});
    Append(out, {0x47, 0x40 | (pid >> 8), pid & 0xFF, 0x30 | (continuity & 0x0F)});
    const std::size_t adaptation = 184 - pes.size() - 1;
    out->push_back(static_cast<std::uint8_t>(adaptation));
    const std::size_t filled = out->size();
    if (p.video) {
        const std::int64_t pcr = Wrapped(p.pts - 9000);
        Append(out,
               {0x10, static_cast<int>((pcr >> 25) & 0xFF), static_cast<int>((pcr >> 17) & 0xFF),
                static_cast<int>((pcr >> 9) & 0xFF), static_cast<int>((pcr >> 1) & 0xFF),
                static_cast<int>(((pcr & 1) << 7) | 0x7E), 0x00});
    } else {
        out->push_back(0x00);
    }
    out->insert(out->end(), adaptation - (out->size() - filled), 0xFF);
    out->insert(out->end(), pes.begin(), pes.end());
}

Bytes TransportStream(std::int64_t start, bool timeCodes)
{
    Bytes out;
    int continuity = 0;
    // A PAT-like section first: a unit start that is not a PES packet.
    if (timeCodes)
        Append(&out, {0, 0, 0, 0});
    Append(&out, {0x47, 0x40, 0x00, 0x10, 0x00});
    out.insert(out.end(), 183, 0xFF);
    for (const Packet &p : ThreeSeconds(start))
        AppendTsPacket(&out, timeCodes, p, continuity++);
    return out;
}

std::optional<std::int64_t> Length(const std::vector<media::MpegStamp> &stamps)
{
    return media::StampSpan(stamps, stamps, kFrameNs);
}

TEST(MpegStamps, ProgramStreamLengthHoldsWhereverTheClockWraps)
{
    struct Case
    {
        const char *what;
        std::int64_t start;
    };
    const Case cases[] = {
        {"no wrap, from 0", 0},
        {"no wrap, from 10 s", 10 * 90000},
        // The first picture shows just after the wrap, the two sent behind it just before.
        {"wrap at the start", kMpegClockWrap - kFrameTicks},
        {"wrap in the middle", kMpegClockWrap - 90000},
        {"wrap just before the end", kMpegClockWrap - 3 * 90000 + kFrameTicks},
    };
    for (bool mpeg2 : {true, false}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.what) + (mpeg2 ? ", MPEG-2 packs" : ", MPEG-1 packs"));
            const Bytes data = ProgramStream(c.start, mpeg2);
            const auto stamps = media::ProgramStreamStamps(data);
            // Every packet once, the decoys in the payloads never.
            ASSERT_EQ(stamps.size(), ThreeSeconds(c.start).size());
            EXPECT_EQ(stamps.front().pts, Wrapped(c.start));
            EXPECT_TRUE(stamps.front().video);
            EXPECT_FALSE(stamps[1].video);
            EXPECT_EQ(Length(stamps), kThreeSeconds);
        }
    }
}

TEST(MpegStamps, ProgramStreamReadingStartsAtTheFirstWholePack)
{
    const Bytes data = ProgramStream(5 * 90000, true);
    const auto all = media::ProgramStreamStamps(data);
    // Cut into the first pack: its packet is lost, the rest are read from the next pack on.
    const Bytes cut(data.begin() + 7, data.end());
    const auto fromCut = media::ProgramStreamStamps(cut);
    ASSERT_EQ(fromCut.size(), all.size() - 1);
    EXPECT_EQ(fromCut.front().pts, all[1].pts);
    // The end of the file read from its middle: stamps start again at a pack.
    const Bytes tail(data.begin() + static_cast<long>(data.size() / 2), data.end());
    const auto fromTail = media::ProgramStreamStamps(tail);
    ASSERT_FALSE(fromTail.empty());
    EXPECT_EQ(fromTail.back().pts, all.back().pts);
    EXPECT_EQ(media::StampSpan(all, fromTail, kFrameNs), kThreeSeconds);

    EXPECT_TRUE(media::ProgramStreamStamps(Bytes(4096, 0x00)).empty());
    EXPECT_TRUE(media::ProgramStreamStamps(Bytes()).empty());
    EXPECT_FALSE(media::StampSpan({}, all, kFrameNs).has_value());
    EXPECT_FALSE(media::StampSpan(all, {}, kFrameNs).has_value());
}

TEST(MpegStamps, TransportStreamLengthHoldsWhereverTheClockWraps)
{
    for (bool timeCodes : {false, true}) {
        for (std::int64_t start : {std::int64_t(0), std::int64_t(10 * 3600) * 90000,
                                   kMpegClockWrap - kFrameTicks, kMpegClockWrap - 90000}) {
            SCOPED_TRACE(std::to_string(start) + (timeCodes ? " 192-byte" : " 188-byte"));
            const Bytes data = TransportStream(start, timeCodes);
            ASSERT_EQ(data.size() % (timeCodes ? 192 : 188), 0u);
            const auto stamps = media::TransportStreamStamps(data);
            ASSERT_EQ(stamps.size(), ThreeSeconds(start).size());
            EXPECT_EQ(stamps.front().pts, Wrapped(start));
            EXPECT_EQ(Length(stamps), kThreeSeconds);

            // Read from inside a packet, as the end of a file is: sync is found again.
            const Bytes tail(data.begin() + 1000, data.end());
            const auto fromTail = media::TransportStreamStamps(tail);
            ASSERT_FALSE(fromTail.empty());
            EXPECT_EQ(fromTail.back().pts, stamps.back().pts);
            EXPECT_EQ(media::StampSpan(stamps, fromTail, kFrameNs), kThreeSeconds);
        }
    }
    EXPECT_TRUE(media::TransportStreamStamps(Bytes(1000, 0x47)).empty());
    EXPECT_TRUE(media::TransportStreamStamps(ProgramStream(0, true)).empty());
}

// MP4 boxes: a size, a type and the contents; a size of 1 is followed by a 64-bit size.
Bytes Mp4Box(const char *type, const Bytes &contents, bool largeSize = false)
{
    Bytes out;
    const std::uint64_t size = contents.size() + (largeSize ? 16 : 8);
    auto put = [&](std::uint64_t v, int bytes) {
        for (int i = bytes - 1; i >= 0; --i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    put(largeSize ? 1 : size, 4);
    out.insert(out.end(), type, type + 4);
    if (largeSize)
        put(size, 8);
    out.insert(out.end(), contents.begin(), contents.end());
    return out;
}

// An mvhd's or mdhd's contents, version 0 (32-bit times) or 1 (64-bit).
Bytes TimeHeader(int version, std::uint32_t scale, std::uint64_t duration)
{
    Bytes out{static_cast<std::uint8_t>(version), 0, 0, 0};
    const int wide = version == 1 ? 8 : 4;
    out.insert(out.end(), 2 * wide, 0); // creation and modification times
    for (int i = 3; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(scale >> (8 * i)));
    for (int i = wide - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(duration >> (8 * i)));
    out.insert(out.end(), 80, 0); // the rest of a movie header
    return out;
}

Bytes Track(int version, std::uint32_t scale, std::uint64_t duration)
{
    return Mp4Box("trak", Mp4Box("mdia", Mp4Box("mdhd", TimeHeader(version, scale, duration))));
}

std::optional<media::Mp4Lengths> LengthsOf(const Bytes &file)
{
    char path[] = "/tmp/cw-mp4-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0)
        return std::nullopt;
    const bool written = write(fd, file.data(), file.size()) == ssize_t(file.size());
    close(fd);
    auto lengths = written ? media::ReadMp4Lengths(path) : std::nullopt;
    std::remove(path);
    return lengths;
}

TEST(MpegStamps, Mp4HeaderLengthsOfMovieAndTracks)
{
    const Bytes ftyp = Mp4Box("ftyp", Bytes{'i', 's', 'o', 'm', 0, 0, 2, 0});
    // The index last, behind media data with a 64-bit size; a damaged 64-bit movie length.
    Bytes moov = Mp4Box("mvhd", TimeHeader(1, 1000, 2067000));
    for (const Bytes &track : {Track(0, 12800, 38400), Track(1, 44100, 133324)})
        moov.insert(moov.end(), track.begin(), track.end());
    Bytes file = ftyp;
    const Bytes mdat = Mp4Box("mdat", Bytes(3000, 0), true);
    file.insert(file.end(), mdat.begin(), mdat.end());
    const Bytes movie = Mp4Box("moov", moov);
    file.insert(file.end(), movie.begin(), movie.end());
    auto lengths = LengthsOf(file);
    ASSERT_TRUE(lengths.has_value());
    EXPECT_EQ(lengths->movieNs, 2067 * std::int64_t(1000000000));
    EXPECT_EQ(lengths->longestTrackNs, std::int64_t(133324) * 1000000000 / 44100);

    // A track whose time scale is 0 states no length; the other one counts.
    Bytes zeroScale = Mp4Box("mvhd", TimeHeader(0, 1000, 3000));
    for (const Bytes &track : {Track(0, 0, 38400), Track(0, 12800, 38400)})
        zeroScale.insert(zeroScale.end(), track.begin(), track.end());
    Bytes second = ftyp;
    const Bytes zeroMovie = Mp4Box("moov", zeroScale);
    second.insert(second.end(), zeroMovie.begin(), zeroMovie.end());
    lengths = LengthsOf(second);
    ASSERT_TRUE(lengths.has_value());
    EXPECT_EQ(lengths->movieNs, kThreeSeconds);
    EXPECT_EQ(lengths->longestTrackNs, kThreeSeconds);

    // Cut inside the movie box, no movie box, not an MP4 at all: nothing is claimed.
    EXPECT_FALSE(LengthsOf(Bytes(file.begin(), file.end() - 20)).has_value());
    EXPECT_FALSE(LengthsOf(ftyp).has_value());
    EXPECT_FALSE(LengthsOf(Bytes(4096, 0xFF)).has_value());
}

} // namespace
