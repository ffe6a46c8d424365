#include "media/output/EncoderRestamp.h"

#include "media/core/GstHandles.h"

namespace media {

namespace {

// The segment the encoder's output arrived in, once one has.
struct Restamp
{
    GstSegment segment;
    bool have = false;
};

GstClockTime ToRunning(const GstSegment &segment, GstClockTime t)
{
    if (!GST_CLOCK_TIME_IS_VALID(t))
        return t;
    guint64 running = 0;
    int sign = gst_segment_to_running_time_full(&segment, GST_FORMAT_TIME, t, &running);
    return sign > 0 ? running : 0;
}

GstPadProbeReturn OnEncoderOutput(GstPad *, GstPadProbeInfo *info, gpointer data)
{
    auto *state = static_cast<Restamp *>(data);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) != GST_EVENT_SEGMENT)
            return GST_PAD_PROBE_OK;
        const GstSegment *segment = nullptr;
        gst_event_parse_segment(event, &segment);
        if (segment->format != GST_FORMAT_TIME)
            return GST_PAD_PROBE_OK;
        gst_segment_copy_into(segment, &state->segment);
        state->have = true;
        ReplaceWithSegmentFromZero(info, event);
        return GST_PAD_PROBE_OK;
    }
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer || !state->have)
        return GST_PAD_PROBE_OK;
    buffer = gst_buffer_make_writable(buffer);
    GST_BUFFER_PTS(buffer) = ToRunning(state->segment, GST_BUFFER_PTS(buffer));
    GST_BUFFER_DTS(buffer) = ToRunning(state->segment, GST_BUFFER_DTS(buffer));
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    return GST_PAD_PROBE_OK;
}

} // namespace

void RestampOutput(GstElement *encoder)
{
    gst::Pad src(gst_element_get_static_pad(encoder, "src"));
    if (!src)
        return;
    gst_pad_add_probe(
        src.get(), GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
        OnEncoderOutput, new Restamp, [](gpointer p) { delete static_cast<Restamp *>(p); });
}

void ReplaceWithSegmentFromZero(GstPadProbeInfo *info, GstEvent *event)
{
    GstSegment fromZero;
    gst_segment_init(&fromZero, GST_FORMAT_TIME);
    GstEvent *replacement = gst_event_new_segment(&fromZero);
    gst_event_set_seqnum(replacement, gst_event_get_seqnum(event));
    gst_event_unref(event);
    GST_PAD_PROBE_INFO_DATA(info) = replacement;
}

} // namespace media
