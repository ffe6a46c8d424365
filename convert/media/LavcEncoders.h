#pragma once

#include <gst/gst.h>

// Registration of the libavcodec encoder element families into one plugin.
namespace media::lavc {

bool RegisterVideoEncoders(GstPlugin *plugin);
bool RegisterAudioEncoders(GstPlugin *plugin);

} // namespace media::lavc
