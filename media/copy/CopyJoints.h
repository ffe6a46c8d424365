#pragma once

#include <gst/gst.h>

#include <string>
#include <vector>

// Where a section copy joins re-encoded and copied pictures, worked out from the source's
// packets before the graph is built. Packet indices count the source's picture packets in
// decode order from its first; times are ns of the source's stream time.
namespace media {

struct CopyJoints
{
    std::string videoCaps; // the source's parsed caps
    std::string audioCaps;
    bool exact = false;
    gint64 seekTarget = -1; // where the source is read from (see MarkSeek); -1 from its start
    std::string encoder;    // the head's and tail's encoder factory; empty on the key-frame path
    gint64 origin = 0;      // stream time written as 0 (the mark, or the key frame before it)
    gint64 end = 0;         // the end mark

    // The head: packets [headFeedFrom, headFeedEnd) are decoded, pictures [origin, headUntil)
    // re-encoded. Empty when the mark is a key frame.
    std::size_t headFeedFrom = 0;
    std::size_t headFeedEnd = 0;
    gint64 headUntil = 0;
    // Packets [copyFrom, copyEnd) are copied, except open-GOP leading pictures (presented
    // before the key frame they follow), which are dropped.
    std::size_t copyFrom = 0;
    std::size_t copyEnd = 0;
    gint64 dropBefore = -1;
    // Presentation time of each packet in [copyFrom, copyEnd) (from the scan, which fills in
    // what the source leaves unstamped); -1 for one that is dropped.
    std::vector<gint64> copyTimes;
    // The tail: packets [tailFeedFrom, feedEnd) are decoded, pictures [tailFrom, end)
    // re-encoded. None when tailFrom >= end.
    std::size_t tailFeedFrom = 0;
    std::size_t feedEnd = 0;
    gint64 tailFrom = 0;

    // Decode times of the written picture packets in their order (stream time); the same
    // shift for every packet keeps each at or before its presentation.
    std::vector<gint64> decodeTimes;
    gint64 frameDuration = 0;

    int headFrames = 0;
    int copiedFrames = 0;
    int tailFrames = 0;
    int framesAfterEnd = 0; // key-frame path: pictures at or after the end kept for the ones before

    gint64 audioFrom = -1; // presentation time of the first sound packet copied

    bool HasHead() const { return headUntil > origin; }
    bool HasTail() const { return tailFrom < end && feedEnd > tailFeedFrom; }
};

// The encoder that can write a head in the codec of caps, when one is installed; empty if not.
std::string HeadEncoderFor(const std::string &caps);

} // namespace media
