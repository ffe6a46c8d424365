#pragma once

#include "media/core/GstHandles.h"

#include <atomic>
#include <mutex>
#include <vector>

// How far the groups of a conversion graph have come, kept on its pipeline: the graph builder
// watches each group pad, the running graph reads the position and ends the groups on a stop.
namespace media {

struct GroupProgress
{
    std::atomic<gint64> end{0};
    std::atomic<gint64> editLength{0}; // ns; 0 unknown
    std::mutex mutex;
    std::vector<gst::Pad> groupPads;
    // Running time that reached the writer, per stream (under mutex); an ended stream counts
    // as done.
    std::vector<gint64> written;
    std::vector<bool> writtenEnded;
};

// The pipeline's progress, made on first use and freed with the pipeline.
GroupProgress *ProgressOf(GstElement *pipeline);

// Holds a group where it is and lets end-of-stream run down its branch.
void EndGroup(GstPad *pad);

// Follows a group pad's progress, ends the group at the end of the edit when its source sends
// no end-of-stream, and keeps the pad for a stop.
void WatchGroup(GstElement *pipeline, GstPad *pad);

// Follows the running time a stream hands to the writer from pad (the pad linked to the muxer).
void WatchWriterInput(GstElement *pipeline, GstPad *pad);
// How far every stream has reached the writer: the least of them, ns; 0 before each stream
// has delivered; the edit's length once all have ended.
gint64 WrittenTime(GroupProgress *progress);

} // namespace media
