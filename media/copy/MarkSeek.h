#pragma once

#include "media/core/GstHandles.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

// Reading a source from the key frame before a mark instead of from its start: one seek, the
// same for the scan and for the copy, so both see the same packets. The first packet on a
// watched pad sends it and waits until it has started, so the demuxer cannot run ahead (to its
// end, in a short file) first; what comes before the seek has taken effect is dropped.
namespace media {

// Marks closer to the start than this are read from the start.
constexpr gint64 kSeekFrom = 5 * GST_SECOND;

struct MarkSeek
{
    gint64 target = -1; // stream time, ns; -1: no seek
    std::atomic<bool> sent{false};
    std::mutex mutex;
    std::condition_variable changed;
    bool flushing = false; // the seek has begun (its flush came through)
    bool failed = false;   // the demuxer refused it
};

// One pad's view of the seek; items on the pad pass through it before anything else.
class SeekGate
{
public:
    void Open() { m_live = true; }
    // Whether the item passes: nothing does until the segment after the seek's flush; the
    // flush itself never does (it must not reach the writer). A packet before that sends the
    // seek (through pad) and waits for it to begin.
    bool Passes(GstPad *pad, GstPadProbeInfo *info, const std::shared_ptr<MarkSeek> &seek);

private:
    std::atomic<bool> m_live{false};
    std::atomic<bool> m_flushed{false};
};

// Sends the seek upstream through pad on a thread of its own, once.
void SendMarkSeek(GstPad *pad, const std::shared_ptr<MarkSeek> &seek);

} // namespace media
