#include "media/copy/KeyUnits.h"

namespace media {

namespace {

bool IsIdrUnit(int codec, guint8 header)
{
    if (codec == 264)
        return (header & 0x1f) == 5;
    // H.265's random access points (BLA, IDR, CRA): its leading pictures are dropped from a
    // copy, and a CRA then starts a decode as cleanly as an IDR.
    const int type = (header >> 1) & 0x3f;
    return type >= 16 && type <= 21;
}

// Length-prefixed units (avc, hvc1/hev1).
bool PrefixedHasIdr(const NalFormat &format, const guint8 *data, gsize size)
{
    gsize at = 0;
    while (at + gsize(format.lengthSize) < size) {
        gsize length = 0;
        for (int i = 0; i < format.lengthSize; ++i)
            length = (length << 8) | data[at + i];
        at += gsize(format.lengthSize);
        if (length == 0 || at + length > size)
            return false;
        if (IsIdrUnit(format.codec, data[at]))
            return true;
        at += length;
    }
    return false;
}

// Units after 00 00 01 start codes (byte-stream).
bool StartCodedHasIdr(int codec, const guint8 *data, gsize size)
{
    for (gsize i = 0; i + 3 < size; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && IsIdrUnit(codec, data[i + 3]))
            return true;
    return false;
}

} // namespace

NalFormat NalFormatOf(const GstCaps *caps)
{
    NalFormat format;
    if (!caps || gst_caps_get_size(caps) == 0)
        return format;
    const GstStructure *s = gst_caps_get_structure(caps, 0);
    const bool avc = gst_structure_has_name(s, "video/x-h264");
    if (!avc && !gst_structure_has_name(s, "video/x-h265"))
        return format;
    format.codec = avc ? 264 : 265;
    const GValue *value = gst_structure_get_value(s, "codec_data");
    GstBuffer *config
        = value && G_VALUE_HOLDS(value, GST_TYPE_BUFFER) ? gst_value_get_buffer(value) : nullptr;
    const char *stream = gst_structure_get_string(s, "stream-format");
    if (!config || (stream && g_str_equal(stream, "byte-stream")))
        return format;
    // The length size sits in avcC's fifth byte and hvcC's twenty-second.
    const gsize at = avc ? 4 : 21;
    guint8 byte = 0;
    if (gst_buffer_extract(config, at, &byte, 1) == 1)
        format.lengthSize = (byte & 3) + 1;
    return format;
}

bool StartsCleanly(const NalFormat &format, GstBuffer *buffer)
{
    if (format.codec == 0)
        return true;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return false;
    const bool idr = format.lengthSize > 0 ? PrefixedHasIdr(format, map.data, map.size)
                                           : StartCodedHasIdr(format.codec, map.data, map.size);
    gst_buffer_unmap(buffer, &map);
    return idr;
}

} // namespace media
