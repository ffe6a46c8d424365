#include "media/elements/RunningTime.h"

#include <gst/audio/audio.h>

namespace media {

namespace {

struct Stamper
{
    StreamKind kind;
    GstSegment segment;
    bool haveSegment = false;
    GstAudioInfo audio;
    bool haveAudio = false;
};

// Takes the buffer; returns it in running time, or nullptr when nothing of it lies in the
// segment.
GstBuffer *ToRunningTime(Stamper *s, GstBuffer *buffer)
{
    if (!s->haveSegment || s->segment.format != GST_FORMAT_TIME || !GST_BUFFER_PTS_IS_VALID(buffer))
        return buffer;
    if (s->kind == StreamKind::Audio && s->haveAudio) {
        buffer = gst_audio_buffer_clip(buffer, &s->segment, GST_AUDIO_INFO_RATE(&s->audio),
                                       GST_AUDIO_INFO_BPF(&s->audio));
        if (!buffer)
            return nullptr;
    }
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    const GstClockTime duration = GST_BUFFER_DURATION(buffer);
    const GstClockTime end
        = GST_CLOCK_TIME_IS_VALID(duration) ? pts + duration : GST_CLOCK_TIME_NONE;
    guint64 start = 0;
    guint64 stop = 0;
    if (!gst_segment_clip(&s->segment, GST_FORMAT_TIME, pts, end, &start, &stop)) {
        gst_buffer_unref(buffer);
        return nullptr;
    }
    const GstClockTime running = gst_segment_to_running_time(&s->segment, GST_FORMAT_TIME, start);
    if (!GST_CLOCK_TIME_IS_VALID(running)) {
        gst_buffer_unref(buffer);
        return nullptr;
    }
    buffer = gst_buffer_make_writable(buffer);
    GST_BUFFER_PTS(buffer) = running;
    // Raw media has no decoding order of its own.
    GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
    if (GST_CLOCK_TIME_IS_VALID(end) && GST_CLOCK_TIME_IS_VALID(stop)) {
        const GstClockTime runningEnd
            = gst_segment_to_running_time(&s->segment, GST_FORMAT_TIME, stop);
        if (GST_CLOCK_TIME_IS_VALID(runningEnd) && runningEnd >= running)
            GST_BUFFER_DURATION(buffer) = runningEnd - running;
    }
    return buffer;
}

GstEvent *SegmentFromZero(GstEvent *original)
{
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_TIME);
    GstEvent *event = gst_event_new_segment(&segment);
    gst_event_set_seqnum(event, gst_event_get_seqnum(original));
    return event;
}

// Returns the event to pass on (possibly the same), or nullptr to drop it. Takes the event.
GstEvent *EventInRunningTime(Stamper *s, GstEvent *event)
{
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_SEGMENT: {
        const GstSegment *segment = nullptr;
        gst_event_parse_segment(event, &segment);
        if (segment->format != GST_FORMAT_TIME) {
            s->haveSegment = false;
            return event;
        }
        gst_segment_copy_into(segment, &s->segment);
        s->haveSegment = true;
        GstEvent *replaced = SegmentFromZero(event);
        gst_event_unref(event);
        return replaced;
    }
    case GST_EVENT_CAPS:
        if (s->kind == StreamKind::Audio) {
            GstCaps *caps = nullptr;
            gst_event_parse_caps(event, &caps);
            s->haveAudio = gst_audio_info_from_caps(&s->audio, caps);
        }
        return event;
    case GST_EVENT_GAP: {
        if (!s->haveSegment)
            return event;
        GstClockTime timestamp = GST_CLOCK_TIME_NONE;
        GstClockTime duration = GST_CLOCK_TIME_NONE;
        gst_event_parse_gap(event, &timestamp, &duration);
        const GstClockTime end
            = GST_CLOCK_TIME_IS_VALID(duration) ? timestamp + duration : GST_CLOCK_TIME_NONE;
        guint64 start = 0;
        guint64 stop = 0;
        if (!gst_segment_clip(&s->segment, GST_FORMAT_TIME, timestamp, end, &start, &stop)) {
            gst_event_unref(event);
            return nullptr;
        }
        const GstClockTime running
            = gst_segment_to_running_time(&s->segment, GST_FORMAT_TIME, start);
        GstClockTime runningDuration = GST_CLOCK_TIME_NONE;
        if (GST_CLOCK_TIME_IS_VALID(end) && GST_CLOCK_TIME_IS_VALID(stop)) {
            const GstClockTime runningEnd
                = gst_segment_to_running_time(&s->segment, GST_FORMAT_TIME, stop);
            if (GST_CLOCK_TIME_IS_VALID(runningEnd) && runningEnd >= running)
                runningDuration = runningEnd - running;
        }
        GstEvent *replaced = gst_event_new_gap(running, runningDuration);
        gst_event_set_seqnum(replaced, gst_event_get_seqnum(event));
        gst_event_unref(event);
        return replaced;
    }
    default:
        return event;
    }
}

GstPadProbeReturn OnSinkData(GstPad *, GstPadProbeInfo *info, gpointer data)
{
    auto *s = static_cast<Stamper *>(data);
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
        GstBuffer *buffer = ToRunningTime(s, GST_PAD_PROBE_INFO_BUFFER(info));
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
        return buffer ? GST_PAD_PROBE_OK : GST_PAD_PROBE_HANDLED;
    }
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
        GstBufferList *list = gst_buffer_list_make_writable(GST_PAD_PROBE_INFO_BUFFER_LIST(info));
        gst_buffer_list_foreach(
            list,
            [](GstBuffer **buffer, guint, gpointer data) -> gboolean {
                *buffer = ToRunningTime(static_cast<Stamper *>(data), *buffer);
                return TRUE;
            },
            s);
        if (gst_buffer_list_length(list) == 0) {
            gst_buffer_list_unref(list);
            GST_PAD_PROBE_INFO_DATA(info) = nullptr;
            return GST_PAD_PROBE_HANDLED;
        }
        GST_PAD_PROBE_INFO_DATA(info) = list;
        return GST_PAD_PROBE_OK;
    }
    if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent *event = EventInRunningTime(s, GST_PAD_PROBE_INFO_EVENT(info));
        GST_PAD_PROBE_INFO_DATA(info) = event;
        return event ? GST_PAD_PROBE_OK : GST_PAD_PROBE_HANDLED;
    }
    return GST_PAD_PROBE_OK;
}

} // namespace

void StampInputInRunningTime(GstPad *sinkPad, StreamKind kind)
{
    auto *stamper = new Stamper{kind, {}, false, {}, false};
    gst_segment_init(&stamper->segment, GST_FORMAT_TIME);
    gst_audio_info_init(&stamper->audio);
    gst_pad_add_probe(sinkPad,
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST
                                      | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      OnSinkData, stamper,
                      [](gpointer data) { delete static_cast<Stamper *>(data); });
}

} // namespace media
