#include "media/output/SourceWatch.h"

#include "media/core/GstHandles.h"
#include "media/output/GroupProgress.h"

#include <gst/gst.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace media {

namespace {

const char *const kSourcesKey = "cw-sources";
// Containers state lengths a little longer than their streams (priming, rounding, estimates):
// a file that ends this close to its clip's end has delivered it.
constexpr gint64 kShortfallTolerance = 250 * GST_MSECOND;
// A stretch the decoder gave nothing for counts once it is longer than this (a frame or two of
// jitter is not missing data), and the conversion fails once the stretches of a stream add up
// to more than the limit: a few frames.
constexpr gint64 kGapTolerance = 50 * GST_MSECOND;
constexpr gint64 kUndecodedLimit = 200 * GST_MSECOND;
// Coded input a decoder has not answered yet, at most (a stream no track decodes).
constexpr std::size_t kMaxPending = 1 << 16;

// One decoded stream of a clip: how far it came (in its buffers' time), and whether it ended.
struct SourceStream
{
    std::string uri;
    GstSegment segment{};
    bool haveSegment = false;
    gint64 reached = -1;
    bool ended = false;
    gint64 lastEnd = -1;  // end of the last buffer, while it had a duration
    gint64 undecoded = 0; // the stretches the decoder gave nothing for
    bool picture = false;
    std::string id; // the stream's id, as its decoder's input carries it too

    bool EndedShort() const
    {
        // A stream that ended without a single buffer delivered nothing of its clip, however
        // long that is (a cut file whose stamps lie outside it).
        if (ended && reached < 0)
            return true;
        if (!ended || !haveSegment || !GST_CLOCK_TIME_IS_VALID(segment.stop))
            return false;
        return std::max<gint64>(reached, segment.start) + kShortfallTolerance
               < gint64(segment.stop);
    }
};

struct Sources;

// One clip's decoder: a file is decoded once per track, and a decoder that has not shown its
// streams yet (the picture's, still prerolling, while a short sound has already ended) would
// be missing from the judgement.
struct DecoderWatch
{
    Sources *sources;
    std::string uri;
    int streams = 0;
    // The file's length is a number in its header only (Matroska, WebM, FLV, and Windows Media,
    // whose index comes last and goes first when the file is cut), not an index of its frames;
    // and the file's size when its streams were found.
    bool lengthClaimed = false;
    long long size = -1;
};

// What the demuxer handed a decoder and the decoder has not answered yet: the stamps of its
// coded input from the decoder's last output on. A stream that has no packets for a stretch (a
// gap in a sound track, a picture held for a second) is no damage; one whose packets were
// delivered and gave nothing is.
struct DecoderInput
{
    std::vector<gint64> pending;
};

struct Sources
{
    std::mutex mutex;
    std::vector<std::shared_ptr<SourceStream>> streams;
    std::map<std::string, DecoderInput> inputs; // by stream id
    std::vector<std::unique_ptr<DecoderWatch>> decoders;
    bool reported = false;
    GroupProgress *progress = nullptr;
    std::string note; // said once the conversion is done
};

struct PadWatch
{
    Sources *sources;
    std::shared_ptr<SourceStream> stream;
};

std::string Seconds(gint64 ns)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", double(std::max<gint64>(ns, 0)) / GST_SECOND);
    return text;
}

std::string UriOf(GstElement *decoder)
{
    gchar *uri = nullptr;
    g_object_get(decoder, "uri", &uri, nullptr);
    gst::String owned(uri);
    return owned ? owned.get() : std::string();
}

std::string PathOf(const std::string &uri)
{
    gst::String path(g_filename_from_uri(uri.c_str(), nullptr, nullptr));
    return path ? path.get() : uri;
}

long long SizeOf(const std::string &uri)
{
    struct stat st;
    return stat(PathOf(uri).c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// Whether the decoder reads a container whose length is only a number in its header.
bool LengthClaimed(GstElement *decoder)
{
    bool claimed = false;
    GstIterator *it = gst_bin_iterate_recurse(GST_BIN(decoder));
    GValue item = G_VALUE_INIT;
    while (!claimed && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        GstElementFactory *factory
            = gst_element_get_factory(GST_ELEMENT(g_value_get_object(&item)));
        const char *name = factory ? GST_OBJECT_NAME(factory) : "";
        claimed = g_str_equal(name, "matroskademux") || g_str_equal(name, "flvdemux")
                  || g_str_equal(name, "asfdemux");
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return claimed;
}

// Where the decoder of a stream was found, with what it found of the file.
const DecoderWatch *DecoderOf(const Sources &sources, const std::string &uri)
{
    for (const auto &decoder : sources.decoders)
        if (decoder->uri == uri && decoder->streams > 0)
            return decoder.get();
    return nullptr;
}

// Whether the decoder of stream was handed coded data for a stretch of from..to that it gave
// nothing for; forgets what it was handed before to. Called locked.
bool InputWithin(Sources &sources, const SourceStream &stream, gint64 from, gint64 to)
{
    auto found = sources.inputs.find(stream.id);
    if (found == sources.inputs.end())
        return true; // no decoder input seen: judged by the output alone
    std::vector<gint64> &pending = found->second.pending;
    const bool within = std::any_of(pending.begin(), pending.end(),
                                    [&](gint64 t) { return t >= from && t + kGapTolerance < to; });
    std::erase_if(pending, [&](gint64 t) { return t < to; });
    return within;
}

// A stretch of a stream the decoder gave nothing for, from..to in the buffers' time: its data
// could not be decoded, and the timeline would repeat the last picture or write silence over
// it. Called locked; returns the message once the stretches pass the limit.
std::string Undecoded(Sources &sources, SourceStream &stream, gint64 from, gint64 to)
{
    stream.undecoded += to - from;
    if (sources.reported || stream.undecoded <= kUndecodedLimit)
        return {};
    sources.reported = true;
    const gint64 start = gint64(stream.segment.start);
    std::string text = "The input " + PathOf(stream.uri)
                       + " could not be decoded: " + (stream.picture ? "its picture" : "its sound")
                       + " is missing from " + Seconds(from - start) + " to " + Seconds(to - start);
    if (stream.undecoded > to - from)
        text += " (" + Seconds(stream.undecoded) + " in all)";
    if (GST_CLOCK_TIME_IS_VALID(stream.segment.stop))
        text += " of the " + Seconds(gint64(stream.segment.stop) - start) + " to convert";
    return text + ".";
}

// After a stream of a file ended: when every stream of that file ended short of its clip, the
// file stopped delivering. Called locked; returns the message, empty when all is well.
std::string Shortfall(Sources &sources, const SourceStream &ended)
{
    if (sources.reported)
        return {};
    for (const auto &decoder : sources.decoders)
        if ((decoder->uri == ended.uri || decoder->uri.empty()) && decoder->streams == 0)
            return {}; // a stream of the file is still to come
    gint64 reached = 0, length = 0;
    bool any = false;
    for (const auto &s : sources.streams) {
        if (s->uri != ended.uri)
            continue;
        if (!s->EndedShort())
            return {};
        any = true;
        if (s->reached >= 0)
            reached = std::max(reached, s->reached - gint64(s->segment.start));
        if (s->haveSegment && GST_CLOCK_TIME_IS_VALID(s->segment.stop))
            length = std::max(length, gint64(s->segment.stop - s->segment.start));
    }
    if (!any)
        return {};
    sources.reported = true;
    // A file whose header claims more than its streams hold, read whole: what they hold is
    // converted. One that shrank while it was read was cut.
    const DecoderWatch *decoder = DecoderOf(sources, ended.uri);
    if (decoder && decoder->lengthClaimed && reached > 0 && length > 0
        && SizeOf(ended.uri) >= decoder->size) {
        sources.note = "the input " + PathOf(ended.uri) + " holds " + Seconds(reached) + " of the "
                       + Seconds(length) + " its header states; what it holds was converted";
        return {};
    }
    if (length <= 0)
        return "The input " + PathOf(ended.uri) + " delivered nothing of the part to convert.";
    return "The input " + PathOf(ended.uri) + " stopped delivering at " + Seconds(reached)
           + " of the " + Seconds(length) + " to convert.";
}

// A decoded buffer: how far the stream reached, and a gap the file has packets for (a failure).
std::string OnStreamBuffer(PadWatch &watch, GstBuffer *buffer)
{
    SourceStream &stream = *watch.stream;
    if (!stream.haveSegment || !buffer || !GST_BUFFER_PTS_IS_VALID(buffer))
        return {};
    std::string failure;
    // In the buffers' own time, as the segment's start and stop are.
    const gint64 start = gint64(GST_BUFFER_PTS(buffer));
    gint64 end = start;
    if (GST_BUFFER_DURATION_IS_VALID(buffer))
        end += gint64(GST_BUFFER_DURATION(buffer));
    // Without durations (a variable rate) a step between buffers says nothing, nor does one
    // the file has no packets for.
    if (stream.lastEnd >= 0 && start - stream.lastEnd > kGapTolerance
        && InputWithin(*watch.sources, stream, stream.lastEnd, start))
        failure = Undecoded(*watch.sources, stream, stream.lastEnd, start);
    else if (auto input = watch.sources->inputs.find(stream.id);
             input != watch.sources->inputs.end())
        std::erase_if(input->second.pending, [&](gint64 t) { return t < start; });
    stream.lastEnd = GST_BUFFER_DURATION_IS_VALID(buffer) ? std::max(stream.lastEnd, end) : -1;
    stream.reached = std::max(stream.reached, end);
    return failure;
}

// The end of a decoded stream: where a picture ends short of a claimed length, and a stream
// that ended short (a failure).
std::string OnStreamEnd(PadWatch &watch)
{
    SourceStream &stream = *watch.stream;
    stream.ended = true;
    Sources &sources = *watch.sources;
    // The timeline would repeat the last picture up to the claimed length; the picture ends
    // where the file's does.
    const DecoderWatch *decoder = DecoderOf(sources, stream.uri);
    if (stream.picture && stream.EndedShort() && stream.reached >= 0 && decoder
        && decoder->lengthClaimed && sources.progress)
        sources.progress->pictureEnd.store(stream.reached - gint64(stream.segment.start));
    return Shortfall(sources, stream);
}

// A decoded stream's events: its identity, segment and kind, a flush, and its end.
std::string OnStreamEvent(PadWatch &watch, GstEvent *event)
{
    SourceStream &stream = *watch.stream;
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_STREAM_START: {
        const gchar *id = nullptr;
        gst_event_parse_stream_start(event, &id);
        stream.id = id ? id : "";
        break;
    }
    case GST_EVENT_SEGMENT: {
        const GstSegment *segment = nullptr;
        gst_event_parse_segment(event, &segment);
        stream.haveSegment = segment->format == GST_FORMAT_TIME;
        if (stream.haveSegment)
            gst_segment_copy_into(segment, &stream.segment);
        stream.lastEnd = -1;
        break;
    }
    case GST_EVENT_CAPS: {
        GstCaps *caps = nullptr;
        gst_event_parse_caps(event, &caps);
        stream.picture = caps && gst_caps_get_size(caps) > 0
                         && g_str_has_prefix(
                             gst_structure_get_name(gst_caps_get_structure(caps, 0)), "video/");
        break;
    }
    case GST_EVENT_FLUSH_STOP:
        stream.reached = -1;
        stream.lastEnd = -1;
        stream.ended = false;
        break;
    case GST_EVENT_EOS:
        return OnStreamEnd(watch);
    default:
        break;
    }
    return {};
}

GstPadProbeReturn OnStream(GstPad *pad, GstPadProbeInfo *info, gpointer data)
{
    auto *watch = static_cast<PadWatch *>(data);
    std::string failure;
    {
        std::lock_guard lock(watch->sources->mutex);
        if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER)
            failure = OnStreamBuffer(*watch, GST_PAD_PROBE_INFO_BUFFER(info));
        else
            failure = OnStreamEvent(*watch, GST_PAD_PROBE_INFO_EVENT(info));
    }
    if (!failure.empty()) {
        GstElement *decoder = GST_ELEMENT(gst_pad_get_parent_element(pad));
        GError *error
            = g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_FAILED, failure.c_str());
        if (decoder) {
            gst_element_post_message(decoder,
                                     gst_message_new_error(GST_OBJECT(decoder), error, nullptr));
            gst_object_unref(decoder);
        }
        g_error_free(error);
    }
    return GST_PAD_PROBE_OK;
}

void OnDecodedPad(GstElement *decoder, GstPad *pad, gpointer data)
{
    if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC)
        return;
    auto *watch = static_cast<DecoderWatch *>(data);
    Sources *sources = watch->sources;
    auto stream = std::make_shared<SourceStream>();
    stream->uri = UriOf(decoder);
    gst_segment_init(&stream->segment, GST_FORMAT_TIME);
    const bool claimed = LengthClaimed(decoder);
    const long long size = SizeOf(stream->uri);
    {
        std::lock_guard lock(sources->mutex);
        watch->uri = stream->uri;
        if (watch->streams++ == 0) {
            watch->lengthClaimed = claimed;
            watch->size = size;
        }
        sources->streams.push_back(stream);
    }
    gst_pad_add_probe(pad,
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER
                                      | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM
                                      | GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      OnStream, new PadWatch{sources, stream},
                      [](gpointer p) { delete static_cast<PadWatch *>(p); });
}

void Watch(GstElement *element, Sources *sources)
{
    GstElementFactory *factory = gst_element_get_factory(element);
    if (!factory || !g_str_equal(GST_OBJECT_NAME(factory), "uridecodebin"))
        return;
    if (g_object_get_data(G_OBJECT(element), kSourcesKey))
        return; // watched already
    g_object_set_data(G_OBJECT(element), kSourcesKey, sources);
    DecoderWatch *watch = nullptr;
    {
        std::lock_guard lock(sources->mutex);
        sources->decoders.push_back(
            std::make_unique<DecoderWatch>(DecoderWatch{sources, UriOf(element)}));
        watch = sources->decoders.back().get();
    }
    g_signal_connect(element, "pad-added", G_CALLBACK(OnDecodedPad), watch);
}

// A decoder's sink pad: the stamps of what it is handed, under the stream's id.
struct InputWatch
{
    Sources *sources;
    std::string id;
};

GstPadProbeReturn OnDecoderInput(GstPad *, GstPadProbeInfo *info, gpointer data)
{
    auto *watch = static_cast<InputWatch *>(data);
    if (!(GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER)) {
        GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_STREAM_START) {
            const gchar *id = nullptr;
            gst_event_parse_stream_start(event, &id);
            std::lock_guard lock(watch->sources->mutex);
            watch->id = id ? id : "";
            watch->sources->inputs[watch->id].pending.clear();
        } else if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP) {
            std::lock_guard lock(watch->sources->mutex);
            if (auto input = watch->sources->inputs.find(watch->id);
                input != watch->sources->inputs.end())
                input->second.pending.clear();
        }
        return GST_PAD_PROBE_OK;
    }
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer || gst_buffer_get_size(buffer) == 0)
        return GST_PAD_PROBE_OK;
    const GstClockTime t
        = GST_BUFFER_PTS_IS_VALID(buffer) ? GST_BUFFER_PTS(buffer) : GST_BUFFER_DTS(buffer);
    if (!GST_CLOCK_TIME_IS_VALID(t))
        return GST_PAD_PROBE_OK;
    std::lock_guard lock(watch->sources->mutex);
    if (watch->id.empty())
        return GST_PAD_PROBE_OK;
    std::vector<gint64> &pending = watch->sources->inputs[watch->id].pending;
    // A stream no track decodes is parsed all the same: keep its record bounded.
    if (pending.size() >= kMaxPending)
        pending.erase(pending.begin(), pending.begin() + kMaxPending / 2);
    pending.push_back(gint64(t));
    return GST_PAD_PROBE_OK;
}

// A decoder, or a parser before one: a parser finds no frames in zeroed data and hands its
// decoder nothing, so what the demuxer delivered shows at the parser.
bool TakesCodedInput(GstElement *element)
{
    GstElementFactory *factory = gst_element_get_factory(element);
    const char *klass
        = factory ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS) : nullptr;
    return klass && (std::strstr(klass, "Decoder") || std::strstr(klass, "Parser"));
}

void OnDeepElementAdded(GstBin *, GstBin *, GstElement *element, gpointer data)
{
    auto *sources = static_cast<Sources *>(data);
    Watch(element, sources);
    if (!TakesCodedInput(element))
        return;
    gst::Pad sink(gst_element_get_static_pad(element, "sink"));
    if (sink)
        gst_pad_add_probe(sink.get(),
                          GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER
                                          | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM
                                          | GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                          OnDecoderInput, new InputWatch{sources, {}},
                          [](gpointer p) { delete static_cast<InputWatch *>(p); });
}

} // namespace

void WatchSources(GstElement *pipeline)
{
    if (!pipeline || !GST_IS_BIN(pipeline) || g_object_get_data(G_OBJECT(pipeline), kSourcesKey))
        return;
    auto *sources = new Sources;
    sources->progress = ProgressOf(pipeline);
    g_object_set_data_full(G_OBJECT(pipeline), kSourcesKey, sources,
                           [](gpointer p) { delete static_cast<Sources *>(p); });
    g_signal_connect(pipeline, "deep-element-added", G_CALLBACK(OnDeepElementAdded), sources);
    GstIterator *it = gst_bin_iterate_recurse(GST_BIN(pipeline));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        Watch(GST_ELEMENT(g_value_get_object(&item)), sources);
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
}

std::string SourceNote(GstElement *pipeline)
{
    auto *sources = pipeline
                        ? static_cast<Sources *>(g_object_get_data(G_OBJECT(pipeline), kSourcesKey))
                        : nullptr;
    if (!sources)
        return {};
    std::lock_guard lock(sources->mutex);
    return sources->note;
}

} // namespace media
