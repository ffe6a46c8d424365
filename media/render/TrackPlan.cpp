#include "media/render/TrackPlan.h"

#include "media/core/DecoderPlugging.h"
#include "media/render/RenderEngine.h"
#include "media/render/RenderLayout.h"

#include <gst/base/gstbasetransform.h>

#include <algorithm>
#include <atomic>
#include <memory>

namespace media {

namespace {

// Decoded pictures a source may hold ahead of its converters.
constexpr guint kDecodedFrames = 3;
// Sound the track's mixer hands on at a time.
constexpr guint64 kMixedSound = GST_SECOND / 10;

bool HasProperty(GstElement *element, const char *name)
{
    return g_object_class_find_property(G_OBJECT_GET_CLASS(element), name) != nullptr;
}

// The MPEG program-stream demuxer cuts every seek's stop to the length it estimated from the
// clock references near the file's end, which in a cut file (or one whose picture is muxed
// ahead of its sound) ends before the picture does, even at 0. A stop past that estimate is
// asked of it as "to the end of the file", and its segments are given the stop asked for, so
// the decoders still end the pictures and sound there.
struct ProgramStreamStop
{
    std::atomic<gint64> stop{-1}; // ns; -1 while no seek went past the estimate
};

GstPadProbeReturn OnProgramStreamEvent(GstPad *pad, GstPadProbeInfo *info, gpointer data)
{
    ProgramStreamStop *state = static_cast<std::shared_ptr<ProgramStreamStop> *>(data)->get();
    GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
    if (event && GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
        const GstSegment *given = nullptr;
        gst_event_parse_segment(event, &given);
        const gint64 stop = state->stop.load();
        if (stop < 0 || given->format != GST_FORMAT_TIME
            || (GST_CLOCK_TIME_IS_VALID(given->stop) && gint64(given->stop) >= stop))
            return GST_PAD_PROBE_OK;
        GstSegment segment;
        gst_segment_copy_into(given, &segment);
        segment.stop = GstClockTime(stop);
        GstEvent *stopped = gst_event_new_segment(&segment);
        gst_event_set_seqnum(stopped, gst_event_get_seqnum(event));
        gst_event_unref(event);
        GST_PAD_PROBE_INFO_DATA(info) = stopped;
        return GST_PAD_PROBE_OK;
    }
    if (!event || GST_EVENT_TYPE(event) != GST_EVENT_SEEK)
        return GST_PAD_PROBE_OK;
    gdouble rate = 1;
    GstFormat format = GST_FORMAT_UNDEFINED;
    GstSeekFlags flags;
    GstSeekType startType, stopType;
    gint64 start = 0, stop = 0;
    gst_event_parse_seek(event, &rate, &format, &flags, &startType, &start, &stopType, &stop);
    if (format != GST_FORMAT_TIME || stopType != GST_SEEK_TYPE_SET || stop < 0 || rate <= 0)
        return GST_PAD_PROBE_OK;
    gint64 estimate = -1;
    if (gst_pad_query_duration(pad, GST_FORMAT_TIME, &estimate) && estimate >= stop) {
        state->stop = -1;
        return GST_PAD_PROBE_OK;
    }
    state->stop = stop;
    GstEvent *open = gst_event_new_seek(rate, format, flags, startType, start, GST_SEEK_TYPE_NONE,
                                        GST_CLOCK_TIME_NONE);
    gst_event_set_seqnum(open, gst_event_get_seqnum(event));
    gst_event_unref(event);
    GST_PAD_PROBE_INFO_DATA(info) = open;
    return GST_PAD_PROBE_OK;
}

void OnProgramStreamPad(GstElement *, GstPad *pad, gpointer data)
{
    if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC)
        return;
    // Each pad's probe shares the demuxer's state, whichever of them goes last.
    const auto &state = *static_cast<std::shared_ptr<ProgramStreamStop> *>(data);
    gst_pad_add_probe(
        pad,
        GstPadProbeType(GST_PAD_PROBE_TYPE_EVENT_UPSTREAM | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
        OnProgramStreamEvent, new std::shared_ptr<ProgramStreamStop>(state),
        [](gpointer p) { delete static_cast<std::shared_ptr<ProgramStreamStop> *>(p); });
}

void ReadProgramStreamToItsEnd(GstElement *demuxer)
{
    g_signal_connect_data(
        demuxer, "pad-added", G_CALLBACK(OnProgramStreamPad),
        new std::shared_ptr<ProgramStreamStop>(std::make_shared<ProgramStreamStop>()),
        [](gpointer p, GClosure *) { delete static_cast<std::shared_ptr<ProgramStreamStop> *>(p); },
        GConnectFlags(0));
}

} // namespace

bool PlanDirectScaling(GESUriClipAsset *asset, int mode, int outW, int outH, DirectScaling *plan)
{
    GstPluginFeature *scaler = gst_registry_lookup_feature(gst_registry_get(), "cwscale");
    if (!scaler)
        return false;
    gst_object_unref(scaler);
    plan->picture = StoredPictureOf(asset);
    if (plan->picture.width <= 0 || plan->picture.height <= 0 || plan->picture.oriented)
        return false;
    const Placement p = PlaceInFrame(mode, DisplaySizeOf(asset), outW, outH);
    plan->layout = FrameLayout{outW, outH, p.x, p.y, p.width, p.height, {}};
    return FitsFrame(plan->layout);
}

bool PrefersSliceThreads(const StoredPicture &picture)
{
    return g_get_num_processors() <= 2 && picture.width > 0 && picture.height > 0
           && gint64(picture.width) * picture.height <= gint64(1920) * 1088;
}

gst::Caps VideoRestriction(int width, int height, int rateNum, int rateDen, int parN, int parD)
{
    return gst::Caps(gst_caps_new_simple(
        "video/x-raw", "format", G_TYPE_STRING, "I420", "width", G_TYPE_INT, width, "height",
        G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION, rateNum, rateDen, "pixel-aspect-ratio",
        GST_TYPE_FRACTION, parN, parD, nullptr));
}

GESTrack *TrackOf(GstElement *element)
{
    for (GstObject *o = GST_OBJECT_PARENT(element); o; o = GST_OBJECT_PARENT(o))
        if (GES_IS_TRACK(o))
            return GES_TRACK(o);
    return nullptr;
}

// The converters GES makes run on one thread by default; a render wants every core. Where the
// timeline's scaler still scales (several clips, cropping, turned pictures), its default
// two-tap filter averages a picture down like a box and leaves it 1.4 dB below a proper filter;
// Lanczos over 1.25 lobes costs a tenth more time, as little as any filter of its quality. The
// queue GES puts behind each decoder holds up to 10 MB of decoded pictures (seven 720p frames);
// a few frames keep decoding and scaling apart just as well. GES's flip copies every picture
// even when it turns nothing; a rotation tag still switches it on. A stretched clip alone in
// its track is scaled over the whole frame by its own scaler, without borders.
// On two cores the scaler, the encoders and the sound keep the second core busy, and libav's
// frame threads for H.264 only add their own pictures and hand-offs: without them 720p to WMV
// took 7% less time and 9 MB less memory, 1080p at 30 and 60 fps as long or less and 15-20 MB
// less. 4K H.264 (5% slower) and HEVC of any size (25-50% slower at 1080p) keep them, as do
// machines with more cores. The sound track's mixer hands on 10 ms at a time by default: a
// hundred buffers a second through the converters, the encoder and the queues behind it, each
// a wake-up of their threads. A tenth of a second ends just as exactly at the section's end.
void TuneSourceElement(GstElement *element, const SourceTrack &track)
{
    GstElementFactory *factory = gst_element_get_factory(element);
    if (!factory)
        return;
    const gchar *name = GST_OBJECT_NAME(factory);
    DecodeWithoutAlphaBins(element);
    if (track.sliceThreads && g_str_equal(name, "avdec_h264")
        && HasProperty(element, "thread-type"))
        gst_util_set_object_arg(G_OBJECT(element), "thread-type", "slice");
    const bool scaler = g_str_equal(name, "videoscale");
    if ((scaler || g_str_equal(name, "videoconvert") || g_str_equal(name, "videoconvertscale"))
        && HasProperty(element, "n-threads"))
        g_object_set(element, "n-threads", std::min(g_get_num_processors(), 8u), nullptr);
    else if (g_str_equal(name, "queue"))
        g_object_set(element, "max-size-buffers", kDecodedFrames, nullptr);
    if (scaler && HasProperty(element, "method") && HasProperty(element, "envelope")) {
        gst_util_set_object_arg(G_OBJECT(element), "method", "lanczos");
        g_object_set(element, "envelope", 1.25, nullptr);
    }
    if (g_str_equal(name, "mpegpsdemux"))
        ReadProgramStreamToItsEnd(element);
    if (g_str_equal(name, "audiomixer") && HasProperty(element, "output-buffer-duration"))
        g_object_set(element, "output-buffer-duration", kMixedSound, nullptr);
    if (g_str_equal(name, "videoflip") && GST_IS_BASE_TRANSFORM(element))
        gst_base_transform_set_passthrough(GST_BASE_TRANSFORM(element), TRUE);
    if (scaler && track.stretchedAlone && HasProperty(element, "add-borders"))
        g_object_set(element, "add-borders", FALSE, nullptr);
}

} // namespace media
