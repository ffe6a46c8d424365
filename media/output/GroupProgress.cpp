#include "media/output/GroupProgress.h"

#include <algorithm>
#include <optional>

namespace media {

namespace {

const char *const kProgressKey = "cw-progress";

// One group pad: how far it has come, and whether it reached the end of its segment.
struct GroupWatch
{
    GroupProgress *progress;
    GstElement *pipeline; // not owned: the pipeline owns the pad this watch sits on
    GstClockTime stop = GST_CLOCK_TIME_NONE;
    std::atomic<bool> ended{false};
};

GstPadProbeReturn OnGroupData(GstPad *pad, GstPadProbeInfo *info, gpointer data)
{
    auto *watch = static_cast<GroupWatch *>(data);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
            const GstSegment *segment = nullptr;
            gst_event_parse_segment(event, &segment);
            if (segment->format == GST_FORMAT_TIME)
                watch->stop = segment->stop;
        }
        return GST_PAD_PROBE_OK;
    }
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer || !GST_BUFFER_PTS_IS_VALID(buffer))
        return GST_PAD_PROBE_OK;
    gint64 end = GST_BUFFER_PTS(buffer);
    if (GST_BUFFER_DURATION_IS_VALID(buffer))
        end += GST_BUFFER_DURATION(buffer);
    GroupProgress *progress = watch->progress;
    gint64 seen = progress->end.load();
    while (end > seen && !progress->end.compare_exchange_weak(seen, end)) {
    }
    // Some sources (MPEG-TS among them) never send end-of-stream through the timeline once
    // their span is played; the group ends with the last buffer of its segment anyway.
    // Only the segment that closes the edit counts, not one of a clip in the middle.
    const gint64 length = progress->editLength.load();
    if (length > 0 && GST_CLOCK_TIME_IS_VALID(watch->stop)
        && gint64(watch->stop) + 100 * GST_MSECOND >= length
        && end + GST_MSECOND >= gint64(watch->stop) && !watch->ended.exchange(true)) {
        gst_element_call_async(
            watch->pipeline, [](GstElement *, gpointer p) { EndGroup(static_cast<GstPad *>(p)); },
            gst_object_ref(pad), gst_object_unref);
    }
    return GST_PAD_PROBE_OK;
}

// One stream entering the writer.
struct WriterWatch
{
    GroupProgress *progress;
    std::size_t index;
    GstSegment segment;
    bool haveSegment = false;
};

GstPadProbeReturn OnWriterInput(GstPad *, GstPadProbeInfo *info, gpointer data)
{
    auto *watch = static_cast<WriterWatch *>(data);
    GroupProgress *progress = watch->progress;
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
            const GstSegment *segment = nullptr;
            gst_event_parse_segment(event, &segment);
            if (segment->format == GST_FORMAT_TIME) {
                gst_segment_copy_into(segment, &watch->segment);
                watch->haveSegment = true;
            }
        } else if (GST_EVENT_TYPE(event) == GST_EVENT_EOS) {
            std::lock_guard lock(progress->mutex);
            progress->writtenEnded[watch->index] = true;
        }
        return GST_PAD_PROBE_OK;
    }
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer || !watch->haveSegment || !GST_BUFFER_PTS_IS_VALID(buffer))
        return GST_PAD_PROBE_OK;
    GstClockTime end = GST_BUFFER_PTS(buffer);
    if (GST_BUFFER_DURATION_IS_VALID(buffer))
        end += GST_BUFFER_DURATION(buffer);
    guint64 running = 0;
    if (gst_segment_to_running_time_full(&watch->segment, GST_FORMAT_TIME, end, &running) <= 0)
        return GST_PAD_PROBE_OK;
    std::lock_guard lock(progress->mutex);
    gint64 &written = progress->written[watch->index];
    written = std::max<gint64>(written, gint64(running));
    return GST_PAD_PROBE_OK;
}

} // namespace

GroupProgress *ProgressOf(GstElement *pipeline)
{
    auto *progress
        = static_cast<GroupProgress *>(g_object_get_data(G_OBJECT(pipeline), kProgressKey));
    if (!progress) {
        progress = new GroupProgress;
        g_object_set_data_full(G_OBJECT(pipeline), kProgressKey, progress,
                               [](gpointer p) { delete static_cast<GroupProgress *>(p); });
    }
    return progress;
}

void EndGroup(GstPad *pad)
{
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BLOCK_DOWNSTREAM,
        [](GstPad *, GstPadProbeInfo *, gpointer) { return GST_PAD_PROBE_OK; }, nullptr, nullptr);
    gst::Pad peer(gst_pad_get_peer(pad));
    if (peer)
        gst_pad_send_event(peer.get(), gst_event_new_eos());
}

void WatchGroup(GstElement *pipeline, GstPad *pad)
{
    GroupProgress *progress = ProgressOf(pipeline);
    auto *watch = new GroupWatch{progress, pipeline};
    gst_pad_add_probe(
        pad, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
        OnGroupData, watch, [](gpointer p) { delete static_cast<GroupWatch *>(p); });
    std::lock_guard lock(progress->mutex);
    progress->groupPads.push_back(gst::Ref(pad));
}

void WatchWriterInput(GstElement *pipeline, GstPad *pad)
{
    GroupProgress *progress = ProgressOf(pipeline);
    auto *watch = new WriterWatch{progress, 0, {}, false};
    {
        std::lock_guard lock(progress->mutex);
        watch->index = progress->written.size();
        progress->written.push_back(0);
        progress->writtenEnded.push_back(false);
    }
    gst_pad_add_probe(
        pad, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
        OnWriterInput, watch, [](gpointer p) { delete static_cast<WriterWatch *>(p); });
}

gint64 WrittenTime(GroupProgress *progress)
{
    std::lock_guard lock(progress->mutex);
    std::optional<gint64> least;
    for (std::size_t i = 0; i < progress->written.size(); ++i)
        if (!progress->writtenEnded[i])
            least = std::min(least.value_or(progress->written[i]), progress->written[i]);
    if (least)
        return *least;
    gint64 all = progress->editLength.load();
    for (gint64 w : progress->written)
        all = std::max(all, w);
    return all;
}

} // namespace media
