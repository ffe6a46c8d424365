#pragma once

#include <string>

typedef struct _GstElement GstElement;

// Whether the input files of a conversion graph deliver what the timeline asks of them. A file
// whose every stream ends before the end of its clip (cut short, or cut while it is read) is a
// failure of the graph: an error naming the file and the time it reached is posted on the
// pipeline's bus. Without this the video track would repeat the last picture to the end and the
// conversion would look complete. So is a stretch in the middle that a decoder gives nothing for
// (data it cannot decode), once a stream's stretches add up to more than a few frames.
namespace media {

// Watches the decoders of the timeline's clips in pipeline, those there now and those added
// later. Call before the graph runs.
void WatchSources(GstElement *pipeline);

// A file whose header states a longer length than its streams hold (a number only, no index of
// its frames) is no failure: what it holds is converted, each stream to its own end, and this
// says so; empty when nothing needs saying.
std::string SourceNote(GstElement *pipeline);

} // namespace media
