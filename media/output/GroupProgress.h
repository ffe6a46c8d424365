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
};

// The pipeline's progress, made on first use and freed with the pipeline.
GroupProgress *ProgressOf(GstElement *pipeline);

// Holds a group where it is and lets end-of-stream run down its branch.
void EndGroup(GstPad *pad);

// Follows a group pad's progress, ends the group at the end of the edit when its source sends
// no end-of-stream, and keeps the pad for a stop.
void WatchGroup(GstElement *pipeline, GstPad *pad);

} // namespace media
