#include "media/probe/AviFrames.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace media {

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE *)>;

std::uint32_t Le32(const unsigned char *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
           | std::uint32_t(p[3]) << 24;
}

bool Id(const unsigned char *p, const char *id)
{
    return std::memcmp(p, id, 4) == 0;
}

struct Walk
{
    std::FILE *file;
    std::int64_t size;
    int videoStream = -1; // index of the first video stream among the stream lists
    int streams = 0;
    std::int64_t frameNs = 0;
    std::int64_t frames = 0;
    char videoId[2] = {0, 0}; // the two digits its data chunks start with

    bool Seek(std::int64_t at) { return std::fseek(file, long(at), SEEK_SET) == 0; }

    // The stream header of one stream list: the first video stream's number and frame time.
    void StreamHeader(std::int64_t at, std::uint32_t length)
    {
        unsigned char h[32];
        if (length < sizeof h || !Seek(at) || std::fread(h, 1, sizeof h, file) != sizeof h)
            return;
        if (videoStream < 0 && streams > 0 && Id(h, "vids")) {
            videoStream = streams - 1; // counted as its list was entered
            const std::uint32_t scale = Le32(h + 20), rate = Le32(h + 24);
            if (scale > 0 && rate > 0)
                frameNs = std::int64_t(1000000000.0 * scale / rate + 0.5);
            videoId[0] = char('0' + videoStream / 10 % 10);
            videoId[1] = char('0' + videoStream % 10);
        }
    }

    // The chunks from begin to end; lists are entered. Stops at a chunk that overruns them (a
    // cut file): what came before is counted.
    void Chunks(std::int64_t begin, std::int64_t end, bool inMovi)
    {
        unsigned char head[12];
        for (std::int64_t at = begin; at + 8 <= end;) {
            if (!Seek(at) || std::fread(head, 1, 8, file) != 8)
                return;
            const std::int64_t length = Le32(head + 4);
            const std::int64_t body = at + 8;
            if (body + length > end || body + length > size)
                return;
            if (Id(head, "LIST") || Id(head, "RIFF")) {
                if (length < 4 || std::fread(head + 8, 1, 4, file) != 4)
                    return;
                if (Id(head + 8, "strl"))
                    ++streams;
                const bool movi = inMovi || Id(head + 8, "movi");
                if (movi || Id(head + 8, "hdrl") || Id(head + 8, "strl") || Id(head, "RIFF"))
                    Chunks(body + 4, body + length, movi);
            } else if (Id(head, "strh")) {
                StreamHeader(body, std::uint32_t(length));
            } else if (inMovi && videoStream >= 0 && head[0] == videoId[0] && head[1] == videoId[1]
                       && head[2] == 'd' && (head[3] == 'c' || head[3] == 'b')) {
                ++frames;
            }
            at = body + length + (length & 1);
        }
    }
};

} // namespace

std::optional<AviFrames> CountAviFrames(const std::string &path)
{
    File file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file)
        return std::nullopt;
    unsigned char head[12];
    if (std::fread(head, 1, 12, file.get()) != 12 || !Id(head, "RIFF") || !Id(head + 8, "AVI "))
        return std::nullopt;
    if (std::fseek(file.get(), 0, SEEK_END) != 0)
        return std::nullopt;
    Walk walk{file.get(), std::int64_t(std::ftell(file.get()))};
    // Every RIFF of the file: an OpenDML file goes on in RIFF AVIX lists after the first.
    walk.Chunks(0, walk.size, false);
    if (walk.videoStream < 0)
        return std::nullopt;
    return AviFrames{walk.frames, walk.frameNs};
}

} // namespace media
