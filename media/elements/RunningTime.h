#pragma once

#include <gst/gst.h>

namespace media {

// What the input of an encoder carries: whole pictures, or sample frames that may be cut at the
// segment's edges.
enum class StreamKind { Video, Audio };

// Makes everything arriving at an encoder's sink pad count in running time: each segment is
// replaced by one that starts at 0 and every time stamp (buffers and gaps) is turned into the
// running time of the segment it arrived in. Data outside the segment is dropped; sound is cut
// at the segment's edges. So the encoder stamps its output from 0 whatever segment its input
// had, and muxers see one continuous stream.
void StampInputInRunningTime(GstPad *sinkPad, StreamKind kind);

} // namespace media
