#pragma once

#include <gst/gst.h>

namespace media {

// Whether any pad in bin (at any depth) has a streaming task that is running. A graph playing
// with none left does nothing more: its sources ended or failed, and a bin that swallowed the
// failure (parsebin drops a demuxer's error while it is still plugging it) posts nothing.
bool AnyStreamingTaskRunning(GstElement *bin);

// Pops the first message of types from the graph's bus; null once the graph has had no running
// streaming task for two checks in a row (a quarter of a second apart) with no such message.
GstMessage *PopUnlessStalled(GstElement *pipeline, GstMessageType types);

} // namespace media
