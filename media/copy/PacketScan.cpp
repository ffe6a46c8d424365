#include "media/copy/PacketScan.h"

#include "media/copy/KeyUnits.h"
#include "media/copy/MarkSeek.h"
#include "media/core/Diagnostics.h"
#include "media/core/GstHandles.h"
#include "media/core/StreamingTasks.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#define GST_CAT_DEFAULT cw_copy_debug

namespace media {

namespace {

// One stream being read: where its packets go and the segment they are stamped in.
struct StreamWatch
{
    ScannedStream *stream = nullptr;
    GstSegment segment{};
    NalFormat format;
    bool claimed = false; // a pad of this kind was found
    bool done = false;
    SeekGate gate;
};

struct ScanState
{
    std::mutex mutex;
    GstElement *pipeline = nullptr;
    gint64 until = 0;
    StreamWatch video;
    StreamWatch audio;
    bool noMorePads = false;
    bool finished = false;
    std::shared_ptr<MarkSeek> seek = std::make_shared<MarkSeek>();
};

// Done once no packet to come can be presented before the limit: decode times only grow, and
// a packet is presented at or after its decode time.
bool PastLimit(const ScanState &state, const StreamWatch &watch)
{
    if (watch.stream->packets.empty())
        return false;
    const ScannedPacket &last = watch.stream->packets.back();
    // Without decode times (Matroska), pictures shown earlier may still follow a later anchor:
    // read on past any reordering.
    const gint64 t = last.dts >= 0 ? last.dts : last.pts - GST_SECOND;
    return state.until <= 0 || t >= state.until;
}

void CheckFinished(ScanState *state)
{
    const bool videoDone = !state->video.claimed || state->video.done;
    const bool audioDone = !state->audio.claimed || state->audio.done;
    if (state->finished || !state->noMorePads || !videoDone || !audioDone)
        return;
    state->finished = true;
    gst_element_post_message(state->pipeline,
                             gst_message_new_application(GST_OBJECT(state->pipeline),
                                                         gst_structure_new_empty("scanned")));
}

GstPadProbeReturn OnPacket(GstPad *pad, GstPadProbeInfo *info, gpointer data)
{
    auto *state = static_cast<ScanState *>(data);
    StreamWatch &watch = g_object_get_data(G_OBJECT(pad), "cw-video") ? state->video : state->audio;
    if (!watch.gate.Passes(pad, info, state->seek))
        return GST_PAD_PROBE_DROP;
    std::lock_guard lock(state->mutex);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_BOTH) {
        GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
            const GstSegment *segment = nullptr;
            gst_event_parse_segment(event, &segment);
            gst_segment_copy_into(segment, &watch.segment);
        } else if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
            GstCaps *caps = nullptr;
            gst_event_parse_caps(event, &caps);
            gst::String text(gst_caps_to_string(caps));
            watch.stream->caps = text.get();
            watch.format = NalFormatOf(caps);
        } else if (GST_EVENT_TYPE(event) == GST_EVENT_EOS) {
            // Once scanned, the demuxer runs on until the scan is torn down.
            watch.stream->reachedEnd = !state->finished;
            watch.done = true;
            CheckFinished(state);
        }
        return GST_PAD_PROBE_OK;
    }
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    // parsebin exposes all its pads before any packet flows, and (measured on 1.22) never
    // says "no-more-pads": waiting for it read every scan on to the file's end.
    state->noMorePads = true;
    if (watch.done)
        return GST_PAD_PROBE_DROP;
    ScannedPacket packet;
    packet.pts = StreamTimeOf(watch.segment, GST_BUFFER_PTS(buffer));
    packet.dts = StreamTimeOf(watch.segment, GST_BUFFER_DTS(buffer));
    packet.duration
        = GST_BUFFER_DURATION_IS_VALID(buffer) ? gint64(GST_BUFFER_DURATION(buffer)) : -1;
    packet.key = !GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
    packet.clean = packet.key && StartsCleanly(watch.format, buffer);
    watch.stream->packets.push_back(packet);
    if (PastLimit(*state, watch)) {
        watch.done = true;
        CheckFinished(state);
    }
    return GST_PAD_PROBE_DROP;
}

void OnPadAdded(GstElement *, GstPad *pad, gpointer data)
{
    auto *state = static_cast<ScanState *>(data);
    gst::Caps caps(gst_pad_query_caps(pad, nullptr));
    const char *name = caps && gst_caps_get_size(caps.get()) > 0
                           ? gst_structure_get_name(gst_caps_get_structure(caps.get(), 0))
                           : "";
    GstElement *sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "async", FALSE, "sync", FALSE, nullptr);
    gst_bin_add(GST_BIN(state->pipeline), sink);
    gst_element_sync_state_with_parent(sink);
    gst::Pad sinkPad(gst_element_get_static_pad(sink, "sink"));
    std::lock_guard lock(state->mutex);
    StreamWatch *watch = nullptr;
    if (g_str_has_prefix(name, "video/") && !state->video.claimed)
        watch = &state->video;
    else if (g_str_has_prefix(name, "audio/") && !state->audio.claimed)
        watch = &state->audio;
    if (watch) {
        watch->claimed = true;
        if (state->seek->target < 0 || state->seek->sent)
            watch->gate.Open();
        gst_segment_init(&watch->segment, GST_FORMAT_TIME);
        if (watch == &state->video)
            g_object_set_data(G_OBJECT(pad), "cw-video", GINT_TO_POINTER(1));
        gst_pad_add_probe(pad,
                          GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER
                                          | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM
                                          | GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                          OnPacket, state, nullptr);
    }
    gst_pad_link(pad, sinkPad.get());
}

// Runs the scan to its end; false with the first error.
bool RunScan(GstElement *pipeline, std::string *error)
{
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        *error = "The file could not be opened.";
        return false;
    }
    gst::Message message(PopUnlessStalled(
        pipeline, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_APPLICATION)));
    if (!message) {
        // parsebin swallowed the demuxer's error (a cut or broken file) and nothing runs.
        *error = "The file could not be read.";
        return false;
    }
    if (GST_MESSAGE_TYPE(message.get()) != GST_MESSAGE_ERROR)
        return true;
    GError *raw = nullptr;
    gst_message_parse_error(message.get(), &raw, nullptr);
    gst::Error failure(raw);
    *error = failure ? failure->message : "The file could not be read.";
    return false;
}

// Program streams stamp only some pictures. A picture without a stamp takes the first free
// place on the frame grid, in decode order: the ones left unstamped are the anchors (I and P),
// which are presented in the order they are decoded.
void FillMissingTimes(std::vector<ScannedPacket> &packets)
{
    gint64 frame = 0;
    gint64 first = -1;
    std::vector<gint64> known;
    for (const ScannedPacket &p : packets) {
        if (p.duration > 0 && frame == 0)
            frame = p.duration;
        if (p.pts >= 0) {
            known.push_back(p.pts);
            first = first < 0 ? p.pts : std::min(first, p.pts);
        }
    }
    if (frame <= 0 || first < 0 || known.size() == packets.size())
        return;
    std::sort(known.begin(), known.end());
    gint64 slot = first;
    std::size_t k = 0;
    for (ScannedPacket &p : packets) {
        if (p.pts >= 0)
            continue;
        // The next grid place no stamped picture holds.
        for (;; slot += frame) {
            while (k < known.size() && known[k] < slot - frame / 2)
                ++k;
            if (k == known.size() || known[k] > slot + frame / 2)
                break;
        }
        p.pts = slot;
        slot += frame;
    }
    GST_DEBUG("filled in %zu missing picture stamps", packets.size() - known.size());
}

// The factory name of the demuxer parsebin plugged, if any.
std::string DemuxerOf(GstElement *parse)
{
    std::string name;
    GstIterator *it = gst_bin_iterate_recurse(GST_BIN(parse));
    GValue item = G_VALUE_INIT;
    while (name.empty() && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto *element = GST_ELEMENT(g_value_get_object(&item));
        GstElementFactory *factory = gst_element_get_factory(element);
        const gchar *klass
            = factory ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS)
                      : nullptr;
        if (klass && std::strstr(klass, "Demux"))
            name = GST_OBJECT_NAME(factory);
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return name;
}

} // namespace

gint64 StreamTimeOf(const GstSegment &segment, GstClockTime t)
{
    if (!GST_CLOCK_TIME_IS_VALID(t))
        return -1;
    if (segment.format != GST_FORMAT_TIME)
        return gint64(t);
    return gint64(t) - gint64(segment.start) + gint64(segment.time);
}

bool ScanSource(const std::string &path, gint64 untilNs, SourceScan *scan, std::string *error,
                gint64 seekNs)
{
    ScanState state;
    state.until = untilNs;
    state.seek->target = seekNs;
    gst::Element pipeline = gst::Adopt(gst_pipeline_new("cw-copy-scan"));
    GstElement *src = gst_element_factory_make("filesrc", nullptr);
    GstElement *parse = gst_element_factory_make("parsebin", nullptr);
    if (!src || !parse) {
        *error = "GStreamer's parsebin is not installed.";
        return false;
    }
    g_object_set(src, "location", path.c_str(), nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), src, parse, nullptr);
    gst_element_link(src, parse);
    state.pipeline = pipeline.get();
    g_signal_connect(parse, "pad-added", G_CALLBACK(OnPadAdded), &state);
    g_signal_connect(parse, "no-more-pads", G_CALLBACK(+[](GstElement *, gpointer data) {
                         auto *s = static_cast<ScanState *>(data);
                         std::lock_guard lock(s->mutex);
                         s->noMorePads = true;
                         CheckFinished(s);
                     }),
                     &state);
    state.video.stream = &scan->video;
    state.audio.stream = &scan->audio;
    const bool ok = RunScan(pipeline.get(), error);
    if (!ok || !gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &scan->lengthNs))
        scan->lengthNs = -1;
    scan->demuxer = DemuxerOf(parse);
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    FillMissingTimes(scan->video.packets);
    for (const ScannedPacket &p : scan->video.packets)
        GST_LOG("picture packet %" GST_STIME_FORMAT " / %" GST_STIME_FORMAT "%s",
                GST_STIME_ARGS(p.pts), GST_STIME_ARGS(p.dts), p.key ? " key" : "");
    if (ok && scan->video.caps.empty() && scan->audio.caps.empty()) {
        *error = "The file holds no picture or sound GStreamer can read.";
        return false;
    }
    return ok;
}

} // namespace media
