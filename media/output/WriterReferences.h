#pragma once

#include <gst/gst.h>

namespace media {

// gst-libav's writers (avmux_*) take a reference to themselves for every caps event on an
// input and never give it back, so each writer, its format context and its inputs outlive the
// conversion: a batch grows by one of them per file. Where the installed plug-in does that
// (tried once, on a writer of its own), each such reference is given back right after the
// event. Any other element is left alone.
void MendWriterReferences(GstElement *muxer);

} // namespace media
