#include "media/output/GroupProgress.h"

#include <gst/audio/audio.h>
#include <gst/video/video.h>

#include <algorithm>
#include <optional>

namespace media {

namespace {

const char *const kProgressKey = "cw-progress";

// The time segment a stream's buffers are stamped in, once one has come.
struct TimeSegment
{
    GstSegment segment{};
    bool known = false;

    // Takes the segment of a segment event in time; false for any other event.
    bool Take(GstEvent *event)
    {
        if (GST_EVENT_TYPE(event) != GST_EVENT_SEGMENT)
            return false;
        const GstSegment *given = nullptr;
        gst_event_parse_segment(event, &given);
        if (given->format != GST_FORMAT_TIME)
            return false;
        gst_segment_copy_into(given, &segment);
        known = true;
        return true;
    }

    // t as running time, the one clock all streams share; the sign as GStreamer gives it.
    int ToRunning(GstClockTime t, guint64 *running) const
    {
        return gst_segment_to_running_time_full(&segment, GST_FORMAT_TIME, t, running);
    }
};

// One group pad's watch: its state, its segment, and where that stops (running time).
struct GroupWatch
{
    GroupProgress *progress;
    GstElement *pipeline; // not owned: the pipeline owns the pad this watch sits on
    std::shared_ptr<GroupState> state;
    TimeSegment time;
    GstClockTime stop = GST_CLOCK_TIME_NONE;
};

// A time of the group's buffers as running time: a picture group cut from a mark may stamp its
// buffers from the mark on, its sound from zero.
gint64 RunningTime(const GroupWatch &watch, GstClockTime t)
{
    if (!watch.time.known)
        return gint64(t);
    guint64 running = 0;
    const int sign = watch.time.ToRunning(t, &running);
    return sign > 0 ? gint64(running) : sign < 0 ? -gint64(running) : gint64(t);
}

// Raw sound cut at time t (inside the buffer): the samples before it.
GstBuffer *CutSound(GstPad *pad, GstBuffer *buffer, GstClockTime t)
{
    gst::Caps caps(gst_pad_get_current_caps(pad));
    GstAudioInfo info;
    if (!caps || !gst_audio_info_from_caps(&info, caps.get()) || info.rate <= 0 || info.bpf <= 0
        || info.layout != GST_AUDIO_LAYOUT_INTERLEAVED)
        return buffer; // uncut: the sound then ends within one buffer of the others
    const guint64 keep
        = gst_util_uint64_scale_round(t - GST_BUFFER_PTS(buffer), info.rate, GST_SECOND);
    const gsize bytes = std::min<gsize>(keep * info.bpf, gst_buffer_get_size(buffer));
    GstBuffer *cut = gst_buffer_copy_region(buffer, GST_BUFFER_COPY_ALL, 0, bytes);
    GST_BUFFER_DURATION(cut) = t - GST_BUFFER_PTS(buffer);
    gst_buffer_unref(buffer);
    return cut;
}

bool IsSound(GstPad *pad)
{
    gst::Caps caps(gst_pad_get_current_caps(pad));
    return caps && gst_caps_get_size(caps.get()) > 0
           && g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)),
                               "audio/");
}

// Sends end-of-stream down the branch of a group pad and holds the group where it is, so its
// source does no more work. Only where nothing is on its way through the pad: on its streaming
// thread between two items, or once a push has ended.
void EndAndHold(GstPad *pad)
{
    gst::Pad peer(gst_pad_get_peer(pad));
    if (peer)
        gst_pad_send_event(peer.get(), gst_event_new_eos());
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BLOCK_DOWNSTREAM,
        [](GstPad *, GstPadProbeInfo *, gpointer) { return GST_PAD_PROBE_OK; }, nullptr, nullptr);
}

// Ends a group after the buffer now being let through: once that buffer has reached the
// branch (the pad is then busy with it), the end waits until its push is over.
void EndAfterThisBuffer(GstPad *pad)
{
    gst::Pad peer(gst_pad_get_peer(pad));
    if (!peer) {
        EndAndHold(pad);
        return;
    }
    gst_pad_add_probe(
        peer.get(), GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad *, GstPadProbeInfo *, gpointer data) {
            EndGroup(static_cast<GstPad *>(data));
            return GST_PAD_PROBE_REMOVE;
        },
        gst_object_ref(pad), gst_object_unref);
}

GstPadProbeReturn OnGroupEvent(GstPadProbeInfo *info, GroupWatch *watch)
{
    GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
    if (watch->time.Take(event)) {
        const GstClockTime stop = watch->time.segment.stop;
        watch->stop = GST_CLOCK_TIME_IS_VALID(stop) ? GstClockTime(RunningTime(*watch, stop))
                                                    : GST_CLOCK_TIME_NONE;
    } else if (GST_EVENT_TYPE(event) == GST_EVENT_EOS) {
        // The group's own end: its source has nothing more.
        std::lock_guard lock(watch->progress->mutex);
        watch->state->ended = true;
        watch->state->sourceEnd = watch->state->position;
    }
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn OnGroupData(GstPad *pad, GstPadProbeInfo *info, gpointer data)
{
    auto *watch = static_cast<GroupWatch *>(data);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM)
        return OnGroupEvent(info, watch);
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer || !GST_BUFFER_PTS_IS_VALID(buffer))
        return GST_PAD_PROBE_OK;
    GroupProgress *progress = watch->progress;
    GroupState &state = *watch->state;
    std::unique_lock lock(progress->mutex);
    if (state.ended)
        return GST_PAD_PROBE_DROP;
    GstClockTime pts = GST_BUFFER_PTS(buffer);
    const gint64 start = RunningTime(*watch, pts);
    gint64 end = RunningTime(
        *watch, GST_BUFFER_DURATION_IS_VALID(buffer) ? pts + GST_BUFFER_DURATION(buffer) : pts);
    const gint64 pictureEnd = progress->pictureEnd.load();
    if (pictureEnd >= 0 && end - (end - start) / 2 > pictureEnd && !IsSound(pad)) {
        // A picture more than half past the source's last one repeats it: the group ends, as
        // if its source had.
        state.ended = true;
        state.sourceEnd = state.position;
        lock.unlock();
        EndAndHold(pad);
        return GST_PAD_PROBE_DROP;
    }
    if (progress->cut >= 0) {
        // A stop: this group ends where the others do.
        if (start >= progress->cut) {
            // Everything before this buffer has been pushed: the end follows it directly.
            state.ended = true;
            lock.unlock();
            EndAndHold(pad);
            return GST_PAD_PROBE_DROP;
        }
        if (end > progress->cut && IsSound(pad)) {
            buffer = CutSound(pad, buffer, pts + GstClockTime(progress->cut - start));
            GST_PAD_PROBE_INFO_DATA(info) = buffer;
            end = progress->cut;
        }
    }
    state.position = std::max(state.position, end);
    gint64 seen = progress->end.load();
    while (end > seen && !progress->end.compare_exchange_weak(seen, end)) {
    }
    // Some sources (MPEG-TS among them) never send end-of-stream through the timeline once
    // their span is played; the group ends with the last buffer of its segment anyway.
    // Only the segment that closes the edit counts, not one of a clip in the middle.
    const gint64 length = progress->editLength.load();
    if (length > 0 && GST_CLOCK_TIME_IS_VALID(watch->stop)
        && gint64(watch->stop) + 100 * GST_MSECOND >= length
        && end + GST_MSECOND >= gint64(watch->stop) && !state.ended) {
        state.ended = true;
        lock.unlock();
        EndAfterThisBuffer(pad);
    }
    return GST_PAD_PROBE_OK;
}

// One stream entering the writer.
struct WriterWatch
{
    GroupProgress *progress;
    std::size_t index;
    TimeSegment time;
};

GstPadProbeReturn OnWriterInput(GstPad *, GstPadProbeInfo *info, gpointer data)
{
    auto *watch = static_cast<WriterWatch *>(data);
    GroupProgress *progress = watch->progress;
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
        if (!watch->time.Take(event) && GST_EVENT_TYPE(event) == GST_EVENT_EOS) {
            std::lock_guard lock(progress->mutex);
            progress->writtenEnded[watch->index] = true;
        }
        return GST_PAD_PROBE_OK;
    }
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer || !watch->time.known || !GST_BUFFER_PTS_IS_VALID(buffer))
        return GST_PAD_PROBE_OK;
    GstClockTime end = GST_BUFFER_PTS(buffer);
    if (GST_BUFFER_DURATION_IS_VALID(buffer))
        end += GST_BUFFER_DURATION(buffer);
    guint64 running = 0;
    if (watch->time.ToRunning(end, &running) <= 0)
        return GST_PAD_PROBE_OK;
    std::lock_guard lock(progress->mutex);
    gint64 &written = progress->written[watch->index];
    written = std::max<gint64>(written, gint64(running));
    return GST_PAD_PROBE_OK;
}

// The video's frame rate among the groups, 0/1 when none is known.
void VideoRate(const GroupProgress &progress, int *num, int *den)
{
    *num = 0;
    *den = 1;
    for (const auto &group : progress.groups) {
        gst::Caps caps(gst_pad_get_current_caps(group->pad.get()));
        if (!caps || gst_caps_get_size(caps.get()) == 0)
            continue;
        const GstStructure *s = gst_caps_get_structure(caps.get(), 0);
        if (g_str_has_prefix(gst_structure_get_name(s), "video/")
            && gst_structure_get_fraction(s, "framerate", num, den) && *num > 0 && *den > 0)
            return;
        *num = 0;
        *den = 1;
    }
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
    // When nothing is on its way through the pad (at once, or when the push under way is over).
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_IDLE,
        [](GstPad *pad, GstPadProbeInfo *, gpointer) {
            EndAndHold(pad);
            return GST_PAD_PROBE_REMOVE;
        },
        nullptr, nullptr);
}

void WatchGroup(GstElement *pipeline, GstPad *pad)
{
    GroupProgress *progress = ProgressOf(pipeline);
    auto state = std::make_shared<GroupState>();
    state->pad = gst::Ref(pad);
    auto *watch = new GroupWatch{progress, pipeline, state, {}, GST_CLOCK_TIME_NONE};
    {
        std::lock_guard lock(progress->mutex);
        progress->groups.push_back(state);
    }
    gst_pad_add_probe(
        pad, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
        OnGroupData, watch, [](gpointer p) { delete static_cast<GroupWatch *>(p); });
}

gint64 CutGroups(GroupProgress &progress)
{
    gint64 cut = 0;
    {
        std::lock_guard lock(progress.mutex);
        for (const auto &group : progress.groups)
            cut = std::max(cut, group->position);
        int num = 0, den = 1;
        VideoRate(progress, &num, &den);
        if (num > 0) {
            // The first frame boundary at or after the furthest group.
            const guint64 frames = gst_util_uint64_scale_ceil(cut, num, GST_SECOND * guint64(den));
            cut = gint64(gst_util_uint64_scale(frames, GST_SECOND * guint64(den), num));
        }
        const gint64 length = progress.editLength.load();
        if (length > 0)
            cut = std::min(cut, length);
        // Each group ends at its next buffer at or after the cut, on its own streaming thread,
        // so nothing it let through before is lost.
        progress.cut = cut;
    }
    return cut;
}

void WatchWriterInput(GstElement *pipeline, GstPad *pad)
{
    GroupProgress *progress = ProgressOf(pipeline);
    auto *watch = new WriterWatch{progress, 0, {}};
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
