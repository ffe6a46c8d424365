#pragma once

#include <gst/gst.h>

namespace media {

// A decodebin that keeps streams without a decoder inside (as the editing services' sources and
// our playback graph make it) judges each decoder by what its output template promises, and
// turns away one that promises nothing in particular: the decoder bins that put two decoders
// together, VP8 and VP9 with an alpha channel among them, whose pictures it would play. Called
// for a uridecodebin or decodebin, it lets those decoders be tried like any other.
void AcceptDecodersOfAnyOutput(GstElement *decodebin);

} // namespace media
