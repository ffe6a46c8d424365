#include "media/copy/CopyBranches.h"

#include "media/copy/PacketScan.h"
#include "media/core/Diagnostics.h"

#include <gst/app/gstappsrc.h>
#include <gst/audio/audio.h>

#include <algorithm>

#define GST_CAT_DEFAULT cw_copy_debug

namespace media {

namespace {

constexpr gint64 kSlack = GST_MSECOND;

void Feed(GstElement *source, GstBuffer *buffer)
{
    gst_app_src_push_buffer(GST_APP_SRC(source), gst_buffer_ref(buffer));
}

void EndSource(GstElement *source, bool *ended)
{
    if (!*ended && source)
        gst_app_src_end_of_stream(GST_APP_SRC(source));
    *ended = true;
}

void SetSourceCaps(GstElement *source, GstEvent *event)
{
    GstCaps *caps = nullptr;
    gst_event_parse_caps(event, &caps);
    if (source)
        gst_app_src_set_caps(GST_APP_SRC(source), caps);
}

// The picture packet of index i: to the head's and tail's decoders and/or the copy.
GstPadProbeReturn RoutePacket(CopyState *state, GstPadProbeInfo *info)
{
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    const CopyJoints &j = *state->joints;
    const std::size_t i = state->packet++;
    if (!state->headEnded && i >= j.headFeedFrom && i < j.headFeedEnd)
        Feed(state->headSource.get(), buffer);
    if (!state->headEnded && i + 1 >= j.headFeedEnd)
        EndSource(state->headSource.get(), &state->headEnded);
    if (!state->tailEnded && i >= j.tailFeedFrom && i < j.feedEnd)
        Feed(state->tailSource.get(), buffer);
    if (!state->tailEnded && i + 1 >= j.feedEnd)
        EndSource(state->tailSource.get(), &state->tailEnded);
    if (i >= j.copyFrom && i < j.copyEnd) {
        const gint64 pts = j.copyTimes[i - j.copyFrom];
        if (pts < 0)
            return GST_PAD_PROBE_DROP;
        if (!GST_BUFFER_PTS_IS_VALID(buffer)) {
            // Stamped with the scan's time, in the demuxer's segment.
            buffer = gst_buffer_make_writable(buffer);
            std::lock_guard segmentLock(state->segmentMutex);
            GST_BUFFER_PTS(buffer) = GstClockTime(pts + gint64(state->videoSegment.start)
                                                  - gint64(state->videoSegment.time));
            GST_PAD_PROBE_INFO_DATA(info) = buffer;
        }
        return GST_PAD_PROBE_OK;
    }
    if (i >= j.copyEnd && !state->copyEnded) {
        GST_INFO("copy ends before packet %zu", i);
        state->copyEnded = true;
        gst_pad_send_event(state->copyInput.get(), gst_event_new_eos());
    }
    // Once every part has what it needs, the demuxer learns that the picture is done.
    return state->copyEnded && state->headEnded && state->tailEnded ? GST_PAD_PROBE_OK
                                                                    : GST_PAD_PROBE_DROP;
}

GstPadProbeReturn OnPicturePad(GstPad *pad, GstPadProbeInfo *info, gpointer data)
{
    CopyState *state = static_cast<std::shared_ptr<CopyState> *>(data)->get();
    if (!state->videoGate.Passes(pad, info, state->seek))
        return GST_PAD_PROBE_DROP;
    std::lock_guard lock(state->mutex);
    if (!(GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_BOTH))
        return RoutePacket(state, info);
    GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_SEGMENT: {
        const GstSegment *segment = nullptr;
        gst_event_parse_segment(event, &segment);
        std::lock_guard segmentLock(state->segmentMutex);
        gst_segment_copy_into(segment, &state->videoSegment);
        break;
    }
    case GST_EVENT_CAPS:
        SetSourceCaps(state->headSource.get(), event);
        SetSourceCaps(state->tailSource.get(), event);
        break;
    case GST_EVENT_EOS:
        EndSource(state->headSource.get(), &state->headEnded);
        EndSource(state->tailSource.get(), &state->tailEnded);
        if (state->copyEnded)
            return GST_PAD_PROBE_DROP;
        state->copyEnded = true;
        break;
    default:
        break;
    }
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn OnSoundPacket(CopyState *state, GstBuffer *buffer)
{
    const CopyJoints &j = *state->joints;
    if (state->soundEnded)
        return GST_PAD_PROBE_OK;
    const gint64 pts = state->StreamTime(false, GST_BUFFER_PTS(buffer));
    // Encoded sound is decoded from a little earlier and cut to the sample later.
    const gint64 margin = state->soundSource ? 200 * GST_MSECOND : 0;
    if (pts < j.audioFrom - kSlack - margin)
        return GST_PAD_PROBE_DROP;
    if (pts >= j.end - kSlack + margin) {
        GST_DEBUG("sound ends before %" GST_STIME_FORMAT, GST_STIME_ARGS(pts));
        state->soundEnded = true;
        if (state->soundSource)
            gst_app_src_end_of_stream(GST_APP_SRC(state->soundSource.get()));
        gst_pad_send_event(state->soundInput.get(), gst_event_new_eos());
        return GST_PAD_PROBE_DROP;
    }
    if (!state->soundSource)
        return GST_PAD_PROBE_OK;
    Feed(state->soundSource.get(), buffer);
    return GST_PAD_PROBE_DROP;
}

GstPadProbeReturn OnSoundPad(GstPad *pad, GstPadProbeInfo *info, gpointer data)
{
    CopyState *state = static_cast<std::shared_ptr<CopyState> *>(data)->get();
    if (!state->audioGate.Passes(pad, info, state->seek))
        return GST_PAD_PROBE_DROP;
    std::lock_guard lock(state->mutex);
    if (!(GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_BOTH))
        return OnSoundPacket(state, GST_PAD_PROBE_INFO_BUFFER(info));
    GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
        const GstSegment *segment = nullptr;
        gst_event_parse_segment(event, &segment);
        std::lock_guard segmentLock(state->segmentMutex);
        gst_segment_copy_into(segment, &state->audioSegment);
    } else if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
        SetSourceCaps(state->soundSource.get(), event);
    } else if (GST_EVENT_TYPE(event) == GST_EVENT_EOS) {
        if (state->soundSource && !state->soundEnded)
            gst_app_src_end_of_stream(GST_APP_SRC(state->soundSource.get()));
        const bool ended = state->soundEnded;
        state->soundEnded = true;
        return ended ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
    }
    return GST_PAD_PROBE_OK;
}

// Sound samples of buffer presented in [from, to) of stream time; null when none are.
GstBuffer *ClipSound(GstPad *pad, GstBuffer *buffer, gint64 pts, gint64 from, gint64 to)
{
    gst::Caps caps(gst_pad_get_current_caps(pad));
    GstAudioInfo info;
    if (!caps || !gst_audio_info_from_caps(&info, caps.get()) || info.bpf <= 0 || info.rate <= 0)
        return buffer;
    const gint64 samples = gint64(gst_buffer_get_size(buffer)) / info.bpf;
    const gint64 head = std::min<gint64>(
        samples, gint64(gst_util_uint64_scale_round(guint64(std::max<gint64>(0, from - pts)),
                                                    info.rate, GST_SECOND)));
    const gint64 keep = std::min<gint64>(
        samples, gint64(gst_util_uint64_scale_round(guint64(std::max<gint64>(0, to - pts)),
                                                    info.rate, GST_SECOND)));
    if (keep <= head) {
        gst_buffer_unref(buffer);
        return nullptr;
    }
    if (head == 0 && keep == samples)
        return buffer;
    const GstClockTime start = GST_BUFFER_PTS(buffer);
    // Truncates interleaved and planar sound alike.
    buffer = gst_audio_buffer_truncate(buffer, info.bpf, gsize(head), gsize(keep - head));
    GST_BUFFER_PTS(buffer) = start + gst_util_uint64_scale(guint64(head), GST_SECOND, info.rate);
    GST_BUFFER_DURATION(buffer)
        = gst_util_uint64_scale(guint64(keep - head), GST_SECOND, info.rate);
    return buffer;
}

struct Trim
{
    std::shared_ptr<CopyState> state;
    gint64 from;
    gint64 to;
    bool sound;
};

GstPadProbeReturn OnDecoded(GstPad *pad, GstPadProbeInfo *info, gpointer data)
{
    auto *trim = static_cast<Trim *>(data);
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!GST_BUFFER_PTS_IS_VALID(buffer))
        return GST_PAD_PROBE_OK;
    const gint64 pts = trim->state->StreamTime(!trim->sound, GST_BUFFER_PTS(buffer));
    if (!trim->sound)
        return pts >= trim->from - kSlack && pts < trim->to - kSlack ? GST_PAD_PROBE_OK
                                                                     : GST_PAD_PROBE_DROP;
    buffer = ClipSound(pad, buffer, pts, trim->from, trim->to);
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    return buffer ? GST_PAD_PROBE_OK : GST_PAD_PROBE_HANDLED;
}

} // namespace

void TrimDecoded(GstPad *pad, const std::shared_ptr<CopyState> &state, gint64 from, gint64 to,
                 bool sound)
{
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, OnDecoded, new Trim{state, from, to, sound},
                      [](gpointer p) { delete static_cast<Trim *>(p); });
}

void RoutePictures(GstPad *pad, const std::shared_ptr<CopyState> &state)
{
    gst_pad_add_probe(pad,
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER
                                      | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM
                                      | GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      OnPicturePad, new std::shared_ptr<CopyState>(state),
                      [](gpointer p) { delete static_cast<std::shared_ptr<CopyState> *>(p); });
}

void WindowSound(GstPad *pad, const std::shared_ptr<CopyState> &state)
{
    gst_pad_add_probe(pad,
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER
                                      | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM
                                      | GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      OnSoundPad, new std::shared_ptr<CopyState>(state),
                      [](gpointer p) { delete static_cast<std::shared_ptr<CopyState> *>(p); });
}

gst::Element MakePacketSource(const char *name, bool bounded)
{
    gst::Element source = gst::Adopt(gst_element_factory_make("appsrc", name));
    // A head or tail holds at most a group of pictures and must never hold up the demuxer (the
    // copy's packets come through it); a whole encoded stream is bounded by time instead.
    g_object_set(source.get(), "format", GST_FORMAT_TIME, "max-bytes", guint64(0), "block",
                 bounded ? TRUE : FALSE, "max-time", bounded ? guint64(5 * GST_SECOND) : 0,
                 nullptr);
    return source;
}

} // namespace media
