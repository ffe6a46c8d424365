#pragma once

#include <gst/gst.h>

namespace media {

// Turns everything the encoder puts out into running time, with one segment from 0: the libav
// encoders stamp from 1000 hours on, and the ASF muxer writes stamps as they come.
void RestampOutput(GstElement *encoder);

// Puts a segment from 0, with the same sequence number, in place of event in info.
void ReplaceWithSegmentFromZero(GstPadProbeInfo *info, GstEvent *event);

} // namespace media
