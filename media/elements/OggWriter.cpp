#include "media/elements/OggWriter.h"

#include <gst/base/gstaggregator.h>
#include <ogg/ogg.h>

#include <algorithm>
#include <deque>
#include <string_view>
#include <vector>

namespace media {

namespace {

GST_DEBUG_CATEGORY_STATIC(g_oggLog);
#define GST_CAT_DEFAULT g_oggLog

constexpr guint64 kDefaultMaxDelay = 500 * GST_MSECOND;
constexpr guint64 kOpusRate = 48000; // Ogg Opus counts granules at 48 kHz whatever the input

const char kVideoCaps[] = "video/x-theora; video/x-vp8";
const char kAudioCaps[] = "audio/x-vorbis; audio/x-opus; audio/x-flac; audio/x-speex";

// A finished page waiting for its turn: pages go out in the order of the time they reach.
struct QueuedPage
{
    GstBuffer *buffer;
    GstClockTime end; // of the last packet the page completes; none when it completes none
};

struct PacketTimes
{
    GstClockTime start, end;
};

// One logical stream of the file.
struct OggStream
{
    ogg_stream_state state;
    bool video = false;
    std::vector<GstBuffer *> headers;
    bool headersFromCaps = false;
    bool started = false;  // its headers are known
    bool empty = false;    // it ended before any packet of data
    bool finished = false; // its last page is written, or it has none
    int opusPreSkip = -1;  // Opus only: opusenc puts byte offsets, not granules, in OFFSET_END
    ogg_int64_t packetNo = 0;
    ogg_int64_t granule = 0; // of the newest packet taken
    // The newest packet, written when the next one (or the stream's end) shows whether it is
    // the last: the last must carry the end-of-stream mark.
    GstBuffer *held = nullptr;
    ogg_int64_t heldGranule = 0;
    GstClockTime heldTime = GST_CLOCK_TIME_NONE;
    GstClockTime heldEnd = GST_CLOCK_TIME_NONE;
    std::deque<PacketTimes> open; // packets put on pages whose last page is not out yet
    std::deque<QueuedPage> pages;
    GstClockTime lastIn = GST_CLOCK_TIME_NONE;    // time of the packet last put on a page
    GstClockTime pageStart = GST_CLOCK_TIME_NONE; // time of the first packet on the open page

    OggStream() { ogg_stream_init(&state, 0); }
    ~OggStream()
    {
        Reset();
        ogg_stream_clear(&state);
    }
    OggStream(const OggStream &) = delete;
    OggStream &operator=(const OggStream &) = delete;

    // Back to before the first packet; the serial number and the kind stay.
    void Reset()
    {
        for (GstBuffer *buffer : headers)
            gst_buffer_unref(buffer);
        headers.clear();
        if (held)
            gst_buffer_unref(held);
        held = nullptr;
        for (const QueuedPage &page : pages)
            gst_buffer_unref(page.buffer);
        pages.clear();
        open.clear();
        headersFromCaps = started = empty = finished = false;
        opusPreSkip = -1;
        packetNo = granule = heldGranule = 0;
        heldTime = heldEnd = lastIn = pageStart = GST_CLOCK_TIME_NONE;
        ogg_stream_reset(&state);
    }
};

struct OggPad
{
    GstAggregatorPad parent;
    OggStream *stream;
};

struct OggPadClass
{
    GstAggregatorPadClass parent;
};

struct CwOggMux
{
    GstAggregator parent;
    guint64 maxDelay;
    bool headersWritten;
    guint padCount;
    GstClockTime lastPts;
};

struct CwOggMuxClass
{
    GstAggregatorClass parent;
};

enum { kPropMaxDelay = 1 };

GType g_type = 0;
GType g_padType = 0;
GstAggregatorClass *g_parentClass = nullptr;
GObjectClass *g_padParentClass = nullptr;

CwOggMux *Mux(GstAggregator *agg)
{
    return reinterpret_cast<CwOggMux *>(agg);
}

GstAggregatorPad *AggPad(OggPad *pad)
{
    return GST_AGGREGATOR_PAD(pad);
}

// The sink pads, held for one call.
class SinkPads
{
public:
    explicit SinkPads(GstAggregator *agg)
    {
        GST_OBJECT_LOCK(agg);
        for (GList *l = GST_ELEMENT(agg)->sinkpads; l; l = l->next)
            m_pads.push_back(static_cast<OggPad *>(gst_object_ref(l->data)));
        GST_OBJECT_UNLOCK(agg);
    }
    ~SinkPads()
    {
        for (OggPad *pad : m_pads)
            gst_object_unref(pad);
    }
    SinkPads(const SinkPads &) = delete;
    SinkPads &operator=(const SinkPads &) = delete;
    std::vector<OggPad *>::const_iterator begin() const { return m_pads.begin(); }
    std::vector<OggPad *>::const_iterator end() const { return m_pads.end(); }

private:
    std::vector<OggPad *> m_pads;
};

GstClockTime RunningTime(OggPad *pad, GstBuffer *buffer)
{
    const GstClockTime stamp
        = GST_BUFFER_PTS_IS_VALID(buffer) ? GST_BUFFER_PTS(buffer) : GST_BUFFER_DTS(buffer);
    if (!GST_CLOCK_TIME_IS_VALID(stamp))
        return GST_CLOCK_TIME_NONE;
    GST_OBJECT_LOCK(pad);
    const GstClockTime running
        = gst_segment_to_running_time(&AggPad(pad)->segment, GST_FORMAT_TIME, stamp);
    GST_OBJECT_UNLOCK(pad);
    return running;
}

GstBuffer *PageBuffer(const ogg_page &page)
{
    GstBuffer *buffer = gst_buffer_new_allocate(nullptr, page.header_len + page.body_len, nullptr);
    gst_buffer_fill(buffer, 0, page.header, page.header_len);
    gst_buffer_fill(buffer, page.header_len, page.body, page.body_len);
    return buffer;
}

// Header pages go out at once, before any other.
GstFlowReturn WriteHeaderPages(GstAggregator *agg, OggStream &s)
{
    ogg_page page;
    GstFlowReturn ret = GST_FLOW_OK;
    while (ret == GST_FLOW_OK && ogg_stream_flush(&s.state, &page) > 0) {
        GstBuffer *buffer = PageBuffer(page);
        GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_HEADER);
        ret = gst_aggregator_finish_buffer(agg, buffer);
    }
    return ret;
}

// Queues the stream's full pages, or with flush everything it holds. A page is stamped with the
// start of the first packet it completes and sorted by the end of the last one.
void QueuePages(OggStream &s, bool flush)
{
    ogg_page page;
    while ((flush ? ogg_stream_flush(&s.state, &page) : ogg_stream_pageout(&s.state, &page)) > 0) {
        QueuedPage queued{PageBuffer(page), GST_CLOCK_TIME_NONE};
        for (int n = ogg_page_packets(&page); n > 0 && !s.open.empty(); --n) {
            if (!GST_BUFFER_PTS_IS_VALID(queued.buffer))
                GST_BUFFER_PTS(queued.buffer) = s.open.front().start;
            queued.end = s.open.front().end;
            s.open.pop_front();
        }
        s.pages.push_back(queued);
        // What stays behind belongs to the packet put in last.
        s.pageStart = s.state.lacing_fill > 0 ? s.lastIn : GST_CLOCK_TIME_NONE;
    }
}

// Writes queued pages oldest first, as long as every stream that has not ended has one queued
// (its next page might come before the others'), so a reader finds the pages in time order.
// A page that completes no packet has no time to wait for.
GstFlowReturn Drain(GstAggregator *agg, const SinkPads &pads)
{
    CwOggMux *mux = Mux(agg);
    for (;;) {
        OggStream *oldest = nullptr;
        for (OggPad *pad : pads) {
            OggStream &s = *pad->stream;
            if (!s.pages.empty() && !GST_CLOCK_TIME_IS_VALID(s.pages.front().end)) {
                oldest = &s;
                break;
            }
            if (s.pages.empty() && !s.finished)
                return GST_FLOW_OK;
            if (!s.pages.empty() && (!oldest || s.pages.front().end < oldest->pages.front().end))
                oldest = &s;
        }
        if (!oldest)
            return GST_FLOW_OK;
        GstBuffer *buffer = oldest->pages.front().buffer;
        oldest->pages.pop_front();
        // Stamps never go back.
        if (GST_BUFFER_PTS_IS_VALID(buffer)) {
            if (GST_CLOCK_TIME_IS_VALID(mux->lastPts))
                GST_BUFFER_PTS(buffer) = std::max(GST_BUFFER_PTS(buffer), mux->lastPts);
            mux->lastPts = GST_BUFFER_PTS(buffer);
        }
        if (const GstFlowReturn ret = gst_aggregator_finish_buffer(agg, buffer); ret != GST_FLOW_OK)
            return ret;
    }
}

bool AddPacket(OggStream &s, GstBuffer *buffer, ogg_int64_t granule, bool bos, bool eos)
{
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return false;
    ogg_packet packet{};
    packet.packet = map.data;
    packet.bytes = long(map.size);
    packet.b_o_s = bos;
    packet.e_o_s = eos;
    packet.granulepos = granule;
    packet.packetno = s.packetNo++;
    const bool added = ogg_stream_packetin(&s.state, &packet) == 0; // libogg copies the bytes
    gst_buffer_unmap(buffer, &map);
    return added;
}

// The header packets the encoder put in the caps, as theoraenc, vorbisenc, opusenc, flacenc,
// speexenc and vp8enc do; FLAC's are the Ogg mapping's, unlike the native ones it sends in-band.
bool ReadCapsHeaders(GstPad *pad, std::vector<GstBuffer *> *headers)
{
    GstCaps *caps = gst_pad_get_current_caps(pad);
    if (!caps)
        return false;
    const GValue *array = gst_caps_get_size(caps) > 0
                              ? gst_structure_get_value(gst_caps_get_structure(caps, 0),
                                                        "streamheader")
                              : nullptr;
    if (array && GST_VALUE_HOLDS_ARRAY(array)) {
        for (guint i = 0; i < gst_value_array_get_size(array); ++i) {
            const GValue *item = gst_value_array_get_value(array, i);
            if (GST_VALUE_HOLDS_BUFFER(item))
                headers->push_back(gst_buffer_ref(gst_value_get_buffer(item)));
        }
    }
    gst_caps_unref(caps);
    return !headers->empty();
}

// The samples an Opus decoder drops at the start (OpusHead bytes 10-11), -1 for other codecs.
int OpusPreSkip(const std::vector<GstBuffer *> &headers)
{
    guint8 head[12];
    if (headers.empty() || gst_buffer_extract(headers[0], 0, head, sizeof head) != sizeof head
        || std::string_view(reinterpret_cast<const char *>(head), 8) != "OpusHead")
        return -1;
    return head[10] | head[11] << 8;
}

// Takes the stream's headers: the caps' "streamheader", else the buffers flagged as headers
// before its first packet of data. False while neither data nor the stream's end has come.
bool TakeHeaders(OggPad *pad)
{
    OggStream &s = *pad->stream;
    if (s.started)
        return true;
    if (s.headers.empty())
        s.headersFromCaps = ReadCapsHeaders(GST_PAD(pad), &s.headers);
    while (GstBuffer *next = gst_aggregator_pad_peek_buffer(AggPad(pad))) {
        const bool header = GST_BUFFER_FLAG_IS_SET(next, GST_BUFFER_FLAG_HEADER);
        gst_buffer_unref(next);
        if (!header)
            break;
        GstBuffer *taken = gst_aggregator_pad_pop_buffer(AggPad(pad));
        if (s.headersFromCaps)
            gst_buffer_unref(taken); // the same packets as the caps'
        else
            s.headers.push_back(taken);
    }
    const bool data = gst_aggregator_pad_has_buffer(AggPad(pad));
    if (!data && !gst_aggregator_pad_is_eos(AggPad(pad)))
        return false;
    s.started = true;
    s.empty = !data;
    s.opusPreSkip = OpusPreSkip(s.headers);
    return true;
}

// Every stream's first header alone on its first page, the pictures' first, so a reader knows
// all streams before anything else; then the other headers, flushed before any data.
GstFlowReturn WriteHeaders(GstAggregator *agg, const std::vector<OggStream *> &order)
{
    GstCaps *caps = gst_caps_new_empty_simple("application/ogg");
    gst_aggregator_set_src_caps(agg, caps);
    gst_caps_unref(caps);
    GstFlowReturn ret = GST_FLOW_OK;
    for (OggStream *s : order) {
        // A stream that ended before any data ends with its headers.
        AddPacket(*s, s->headers[0], 0, true, s->empty && s->headers.size() == 1);
        if (ret == GST_FLOW_OK)
            ret = WriteHeaderPages(agg, *s);
    }
    for (OggStream *s : order) {
        for (std::size_t i = 1; i < s->headers.size(); ++i)
            AddPacket(*s, s->headers[i], 0, false, s->empty && i + 1 == s->headers.size());
        if (ret == GST_FLOW_OK)
            ret = WriteHeaderPages(agg, *s);
        s->finished = s->empty;
    }
    return ret;
}

GstFlowReturn StartFile(GstAggregator *agg, const SinkPads &pads)
{
    std::vector<OggStream *> order;
    for (const bool video : {true, false}) {
        for (OggPad *pad : pads) {
            OggStream &s = *pad->stream;
            if (s.video != video)
                continue;
            if (s.headers.empty() && !s.empty) {
                GST_ELEMENT_ERROR(agg, STREAM, FORMAT, ("The Ogg writer got no stream headers."),
                                  ("%s has data but its caps carry no streamheader",
                                   GST_PAD_NAME(pad)));
                return GST_FLOW_NOT_NEGOTIATED;
            }
            if (s.headers.empty())
                s.finished = true; // neither format nor data: nothing to write
            else
                order.push_back(&s);
        }
    }
    return WriteHeaders(agg, order);
}

// Puts the packet held back on the stream's pages, as its last one when last.
bool WriteHeld(GstAggregator *agg, OggStream &s, bool last)
{
    if (!s.held) {
        QueuePages(s, last);
        return true;
    }
    // A picture that needs none before it starts a page, so a seek lands on it; a page that
    // spans too long goes out, so the streams stay interleaved.
    const bool key = s.video && !GST_BUFFER_FLAG_IS_SET(s.held, GST_BUFFER_FLAG_DELTA_UNIT);
    const bool longPage = GST_CLOCK_TIME_IS_VALID(s.pageStart)
                          && GST_CLOCK_TIME_IS_VALID(s.heldTime)
                          && s.heldTime > s.pageStart + Mux(agg)->maxDelay;
    if (s.state.lacing_fill > 0 && (key || longPage))
        QueuePages(s, true);
    if (s.state.lacing_fill == 0)
        s.pageStart = s.heldTime;
    s.lastIn = s.heldTime;
    s.open.push_back({s.heldTime, s.heldEnd});
    const bool added = AddPacket(s, s.held, s.heldGranule, false, last);
    gst_buffer_unref(s.held);
    s.held = nullptr;
    if (last)
        GST_DEBUG_OBJECT(agg, "stream %ld ends at granule %" G_GINT64_FORMAT, s.state.serialno,
                         gint64(s.heldGranule));
    QueuePages(s, last);
    if (!added)
        GST_ELEMENT_ERROR(agg, RESOURCE, WRITE, (nullptr), ("a packet could not be added"));
    return added;
}

ogg_int64_t GranuleOf(OggStream &s, GstBuffer *buffer, GstClockTime time)
{
    if (s.opusPreSkip >= 0) {
        // Samples decoded up to the packet's end, the dropped ones at the start included; the
        // duration of a last packet cut short counts what is kept.
        if (GST_CLOCK_TIME_IS_VALID(time) && GST_BUFFER_DURATION_IS_VALID(buffer))
            s.granule = s.opusPreSkip
                        + gint64(gst_util_uint64_scale_round(time + GST_BUFFER_DURATION(buffer),
                                                             kOpusRate, GST_SECOND));
    } else if (GST_BUFFER_OFFSET_END_IS_VALID(buffer)) {
        s.granule = gint64(GST_BUFFER_OFFSET_END(buffer));
    }
    return s.granule;
}

// Takes the pad's next packet and writes the one held back before it.
bool TakePacket(GstAggregator *agg, OggPad *pad)
{
    OggStream &s = *pad->stream;
    GstBuffer *buffer = gst_aggregator_pad_pop_buffer(AggPad(pad));
    if (!buffer)
        return true;
    // Headers sent again are on the first pages already; a gap (the aggregator's empty buffer
    // for a gap event) is no packet: an empty one would repeat a Theora picture.
    if (GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_HEADER)
        || (GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_GAP)
            && gst_buffer_get_size(buffer) == 0)) {
        gst_buffer_unref(buffer);
        return true;
    }
    const bool written = WriteHeld(agg, s, false);
    const GstClockTime time = RunningTime(pad, buffer);
    s.held = buffer;
    s.heldTime = GST_CLOCK_TIME_IS_VALID(time) ? time : s.lastIn;
    s.heldEnd = s.heldTime;
    if (GST_CLOCK_TIME_IS_VALID(time) && GST_BUFFER_DURATION_IS_VALID(buffer))
        s.heldEnd = time + GST_BUFFER_DURATION(buffer);
    s.heldGranule = GranuleOf(s, buffer, time);
    return written;
}

// The pad whose next packet comes first in running time (one without a time at once);
// nullptr when none has a packet. wait: a stream that has not ended has none yet.
OggPad *Earliest(const SinkPads &pads, bool *wait)
{
    OggPad *best = nullptr;
    GstClockTime bestTime = GST_CLOCK_TIME_NONE;
    for (OggPad *pad : pads) {
        if (pad->stream->finished)
            continue;
        GstBuffer *next = gst_aggregator_pad_peek_buffer(AggPad(pad));
        if (!next) {
            *wait = *wait || !gst_aggregator_pad_is_eos(AggPad(pad));
            continue;
        }
        const GstClockTime time = RunningTime(pad, next);
        gst_buffer_unref(next);
        if (!best || !GST_CLOCK_TIME_IS_VALID(time)
            || (GST_CLOCK_TIME_IS_VALID(bestTime) && time < bestTime)) {
            best = pad;
            bestTime = time;
        }
    }
    return best;
}

// Ends the streams whose input has ended: their last packet goes out marked as the last.
bool EndStreams(GstAggregator *agg, const SinkPads &pads)
{
    for (OggPad *pad : pads) {
        OggStream &s = *pad->stream;
        if (!s.started) {
            GST_ELEMENT_ERROR(agg, STREAM, MUX, ("The Ogg writer got a stream once it had begun."),
                              ("%s was added after the headers", GST_PAD_NAME(pad)));
            return false;
        }
        if (!s.finished && gst_aggregator_pad_is_eos(AggPad(pad))) {
            s.finished = true;
            if (!WriteHeld(agg, s, true))
                return false;
        }
    }
    return true;
}

GstFlowReturn Aggregate(GstAggregator *agg, gboolean)
{
    CwOggMux *mux = Mux(agg);
    SinkPads pads(agg);
    if (!mux->headersWritten) {
        for (OggPad *pad : pads)
            if (!TakeHeaders(pad))
                return GST_FLOW_OK; // the aggregator calls again when the pad has more
        mux->headersWritten = true;
        if (const GstFlowReturn ret = StartFile(agg, pads); ret != GST_FLOW_OK)
            return ret;
    }
    if (!EndStreams(agg, pads))
        return GST_FLOW_ERROR;
    bool wait = false;
    OggPad *next = Earliest(pads, &wait);
    if (next && !wait && !TakePacket(agg, next))
        return GST_FLOW_ERROR;
    const GstFlowReturn ret = Drain(agg, pads);
    return ret == GST_FLOW_OK && !next && !wait ? GST_FLOW_EOS : ret;
}

GstAggregatorPad *CreatePad(GstAggregator *agg, GstPadTemplate *templ, const gchar *,
                            const GstCaps *)
{
    if (templ->direction != GST_PAD_SINK)
        return nullptr;
    const bool video = g_str_has_prefix(templ->name_template, "video_");
    std::vector<int> serials;
    {
        SinkPads pads(agg);
        for (OggPad *pad : pads)
            serials.push_back(pad->stream->state.serialno);
    }
    int serial = 0;
    do
        serial = g_random_int_range(1, G_MAXINT32);
    while (std::find(serials.begin(), serials.end(), serial) != serials.end());
    GST_OBJECT_LOCK(agg);
    const guint index = Mux(agg)->padCount++;
    GST_OBJECT_UNLOCK(agg);
    gchar *name = g_strdup_printf(video ? "video_%u" : "audio_%u", index);
    auto *pad = static_cast<OggPad *>(g_object_new(g_padType, "name", name, "direction",
                                                   GST_PAD_SINK, "template", templ, nullptr));
    g_free(name);
    pad->stream->video = video;
    ogg_stream_reset_serialno(&pad->stream->state, serial);
    return AggPad(pad);
}

gboolean Stop(GstAggregator *agg)
{
    CwOggMux *mux = Mux(agg);
    mux->headersWritten = false;
    mux->lastPts = GST_CLOCK_TIME_NONE;
    SinkPads pads(agg);
    for (OggPad *pad : pads)
        pad->stream->Reset();
    return TRUE;
}

// The file is written front to back: an encoder that would go back to rewrite its headers
// (flacenc, at its end) must not think it can, or its rewrite would arrive as packets.
gboolean SinkQuery(GstAggregator *agg, GstAggregatorPad *pad, GstQuery *query)
{
    if (GST_QUERY_TYPE(query) != GST_QUERY_SEEKING)
        return g_parentClass->sink_query(agg, pad, query);
    GstFormat format;
    gst_query_parse_seeking(query, &format, nullptr, nullptr, nullptr);
    gst_query_set_seeking(query, format, FALSE, 0, -1);
    return TRUE;
}

void SetProperty(GObject *object, guint id, const GValue *value, GParamSpec *spec)
{
    if (id == kPropMaxDelay)
        reinterpret_cast<CwOggMux *>(object)->maxDelay = g_value_get_uint64(value);
    else
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
}

void GetProperty(GObject *object, guint id, GValue *value, GParamSpec *spec)
{
    if (id == kPropMaxDelay)
        g_value_set_uint64(value, reinterpret_cast<CwOggMux *>(object)->maxDelay);
    else
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
}

void AddTemplate(GstElementClass *klass, const char *name, GstPadDirection direction,
                 GstPadPresence presence, const char *caps, GType type)
{
    GstCaps *parsed = gst_caps_from_string(caps);
    gst_element_class_add_pad_template(
        klass, gst_pad_template_new_with_gtype(name, direction, presence, parsed, type));
    gst_caps_unref(parsed);
}

void ClassInit(gpointer klass, gpointer)
{
    g_parentClass = GST_AGGREGATOR_CLASS(g_type_class_peek_parent(klass));
    auto *objectClass = G_OBJECT_CLASS(klass);
    objectClass->set_property = SetProperty;
    objectClass->get_property = GetProperty;
    g_object_class_install_property(
        objectClass, kPropMaxDelay,
        g_param_spec_uint64("max-delay", "Max page delay",
                            "Longest time (ns) one page of a stream spans before it is written",
                            0, G_MAXUINT64, kDefaultMaxDelay,
                            GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    auto *elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_set_metadata(elementClass, "Ogg writer", "Codec/Muxer",
                                   "Writes Theora or VP8 pictures and Vorbis, Opus, FLAC or Speex "
                                   "sound into Ogg, every packet of them",
                                   "Clipwright");
    AddTemplate(elementClass, "src", GST_PAD_SRC, GST_PAD_ALWAYS, "application/ogg",
                GST_TYPE_AGGREGATOR_PAD);
    AddTemplate(elementClass, "video_%u", GST_PAD_SINK, GST_PAD_REQUEST, kVideoCaps, g_padType);
    AddTemplate(elementClass, "audio_%u", GST_PAD_SINK, GST_PAD_REQUEST, kAudioCaps, g_padType);
    auto *aggregatorClass = GST_AGGREGATOR_CLASS(klass);
    aggregatorClass->aggregate = Aggregate;
    aggregatorClass->create_new_pad = CreatePad;
    aggregatorClass->stop = Stop;
    aggregatorClass->sink_query = SinkQuery;
}

void InstanceInit(GTypeInstance *instance, gpointer)
{
    CwOggMux *mux = reinterpret_cast<CwOggMux *>(instance);
    mux->maxDelay = kDefaultMaxDelay;
    mux->headersWritten = false;
    mux->padCount = 0;
    mux->lastPts = GST_CLOCK_TIME_NONE;
}

void PadFinalize(GObject *object)
{
    delete reinterpret_cast<OggPad *>(object)->stream;
    g_padParentClass->finalize(object);
}

void PadClassInit(gpointer klass, gpointer)
{
    g_padParentClass = G_OBJECT_CLASS(g_type_class_peek_parent(klass));
    G_OBJECT_CLASS(klass)->finalize = PadFinalize;
}

void PadInit(GTypeInstance *instance, gpointer)
{
    reinterpret_cast<OggPad *>(instance)->stream = new OggStream;
}

} // namespace

bool RegisterOggWriter(GstPlugin *plugin)
{
    if (!g_type) {
        GST_DEBUG_CATEGORY_INIT(g_oggLog, "clipwright-ogg", 0, "Ogg writer");
        const GTypeInfo padInfo = {sizeof(OggPadClass), nullptr, nullptr, PadClassInit,
                                   nullptr,             nullptr, sizeof(OggPad),
                                   0,                   PadInit, nullptr};
        g_padType = g_type_register_static(GST_TYPE_AGGREGATOR_PAD, "CwOggMuxPad", &padInfo,
                                           GTypeFlags(0));
        const GTypeInfo info = {sizeof(CwOggMuxClass), nullptr, nullptr, ClassInit,
                                nullptr,               nullptr, sizeof(CwOggMux),
                                0,                     InstanceInit, nullptr};
        g_type = g_type_register_static(GST_TYPE_AGGREGATOR, "CwOggMux", &info, GTypeFlags(0));
    }
    return gst_element_register(plugin, kOggWriterFactory, GST_RANK_NONE, g_type);
}

} // namespace media
