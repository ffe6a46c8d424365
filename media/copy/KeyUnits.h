#pragma once

#include <gst/gst.h>

// Whether a key frame of H.264 or H.265 starts a clean decode: an H.264 IDR picture, an H.265
// random access point. Open groups of H.264 pictures mark recovery-point I pictures as key
// frames too, but the pictures around them refer across them: measured, a copy joined there
// lost 23 of 60 pictures and ffmpeg reported "mmco: unref short failure".
namespace media {

struct NalFormat
{
    int codec = 0;      // 264, 265, or 0 for any other codec (every key frame is clean)
    int lengthSize = 0; // bytes of each unit's length prefix; 0 for start codes (byte-stream)
};

// The format of parsed caps.
NalFormat NalFormatOf(const GstCaps *caps);

// Whether a key frame's packet starts cleanly (always true for other codecs).
bool StartsCleanly(const NalFormat &format, GstBuffer *buffer);

} // namespace media
