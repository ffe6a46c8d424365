#pragma once

#include "media/core/GstHandles.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

// How far the groups of a conversion graph have come, kept on its pipeline: the graph builder
// watches each group pad, the running graph reads the position and ends the groups on a stop.
namespace media {

// One group pad. Guarded by GroupProgress::mutex.
struct GroupState
{
    gst::Pad pad;
    gint64 position = 0;   // ns: end of the last buffer let through
    bool ended = false;    // end-of-stream sent, or on its way
    gint64 sourceEnd = -1; // ns: where the group's source ended by itself; -1 while it did not
};

struct GroupProgress
{
    GroupProgress() = default;
    GroupProgress(const GroupProgress &) = delete;
    GroupProgress &operator=(const GroupProgress &) = delete;
    // Each pad's own watch holds its state, so a pad kept there would keep itself, its stream's
    // events and its branch alive for good: one whole timeline output per converted file.
    ~GroupProgress()
    {
        for (const auto &group : groups)
            group->pad.reset();
    }

    std::atomic<gint64> end{0};
    std::atomic<gint64> editLength{0}; // ns; 0 unknown
    std::mutex mutex;
    std::vector<std::shared_ptr<GroupState>> groups;
    gint64 cut = -1; // ns: where a stop ends every group; -1 while none was asked
    // ns: where a source's picture ended short of a length its file only claimed; the picture
    // group ends there instead of repeating its last picture. -1 while none did.
    std::atomic<gint64> pictureEnd{-1};
    // Running time that reached the writer, per stream (under mutex); an ended stream counts
    // as done.
    std::vector<gint64> written;
    std::vector<bool> writtenEnded;
};

// The pipeline's progress, made on first use and freed with the pipeline.
GroupProgress *ProgressOf(GstElement *pipeline);

// Lets end-of-stream run down a group's branch once nothing is on its way through its pad, and
// holds the group where it is.
void EndGroup(GstPad *pad);

// Follows a group pad's progress, ends the group at the end of the edit when its source sends
// no end-of-stream, and keeps the pad for a stop.
void WatchGroup(GstElement *pipeline, GstPad *pad);

// Follows the running time a stream hands to the writer from pad (the pad linked to the muxer).
void WatchWriterInput(GstElement *pipeline, GstPad *pad);
// How far every stream has reached the writer: the least of them, ns; 0 before each stream
// has delivered; the edit's length once all have ended.
gint64 WrittenTime(GroupProgress *progress);

// A stop: every group ends at the same time, the furthest group's position rounded up to the
// video's frame grid (never past the edit). Each group ends at its first buffer at or after it
// (groups behind run on to it), and sound is cut at it to the sample, so all streams end within
// a frame of each other. Returns that time in ns.
gint64 CutGroups(GroupProgress &progress);

} // namespace media
