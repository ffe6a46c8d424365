#pragma once

#include <gst/gst.h>

// cwmux_ogg: our Ogg writer over libogg, on GstAggregator. Request pads video_%u (Theora, VP8)
// and audio_%u (Vorbis, Opus, FLAC, Speex); application/ogg out. Every packet it is handed
// reaches the file: each stream keeps its newest packet back until the next one or its end
// arrives, so the true last packet is marked as the stream's end and flushed with its page.
// Pages are flushed before a key frame of the picture (a seek lands on a page that starts with
// one) and once they span "max-delay" (500 ms by default), which keeps the streams interleaved.
namespace media {

inline constexpr char kOggWriterFactory[] = "cwmux_ogg";

// Registers cwmux_ogg into plugin; false when that failed.
bool RegisterOggWriter(GstPlugin *plugin);

} // namespace media
