#include "media/copy/MarkSeek.h"

#include "media/core/Diagnostics.h"

#include <thread>

#define GST_CAT_DEFAULT cw_copy_debug

namespace media {

namespace {

void Signal(MarkSeek &seek, bool failed)
{
    std::lock_guard lock(seek.mutex);
    (failed ? seek.failed : seek.flushing) = true;
    seek.changed.notify_all();
}

} // namespace

bool SeekGate::Passes(GstPad *pad, GstPadProbeInfo *info, const std::shared_ptr<MarkSeek> &seek)
{
    if (m_live)
        return true;
    if (!(GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_BOTH)) {
        SendMarkSeek(pad, seek);
        std::unique_lock lock(seek->mutex);
        seek->changed.wait(lock, [&] { return seek->flushing || seek->failed; });
        return false;
    }
    switch (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info))) {
    case GST_EVENT_FLUSH_START:
        Signal(*seek, false);
        return false;
    case GST_EVENT_FLUSH_STOP:
        m_flushed = true;
        return false;
    case GST_EVENT_SEGMENT:
        m_live = m_flushed.load();
        return m_live;
    case GST_EVENT_EOS: {
        // Only the end of a source that could not seek gets through.
        std::lock_guard lock(seek->mutex);
        m_live = seek->failed;
        return m_live;
    }
    default:
        return true;
    }
}

void SendMarkSeek(GstPad *pad, const std::shared_ptr<MarkSeek> &seek)
{
    if (!seek || seek->target < 0 || seek->sent.exchange(true))
        return;
    gst::Pad held(gst::Ref(pad));
    std::thread([held = std::move(held), seek] {
        // Measured: qtdemux now and then refuses a seek that comes with its first packets;
        // a moment later it takes it.
        bool ok = false;
        for (int attempt = 0; attempt < 50 && !ok; ++attempt) {
            if (attempt > 0)
                g_usleep(10000);
            ok = gst_pad_send_event(
                held.get(),
                gst_event_new_seek(1.0, GST_FORMAT_TIME,
                                   GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT
                                                | GST_SEEK_FLAG_SNAP_BEFORE),
                                   GST_SEEK_TYPE_SET, GstClockTime(seek->target),
                                   GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE));
            GST_INFO("seek to the key frame before %" GST_TIME_FORMAT ": %s",
                     GST_TIME_ARGS(seek->target), ok ? "done" : "refused");
        }
        if (!ok)
            Signal(*seek, true);
    }).detach();
}

} // namespace media
