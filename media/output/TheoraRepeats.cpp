#include "media/output/TheoraRepeats.h"

#include "media/core/GstHandles.h"

#include <gst/gst.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <mutex>
#include <optional>
#include <vector>

namespace media {

namespace {

// Bits written most significant first, as Theora packs them.
class BitWriter
{
public:
    void Put(std::uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            if (m_used % 8 == 0)
                m_bytes.push_back(0);
            if ((value >> i) & 1)
                m_bytes.back() |= std::uint8_t(0x80 >> (m_used % 8));
            ++m_used;
        }
    }
    std::vector<std::uint8_t> Take() { return std::move(m_bytes); }

private:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_used = 0;
};

// A run of count equal flags, coded as a long-run bit string whose first run is of zeros.
void PutZeroRuns(BitWriter &out, std::uint32_t count)
{
    constexpr std::uint32_t kLongest = 4129;
    out.Put(0, 1); // the flags' value
    while (count > 0) {
        const std::uint32_t run = std::min(count, kLongest);
        // Run-length codes: prefix, its length, extra bits, and the shortest run it codes.
        struct Code
        {
            std::uint32_t prefix;
            int bits, extra;
            std::uint32_t first;
        };
        static constexpr Code kCodes[]
            = {{0b0, 1, 0, 1},      {0b10, 2, 1, 2},      {0b110, 3, 1, 4},     {0b1110, 4, 2, 6},
               {0b11110, 5, 3, 10}, {0b111110, 6, 4, 18}, {0b111111, 6, 12, 34}};
        const Code *code = std::end(kCodes) - 1;
        while (run < code->first)
            --code;
        out.Put(code->prefix, code->bits);
        out.Put(run - code->first, code->extra);
        count -= run;
        // After a run of the longest length the next value is given, not implied.
        if (run == kLongest && count > 0)
            out.Put(0, 1);
    }
}

std::uint32_t SuperBlocks(std::uint32_t blocksWide, std::uint32_t blocksHigh)
{
    return ((blocksWide + 3) / 4) * ((blocksHigh + 3) / 4);
}

// The packet that repeats the picture before it, for the stream whose identification header
// is given, at quality index qi; empty when the header is not one.
std::optional<std::vector<std::uint8_t>> RepeatedPicturePacket(const std::uint8_t *header,
                                                               std::size_t size, int qi)
{
    if (!header || size < 42 || header[0] != 0x80 || std::memcmp(header + 1, "theora", 6) != 0)
        return std::nullopt;
    const bool moreQis = header[7] > 3 || (header[7] == 3 && header[8] >= 2);
    const std::uint32_t mbWide = std::uint32_t(header[10]) << 8 | header[11];
    const std::uint32_t mbHigh = std::uint32_t(header[12]) << 8 | header[13];
    const int pixelFormat = (header[41] >> 3) & 3;
    if (mbWide == 0 || mbHigh == 0 || pixelFormat == 1)
        return std::nullopt;
    // Luma blocks are 8x8 of the frame; chroma planes are halved across (4:2:0, 4:2:2) and
    // down (4:2:0).
    const std::uint32_t chromaWide = pixelFormat == 3 ? 2 * mbWide : mbWide;
    const std::uint32_t chromaHigh = pixelFormat == 0 ? mbHigh : 2 * mbHigh;
    const std::uint32_t superBlocks
        = SuperBlocks(2 * mbWide, 2 * mbHigh) + 2 * SuperBlocks(chromaWide, chromaHigh);

    BitWriter out;
    out.Put(0, 1);       // a data packet
    out.Put(1, 1);       // an inter frame
    out.Put(qi & 63, 6); // its one quality index
    if (moreQis)
        out.Put(0, 1);
    PutZeroRuns(out, superBlocks); // no super block partly coded...
    PutZeroRuns(out, superBlocks); // ...nor wholly: no block is coded
    out.Put(1, 3);                 // a mode scheme of fixed alphabet (no mode follows)
    out.Put(0, 1);                 // motion vectors coded by length (none follows)
    out.Put(0, 8);                 // DC tables, luma and chroma (no token follows)
    out.Put(0, 8);                 // AC tables, the same
    return out.Take();
}

struct RepeatState
{
    std::mutex mutex;
    std::vector<std::uint8_t> header; // the identification header
    int qi = 0;                       // of the last coded picture
};

GstPadProbeReturn OnCoded(GstPad *, GstPadProbeInfo *info, gpointer data)
{
    auto *state = static_cast<RepeatState *>(data);
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer)
        return GST_PAD_PROBE_OK;
    std::lock_guard lock(state->mutex);
    const gsize size = gst_buffer_get_size(buffer);
    if (size > 0) {
        std::uint8_t first[7] = {};
        gst_buffer_extract(buffer, 0, first, std::min<gsize>(size, sizeof first));
        if (first[0] == 0x80 && std::memcmp(first + 1, "theora", 6) == 0) {
            state->header.resize(size);
            gst_buffer_extract(buffer, 0, state->header.data(), size);
        } else if ((first[0] & 0x80) == 0) {
            state->qi = first[0] & 0x3F;
        }
        return GST_PAD_PROBE_OK;
    }
    auto packet = RepeatedPicturePacket(state->header.data(), state->header.size(), state->qi);
    if (!packet)
        return GST_PAD_PROBE_OK;
    GstBuffer *filled = gst_buffer_new_memdup(packet->data(), packet->size());
    gst_buffer_copy_into(filled, buffer, GST_BUFFER_COPY_METADATA, 0, -1);
    gst_buffer_unref(buffer);
    GST_PAD_PROBE_INFO_DATA(info) = filled;
    return GST_PAD_PROBE_OK;
}

} // namespace

void FillRepeatedPictures(GstElement *theoraEncoder)
{
    gst::Pad pad(gst_element_get_static_pad(theoraEncoder, "src"));
    if (!pad)
        return;
    gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, OnCoded, new RepeatState,
                      [](gpointer p) { delete static_cast<RepeatState *>(p); });
}

} // namespace media
