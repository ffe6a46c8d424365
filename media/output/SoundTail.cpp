#include "media/output/SoundTail.h"

#include "media/core/GstHandles.h"

#include <gst/audio/audio.h>
#include <gst/gst.h>

namespace media {

namespace {

struct Tail
{
    int frameSamples;
    guint64 samples = 0; // since the stream started
    GstClockTime end = GST_CLOCK_TIME_NONE;
};

// The last frame is completed when the sound would otherwise have none, or when more than half
// of it is there: the sound then ends within half a frame of where it did (32 ms for 16 kHz
// AAC), where always completing or always dropping it was off by up to a whole frame.
bool CompletesLastFrame(guint64 samples, guint64 frameSamples)
{
    const guint64 rest = samples % frameSamples;
    return samples < frameSamples || rest * 2 >= frameSamples;
}

GstPadProbeReturn OnSound(GstPad *pad, GstPadProbeInfo *info, gpointer data)
{
    auto *tail = static_cast<Tail *>(data);
    gst::Caps caps(gst_pad_get_current_caps(pad));
    GstAudioInfo audio;
    if (!caps || !gst_audio_info_from_caps(&audio, caps.get()) || audio.bpf <= 0 || audio.rate <= 0)
        return GST_PAD_PROBE_OK;
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER) {
        GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        const gsize count = gst_buffer_get_size(buffer) / gsize(audio.bpf);
        tail->samples += count;
        if (GST_BUFFER_PTS_IS_VALID(buffer))
            tail->end = GST_BUFFER_PTS(buffer)
                        + gst_util_uint64_scale(count, GST_SECOND, guint64(audio.rate));
        return GST_PAD_PROBE_OK;
    }
    GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP) {
        tail->samples = 0;
        tail->end = GST_CLOCK_TIME_NONE;
    } else if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
        const GstSegment *segment = nullptr;
        gst_event_parse_segment(event, &segment);
        if (segment->format == GST_FORMAT_TIME && tail->samples == 0)
            tail->end = segment->start;
        // The encoder clips its input to the segment: a stop where the sound ends (a section at
        // the very end of a file) would cut the completing silence off, and the frame with it.
        if (segment->format == GST_FORMAT_TIME && GST_CLOCK_TIME_IS_VALID(segment->stop)) {
            GstSegment open;
            gst_segment_copy_into(segment, &open);
            open.stop = GST_CLOCK_TIME_NONE;
            GstEvent *replaced = gst_event_new_segment(&open);
            gst_event_set_seqnum(replaced, gst_event_get_seqnum(event));
            gst_event_unref(event);
            GST_PAD_PROBE_INFO_DATA(info) = replaced;
        }
    } else if (GST_EVENT_TYPE(event) == GST_EVENT_EOS
               && CompletesLastFrame(tail->samples, guint64(tail->frameSamples))
               && GST_CLOCK_TIME_IS_VALID(tail->end)) {
        const guint64 missing
            = guint64(tail->frameSamples) - tail->samples % guint64(tail->frameSamples);
        GstBuffer *silence = gst_buffer_new_allocate(nullptr, missing * audio.bpf, nullptr);
        GstMapInfo map;
        if (silence && gst_buffer_map(silence, &map, GST_MAP_WRITE)) {
            gst_audio_format_info_fill_silence(audio.finfo, map.data, map.size);
            gst_buffer_unmap(silence, &map);
            GST_BUFFER_PTS(silence) = tail->end;
            GST_BUFFER_DURATION(silence)
                = gst_util_uint64_scale(missing, GST_SECOND, guint64(audio.rate));
            // Into the encoder ahead of the end, on this streaming thread.
            gst_pad_chain(pad, silence);
        } else if (silence) {
            gst_buffer_unref(silence);
        }
    }
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn OnPicture(GstPad *pad, GstPadProbeInfo *info, gpointer)
{
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer || !GST_BUFFER_DURATION_IS_VALID(buffer))
        return GST_PAD_PROBE_OK;
    gst::Caps caps(gst_pad_get_current_caps(pad));
    const GstStructure *s = caps && gst_caps_get_size(caps.get()) > 0
                                ? gst_caps_get_structure(caps.get(), 0)
                                : nullptr;
    int num = 0, den = 0;
    if (!s || !gst_structure_get_fraction(s, "framerate", &num, &den) || num <= 0 || den <= 0)
        return GST_PAD_PROBE_OK;
    const GstClockTime frame = gst_util_uint64_scale(GST_SECOND, guint64(den), guint64(num));
    // Half a frame or more is a picture of its own (a variable rate); less is a cut one.
    if (GST_BUFFER_DURATION(buffer) * 2 >= frame)
        return GST_PAD_PROBE_OK;
    buffer = gst_buffer_make_writable(buffer);
    GST_BUFFER_DURATION(buffer) = frame;
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    return GST_PAD_PROBE_OK;
}

} // namespace

void KeepWholePictures(GstElement *encoder)
{
    // On its output: the encoder clips its input to the segment, whose stop is the cut.
    gst::Pad src(encoder ? gst_element_get_static_pad(encoder, "src") : nullptr);
    if (src)
        gst_pad_add_probe(src.get(), GST_PAD_PROBE_TYPE_BUFFER, OnPicture, nullptr, nullptr);
}

void CompleteLastSoundFrame(GstElement *encoder, int frameSamples)
{
    if (!encoder || frameSamples <= 0)
        return;
    gst::Pad sink(gst_element_get_static_pad(encoder, "sink"));
    if (!sink)
        return;
    gst_pad_add_probe(
        sink.get(),
        GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM
                        | GST_PAD_PROBE_TYPE_EVENT_FLUSH),
        OnSound, new Tail{frameSamples}, [](gpointer p) { delete static_cast<Tail *>(p); });
}

} // namespace media
