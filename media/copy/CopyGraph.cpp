#include "media/copy/CopyBranches.h"
#include "media/copy/SectionCopy.h"

#include "media/core/Diagnostics.h"
#include "media/core/FilterInternal.h"
#include "media/output/ConversionGraph.h"
#include "media/output/EncoderRestamp.h"
#include "media/output/GroupProgress.h"

#include <initializer_list>

#define GST_CAT_DEFAULT cw_copy_debug

namespace media {

namespace {

// The graph under construction.
struct Builder
{
    explicit Builder(const SectionCopyRequest &r)
        : request(r)
    {
    }
    SectionCopyRequest request;
    GstElement *pipeline = nullptr;
    GstElement *muxer = nullptr;
    std::shared_ptr<CopyState> state;
    gst::Pad videoEntry;              // where the source's picture pad is linked
    GstElement *copyQueue = nullptr;  // copied pictures waiting for the writer
    GstElement *soundQueue = nullptr; // the first queue of the written sound
    gst::Pad audioEntry;
    bool videoClaimed = false;
    bool audioClaimed = false;
    std::string missing; // the first element that could not be made
};

GstElement *Make(Builder &b, const char *factory, const char *name = nullptr)
{
    GstElement *element = gst_element_factory_make(factory, name);
    if (!element) {
        if (b.missing.empty())
            b.missing = factory;
        return nullptr;
    }
    gst_bin_add(GST_BIN(b.pipeline), element);
    return element;
}

GstElement *Adopted(Builder &b, gst::Element element)
{
    if (!element)
        return nullptr;
    GstElement *raw = element.release();
    gst_bin_add(GST_BIN(b.pipeline), raw);
    return raw;
}

bool LinkChain(std::initializer_list<GstElement *> chain)
{
    GstElement *previous = nullptr;
    for (GstElement *e : chain) {
        if (!e)
            return false;
        if (previous && !gst_element_link(previous, e)) {
            GST_WARNING("cannot link %s to %s", GST_OBJECT_NAME(previous), GST_OBJECT_NAME(e));
            return false;
        }
        previous = e;
    }
    return true;
}

gst::Pad SinkOf(GstElement *e)
{
    return gst::Pad(gst_element_get_static_pad(e, "sink"));
}

// The last element of a stream to the writer: one stream, stamped from the origin, watched
// for progress and stops like every conversion's.
bool LinkToWriter(Builder &b, GstElement *last, bool picture)
{
    GstElement *gate = Make(b, "identity");
    if (!gate || !gst_element_link(last, gate))
        return false;
    StampForWriter(SinkOf(gate).get(), b.state, picture);
    gst::Pad muxPad(gst_element_request_pad_simple(b.muxer, picture ? "video_%u" : "audio_%u"));
    gst::Pad out(gst_element_get_static_pad(gate, "src"));
    if (!muxPad || gst_pad_link(out.get(), muxPad.get()) != GST_PAD_LINK_OK) {
        GST_WARNING("the writer takes no %s here", picture ? "picture" : "sound");
        return false;
    }
    WatchGroup(b.pipeline, out.get());
    WatchWriterInput(b.pipeline, muxPad.get());
    return true;
}

struct DecodedLink
{
    std::shared_ptr<CopyState> state;
    GstElement *next;
    gint64 from;
    gint64 to;
    bool sound;
};

// decodebin's pad: trimmed to the part, linked on.
void OnDecodedPad(GstElement *, GstPad *pad, gpointer data)
{
    auto *link = static_cast<DecodedLink *>(data);
    gst::Pad sink = SinkOf(link->next);
    if (gst_pad_is_linked(sink.get()))
        return;
    TrimDecoded(pad, link->state, link->from, link->to, link->sound);
    if (gst_pad_link(pad, sink.get()) != GST_PAD_LINK_OK)
        GST_WARNING("decoded %s does not link", link->sound ? "sound" : "picture");
}

// source ! decodebin ! (trimmed to [from, to)) next
bool Decode(Builder &b, GstElement *source, GstElement *next, gint64 from, gint64 to, bool sound)
{
    GstElement *decoder = Make(b, "decodebin");
    if (!source || !next || !LinkChain({source, decoder}))
        return false;
    g_signal_connect_data(
        decoder, "pad-added", G_CALLBACK(OnDecodedPad),
        new DecodedLink{b.state, next, from, to, sound},
        [](gpointer p, GClosure *) { delete static_cast<DecodedLink *>(p); }, GConnectFlags(0));
    return true;
}

// A re-encoded part in the source's codec: decoded from packets the router feeds, pictures
// [from, to) encoded, into the concat.
bool EncodedPart(Builder &b, gst::Element *source, gint64 from, gint64 to, GstElement *concat)
{
    const CopyJoints &j = *b.state->joints;
    gst::Caps outputCaps;
    GstElement *queue = Make(b, "queue");
    GstElement *convert = Make(b, "videoconvert");
    GstElement *encoder = Adopted(b, MakeHeadEncoder(j.encoder, j.videoCaps, &outputCaps));
    GstElement *filter = Make(b, "capsfilter");
    GstElement *parser = Adopted(b, MakeParser(j.videoCaps, true));
    *source = MakePacketSource(nullptr, false);
    GstElement *appsrc = Adopted(b, gst::Ref(source->get()));
    if (!filter || !encoder || !LinkChain({queue, convert, encoder, filter, parser}))
        return false;
    g_object_set(filter, "caps", outputCaps.get(), nullptr);
    RestampOutput(encoder);
    gst::Pad concatPad(gst_element_request_pad_simple(concat, "sink_%u"));
    gst::Pad parserOut(gst_element_get_static_pad(parser, "src"));
    if (gst_pad_link(parserOut.get(), concatPad.get()) != GST_PAD_LINK_OK)
        return false;
    return Decode(b, appsrc, queue, from, to, false);
}

// A sink for packets nobody writes; it must not hold up the pipeline's start.
GstPad *FakeEntry(GstElement *pipeline)
{
    GstElement *sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "async", FALSE, "sync", FALSE, nullptr);
    gst_bin_add(GST_BIN(pipeline), sink);
    gst_element_sync_state_with_parent(sink);
    return gst_element_get_static_pad(sink, "sink");
}

// Copied packets waiting for the writer. Unbounded, the demuxer ran half the section ahead of
// it into memory (50 MB for a minute of 1080p). Counted in packets: the queue's time level
// counts from the segment's start until its first packet is out, which is a whole GOP while the
// head is encoded.
constexpr guint kCopyQueuePackets = 64;

// Two ways the writer can wait on packets the demuxer has not reached while the demuxer waits
// for room for pictures: a file that stores its sound far behind its pictures, and the start,
// where the graph plays only once every decoder has had its first packet (the tail's come
// after the copy). The picture queue grows until the wait is over.
struct StallWatch
{
    GstElement *pipeline;
    GstElement *pictures;
    GstElement *sound; // may be null
    std::shared_ptr<CopyState> state;
};

bool TailUnfed(CopyState &state)
{
    std::lock_guard lock(state.mutex);
    return state.tailSource && state.packet <= state.joints->tailFeedFrom;
}

bool Playing(GstElement *pipeline)
{
    GST_OBJECT_LOCK(pipeline);
    const bool playing = GST_STATE(pipeline) == GST_STATE_PLAYING;
    GST_OBJECT_UNLOCK(pipeline);
    return playing;
}

void OnQueueEdge(GstElement *, gpointer data)
{
    const StallWatch &w = **static_cast<std::shared_ptr<StallWatch> *>(data);
    guint held = 0, room = 0, sound = 1;
    g_object_get(w.pictures, "current-level-buffers", &held, "max-size-buffers", &room, nullptr);
    if (w.sound)
        g_object_get(w.sound, "current-level-buffers", &sound, nullptr);
    if (room == 0 || held < room || (sound > 0 && (Playing(w.pipeline) || !TailUnfed(*w.state))))
        return;
    GST_INFO("the writer waits behind %u pictures (%s): room for %u", held,
             sound == 0 ? "for sound" : "to start", room * 2);
    g_object_set(w.pictures, "max-size-buffers", room * 2, nullptr);
}

// Both edges of the stall: the sound queue running dry, the picture queue filling up.
void WatchStall(const Builder &b)
{
    if (!b.copyQueue)
        return;
    const auto watch
        = std::make_shared<StallWatch>(StallWatch{b.pipeline, b.copyQueue, b.soundQueue, b.state});
    for (const auto &[queue, edge] :
         {std::pair{b.soundQueue, "underrun"}, std::pair{b.copyQueue, "overrun"}})
        if (queue)
            g_signal_connect_data(
                queue, edge, G_CALLBACK(OnQueueEdge), new std::shared_ptr<StallWatch>(watch),
                [](gpointer p, GClosure *) {
                    delete static_cast<std::shared_ptr<StallWatch> *>(p);
                },
                GConnectFlags(0));
}

// The copied packets, parsed with the parameter sets in-band, into the concat. They wait in
// the queue while the head is encoded; the head has all its packets by then (they come first
// in decode order).
bool CopiedPart(Builder &b, GstElement *concat, bool exact)
{
    const CopyJoints &j = *b.state->joints;
    GstElement *queue = Make(b, "queue");
    GstElement *parser = Adopted(b, MakeParser(j.videoCaps, exact));
    GstElement *filter = Make(b, "capsfilter");
    if (!LinkChain({queue, parser, filter}))
        return false;
    g_object_set(queue, "max-size-time", guint64(0), "max-size-bytes", 0u, "max-size-buffers",
                 kCopyQueuePackets, nullptr);
    b.copyQueue = queue;
    if (exact && j.encoder.rfind("x26", 0) == 0) {
        gst::Caps caps(gst_caps_from_string(
            j.encoder == "x264enc" ? "video/x-h264,stream-format=byte-stream,alignment=au"
                                   : "video/x-h265,stream-format=byte-stream,alignment=au"));
        g_object_set(filter, "caps", caps.get(), nullptr);
    }
    gst::Pad concatPad(gst_element_request_pad_simple(concat, "sink_%u"));
    gst::Pad out(gst_element_get_static_pad(filter, "src"));
    if (gst_pad_link(out.get(), concatPad.get()) != GST_PAD_LINK_OK)
        return false;
    b.videoEntry = SinkOf(queue);
    return true;
}

// How the writer gets the joined stream: MP4 takes parameter sets that change inside the
// stream only as avc3/hev1.
const char *JoinedFormat(const Builder &b)
{
    const CopyJoints &j = *b.state->joints;
    GstElementFactory *factory = gst_element_get_factory(b.muxer);
    const bool mp4 = factory
                     && (g_str_equal(GST_OBJECT_NAME(factory), "mp4mux")
                         || g_str_equal(GST_OBJECT_NAME(factory), "qtmux"));
    if (!mp4 || !j.exact)
        return nullptr;
    if (j.encoder == "x264enc")
        return "video/x-h264,stream-format=avc3,alignment=au";
    if (j.encoder == "x265enc")
        return "video/x-h265,stream-format=hev1,alignment=au";
    return nullptr;
}

// Packets copied from a clean key frame to an end a copy can make: nothing is joined, so the
// stream goes to the writer as the demuxer gives it, without being rewritten twice for a join.
bool CopyWhole(Builder &b)
{
    CopyState &s = *b.state;
    GstElement *queue = Make(b, "queue");
    GstElement *parser = Adopted(b, MakeParser(s.joints->videoCaps, false));
    if (!LinkChain({queue, parser}))
        return false;
    g_object_set(queue, "max-size-time", guint64(0), "max-size-bytes", 0u, "max-size-buffers",
                 kCopyQueuePackets, nullptr);
    b.copyQueue = queue;
    b.videoEntry = SinkOf(queue);
    s.headEnded = s.tailEnded = true;
    return LinkToWriter(b, parser, true);
}

bool CopyPicture(Builder &b)
{
    CopyState &s = *b.state;
    const CopyJoints &j = *s.joints;
    if (!j.HasHead() && !j.HasTail() && j.copyEnd > j.copyFrom)
        return CopyWhole(b);
    GstElement *concat = Make(b, "concat");
    GstElement *parser = Adopted(b, MakeParser(j.videoCaps, j.exact));
    GstElement *filter = Make(b, "capsfilter");
    if (!LinkChain({concat, parser, filter}))
        return false;
    g_object_set(concat, "adjust-base", FALSE, nullptr);
    if (const char *format = JoinedFormat(b)) {
        gst::Caps caps(gst_caps_from_string(format));
        g_object_set(filter, "caps", caps.get(), nullptr);
    }
    if (j.HasHead() && !EncodedPart(b, &s.headSource, j.origin, j.headUntil, concat))
        return false;
    if (j.copyEnd > j.copyFrom && !CopiedPart(b, concat, j.exact))
        return false;
    if (j.HasTail() && !EncodedPart(b, &s.tailSource, j.tailFrom, j.end, concat))
        return false;
    s.headEnded = !s.headSource;
    s.tailEnded = !s.tailSource;
    return LinkToWriter(b, filter, true);
}

// Pictures decoded from the key frame before the mark and encoded by the request's encoder at
// its size and rate.
bool EncodePicture(Builder &b)
{
    CopyState &s = *b.state;
    const CopyJoints &j = *s.joints;
    GstElement *queue = Make(b, "queue");
    GstElement *convert = Make(b, "videoconvert");
    GstElement *scale = Make(b, "videoscale");
    GstElement *rate = Make(b, "videorate");
    GstElement *filter = Make(b, "capsfilter");
    GstElement *encoder = ElementOf(b.request.videoEncoder);
    if (!encoder || !queue || !convert || !scale || !rate || !filter)
        return false;
    gst_object_ref(encoder);
    gst_bin_add(GST_BIN(b.pipeline), encoder);
    GstElement *out = Make(b, "queue");
    if (!LinkChain({queue, convert, scale, rate, filter, encoder, out}))
        return false;
    g_object_set(scale, "add-borders", b.request.stretchMode == 0, nullptr);
    // From the first picture on, not from the segment's start.
    g_object_set(rate, "skip-to-first", TRUE, nullptr);
    GstStructure *wanted = gst_structure_new_empty("video/x-raw");
    if (b.request.width > 0 && b.request.height > 0)
        gst_structure_set(wanted, "width", G_TYPE_INT, b.request.width, "height", G_TYPE_INT,
                          b.request.height, nullptr);
    if (b.request.frameRate > 0) {
        int num = 0, den = 1;
        gst_util_double_to_fraction(b.request.frameRate, &num, &den);
        gst_structure_set(wanted, "framerate", GST_TYPE_FRACTION, num, den, nullptr);
    }
    gst::Caps caps(gst_caps_new_full(wanted, nullptr));
    g_object_set(filter, "caps", caps.get(), nullptr);
    RestampOutput(encoder);
    s.headSource = MakePacketSource(nullptr, true);
    GstElement *appsrc = Adopted(b, gst::Ref(s.headSource.get()));
    b.videoEntry = gst::Pad(FakeEntry(b.pipeline));
    s.tailEnded = true;
    return Decode(b, appsrc, queue, j.origin, j.end, false) && LinkToWriter(b, out, true);
}

bool CopySound(Builder &b)
{
    GstElement *queue = Make(b, "queue");
    GstElement *parser = Adopted(b, MakeParser(b.state->joints->audioCaps, false));
    if (!LinkChain({queue, parser}))
        return false;
    // Room by time, so the demuxer is never held up by a writer waiting for pictures.
    g_object_set(queue, "max-size-time", guint64(30 * GST_SECOND), "max-size-bytes", 0u,
                 "max-size-buffers", 0u, nullptr);
    b.audioEntry = SinkOf(queue);
    b.soundQueue = queue;
    return LinkToWriter(b, parser, false);
}

bool EncodeSound(Builder &b)
{
    CopyState &s = *b.state;
    GstElement *queue = Make(b, "queue");
    GstElement *convert = Make(b, "audioconvert");
    GstElement *resample = Make(b, "audioresample");
    GstElement *encoder = ElementOf(b.request.audioEncoder);
    if (!encoder || !queue || !convert || !resample)
        return false;
    gst_object_ref(encoder);
    gst_bin_add(GST_BIN(b.pipeline), encoder);
    GstElement *out = Make(b, "queue");
    if (!LinkChain({queue, convert, resample, encoder, out}))
        return false;
    RestampOutput(encoder);
    s.soundSource = MakePacketSource(nullptr, true);
    GstElement *appsrc = Adopted(b, gst::Ref(s.soundSource.get()));
    b.audioEntry = gst::Pad(FakeEntry(b.pipeline));
    b.soundQueue = queue;
    return Decode(b, appsrc, queue, s.joints->origin, s.joints->end, true)
           && LinkToWriter(b, out, false);
}

// A stream nobody writes ends at once, so the demuxer runs on for the others; the flush of a
// seek must not revive it.
GstPadProbeReturn EndUnused(GstPad *pad, GstPadProbeInfo *info, gpointer)
{
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_FLUSH)
        return GST_PAD_PROBE_DROP;
    if (g_object_get_data(G_OBJECT(pad), "cw-ended"))
        return GST_PAD_PROBE_OK;
    g_object_set_data(G_OBJECT(pad), "cw-ended", GINT_TO_POINTER(1));
    gst::Pad peer(gst_pad_get_peer(pad));
    if (peer)
        gst_pad_send_event(peer.get(), gst_event_new_eos());
    return GST_PAD_PROBE_DROP;
}

// A written stream passes at once unless a seek is still to come.
void WatchSeek(Builder &b, GstPad *pad, SeekGate *gate)
{
    std::lock_guard lock(b.state->mutex);
    if (b.state->seek->target < 0 || b.state->seek->sent)
        gate->Open();
}

void OnSourcePad(GstElement *, GstPad *pad, gpointer data)
{
    auto *b = static_cast<Builder *>(data);
    gst::Caps caps(gst_pad_query_caps(pad, nullptr));
    const GstStructure *s = caps && gst_caps_get_size(caps.get()) > 0
                                ? gst_caps_get_structure(caps.get(), 0)
                                : nullptr;
    const char *name = s ? gst_structure_get_name(s) : "";
    gst::Pad entry;
    if (g_str_has_prefix(name, "video/") && !b->videoClaimed
        && b->state->joints->videoCaps.size()) {
        b->videoClaimed = true;
        b->state->copyInput
            = b->videoEntry ? gst::Ref(b->videoEntry.get()) : gst::Pad(FakeEntry(b->pipeline));
        entry = gst::Ref(b->state->copyInput.get());
        WatchSeek(*b, pad, &b->state->videoGate);
        RoutePictures(pad, b->state);
    } else if (g_str_has_prefix(name, "audio/") && !b->audioClaimed
               && b->state->joints->audioCaps.size()) {
        b->audioClaimed = true;
        b->state->soundInput = gst::Ref(b->audioEntry.get());
        entry = gst::Ref(b->audioEntry.get());
        WatchSeek(*b, pad, &b->state->audioGate);
        WindowSound(pad, b->state);
    } else {
        entry = gst::Pad(FakeEntry(b->pipeline));
        gst_pad_add_probe(
            pad, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_FLUSH),
            EndUnused, nullptr, nullptr);
    }
    if (gst_pad_link(pad, entry.get()) != GST_PAD_LINK_OK)
        GST_WARNING("the source's %s stream does not link", name);
}

// Where the written stamps start: the earliest decode time or sound packet, before the origin.
// Matroska keeps no decode times, so only the sound's lead counts there.
gint64 WrittenBase(const CopyJoints &j, const std::string &muxer)
{
    gint64 earliest = j.origin;
    if (!j.decodeTimes.empty() && muxer != "matroskamux" && muxer != "webmmux")
        earliest = std::min(earliest, j.decodeTimes.front());
    if (j.audioFrom >= 0 && !j.audioCaps.empty())
        earliest = std::min(earliest, j.audioFrom);
    return j.origin - earliest;
}

bool BuildStreams(Builder &b, const SectionCopyPlan &plan)
{
    const CopyJoints &j = *plan.joints;
    if (!j.videoCaps.empty()) {
        const bool ok = b.request.video == StreamWay::Encode ? EncodePicture(b) : CopyPicture(b);
        if (!ok)
            return false;
    }
    if (!j.audioCaps.empty()) {
        const bool ok = b.request.audio == StreamWay::Encode ? EncodeSound(b) : CopySound(b);
        if (!ok)
            return false;
    }
    WatchStall(b);
    return true;
}

} // namespace

HRESULT BuildSectionCopy(const SectionCopyRequest &request, const SectionCopyPlan &plan,
                         std::shared_ptr<ConversionGraph> *graph)
{
    if (!graph || !plan.joints)
        return E_POINTER;
    if (!plan.refusal.empty())
        return E_INVALIDARG;
    gst::Element pipeline = gst::Adopt(gst_pipeline_new("cw-section-copy"));
    auto builder = std::make_unique<Builder>(request);
    Builder &b = *builder;
    b.pipeline = pipeline.get();
    b.state = std::make_shared<CopyState>();
    b.state->joints = plan.joints;
    b.state->base = WrittenBase(*plan.joints, request.muxer);
    gst_segment_init(&b.state->videoSegment, GST_FORMAT_TIME);
    gst_segment_init(&b.state->audioSegment, GST_FORMAT_TIME);
    GstElement *src = Make(b, "filesrc");
    GstElement *parse = Make(b, "parsebin");
    b.muxer = Make(b, request.muxer.c_str());
    GstElement *sink = Make(b, "filesink");
    if (!LinkChain({src, parse}) || !LinkChain({b.muxer, sink}) || !BuildStreams(b, plan)) {
        GST_WARNING("the copy graph could not be built (%s)",
                    b.missing.empty() ? "a link failed" : b.missing.c_str());
        return E_FAIL;
    }
    g_object_set(src, "location", request.input.c_str(), nullptr);
    g_object_set(sink, "location", request.output.c_str(), nullptr);
    ProgressOf(b.pipeline)->editLength = plan.joints->end - plan.joints->origin + b.state->base;
    b.state->seek->target = plan.joints->seekTarget;
    g_signal_connect_data(
        parse, "pad-added", G_CALLBACK(OnSourcePad), builder.release(),
        [](gpointer p, GClosure *) { delete static_cast<Builder *>(p); }, GConnectFlags(0));
    GST_INFO("copy graph built: stamps from %" GST_STIME_FORMAT " before the origin",
             GST_STIME_ARGS(b.state->base));
    return ConversionGraph::FromGraph(pipeline.get(), graph);
}

} // namespace media
