#pragma once

#include <gst/gst.h>

namespace media {

// A decodebin that keeps streams without a decoder inside (as the editing services' sources and
// our playback graph make it) judges each stream's decoders by what their output templates
// promise, and turns the whole stream away when one of them promises nothing in particular: the
// alpha decoder bins of VP8 and VP9 with an alpha channel do, so such files were refused though
// a plain decoder plays them. Called for a uridecodebin or decodebin, it lets the stream through
// and has it decoded by the plain decoder: every picture here is shown or written opaque, and
// the alpha bin's joining of two decoders could stall at the first seek.
void DecodeWithoutAlphaBins(GstElement *decodebin);

} // namespace media
