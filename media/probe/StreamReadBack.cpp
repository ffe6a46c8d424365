#include "media/probe/StreamReadBack.h"

#include "media/core/Diagnostics.h"
#include "media/core/GstHandles.h"
#include "media/core/MediaPlatform.h"

#include <gst/gst.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#define GST_CAT_DEFAULT cw_probe_debug

namespace media {

namespace {

// One stream as its packets go by.
struct StreamWatch
{
    std::mutex *mutex;
    WrittenStream stream;
    GstSegment segment;
    gint64 first = -1, maxStart = -1, end = -1; // ns, stream time
    GstClockTime next = GST_CLOCK_TIME_NONE;    // where the last packet ended, buffer time
    std::vector<gint64> starts;                 // ns, of each picture
    bool unstamped = false;                     // a picture had no presentation time
    gint64 packetNs = -1; // a sound packet's length where the stream's packets state none
};

// WMA packets carry no duration in ASF, and a few of them may share one stamp: each holds one
// codec frame, whose length follows from the rate.
void TakeCaps(StreamWatch *watch, const GstCaps *caps)
{
    if (!caps || gst_caps_get_size(caps) == 0)
        return;
    const GstStructure *s = gst_caps_get_structure(caps, 0);
    watch->stream.type = gst_structure_get_name(s);
    watch->stream.video = g_str_has_prefix(watch->stream.type.c_str(), "video/");
    watch->stream.audio = g_str_has_prefix(watch->stream.type.c_str(), "audio/");
    int rate = 0;
    if (gst_structure_has_name(s, "audio/x-wma") && gst_structure_get_int(s, "rate", &rate)
        && rate > 0) {
        const int samples = rate <= 16000 ? 512 : rate <= 22050 ? 1024 : 2048;
        watch->packetNs = gint64(gst_util_uint64_scale(samples, GST_SECOND, rate));
    }
}

struct ReadBack
{
    std::mutex mutex;
    GstElement *pipeline = nullptr;
    std::vector<std::unique_ptr<StreamWatch>> watches;
};

gint64 StreamTime(const GstSegment &segment, GstClockTime t)
{
    if (segment.format != GST_FORMAT_TIME)
        return gint64(t);
    const guint64 time = gst_segment_to_stream_time(&segment, GST_FORMAT_TIME, t);
    return GST_CLOCK_TIME_IS_VALID(time) ? gint64(time) : gint64(t);
}

GstPadProbeReturn OnPacket(GstPad *, GstPadProbeInfo *info, gpointer data)
{
    auto *watch = static_cast<StreamWatch *>(data);
    std::lock_guard lock(*watch->mutex);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
            const GstSegment *segment = nullptr;
            gst_event_parse_segment(event, &segment);
            gst_segment_copy_into(segment, &watch->segment);
        } else if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
            GstCaps *caps = nullptr;
            gst_event_parse_caps(event, &caps);
            TakeCaps(watch, caps);
        }
        return GST_PAD_PROBE_OK;
    }
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer)
        return GST_PAD_PROBE_OK;
    GstClockTime t = GST_BUFFER_PTS(buffer);
    if (!GST_CLOCK_TIME_IS_VALID(t))
        t = GST_BUFFER_DTS(buffer);
    // Codec headers (Theora's, Vorbis') are no frames; a picture that carries its parameter
    // sets along (H.264) is one, and it has a time.
    if (GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_HEADER) && !GST_CLOCK_TIME_IS_VALID(t))
        return GST_PAD_PROBE_OK;
    // An empty packet repeats the picture before it in Theora; other readers skip it, so it
    // counts as no frame.
    if (watch->stream.video && gst_buffer_get_size(buffer) == 0)
        return GST_PAD_PROBE_OK;
    // Ogg's demuxer stamps no packet of a page that ends no other: a stream of one picture has
    // only that one. A packet that knows its duration follows the one before it, or starts the
    // stream.
    const bool inferred = !GST_CLOCK_TIME_IS_VALID(t) && GST_BUFFER_DURATION_IS_VALID(buffer);
    if (inferred)
        t = GST_CLOCK_TIME_IS_VALID(watch->next) ? watch->next : watch->segment.start;
    if (GST_CLOCK_TIME_IS_VALID(t) && GST_BUFFER_DURATION_IS_VALID(buffer))
        watch->next = t + GST_BUFFER_DURATION(buffer);
    ++watch->stream.packets;
    if (watch->stream.video) {
        if (GST_BUFFER_PTS_IS_VALID(buffer) || inferred)
            watch->starts.push_back(
                StreamTime(watch->segment, inferred ? t : GST_BUFFER_PTS(buffer)));
        else
            watch->unstamped = true;
    }
    if (!GST_CLOCK_TIME_IS_VALID(t))
        return GST_PAD_PROBE_OK;
    const gint64 start = StreamTime(watch->segment, t);
    watch->first = watch->first < 0 ? start : std::min(watch->first, start);
    watch->maxStart = std::max(watch->maxStart, start);
    if (GST_BUFFER_DURATION_IS_VALID(buffer))
        watch->end = std::max(watch->end,
                              gint64(StreamTime(watch->segment, t) + GST_BUFFER_DURATION(buffer)));
    else if (watch->packetNs > 0)
        watch->end = std::max(watch->end, start + watch->packetNs);
    return GST_PAD_PROBE_OK;
}

void OnPadAdded(GstElement *, GstPad *pad, gpointer data)
{
    auto *readBack = static_cast<ReadBack *>(data);
    GstElement *sink = gst_element_factory_make("fakesink", nullptr);
    if (!sink)
        return;
    // No preroll: the one demuxer thread feeds every sink.
    g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
    gst_bin_add(GST_BIN(readBack->pipeline), sink);
    gst_element_sync_state_with_parent(sink);
    auto watch = std::make_unique<StreamWatch>();
    watch->mutex = &readBack->mutex;
    gst_segment_init(&watch->segment, GST_FORMAT_TIME);
    gst::Caps caps(gst_pad_get_current_caps(pad));
    TakeCaps(watch.get(), caps.get());
    gst_pad_add_probe(
        pad, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
        OnPacket, watch.get(), nullptr);
    {
        std::lock_guard lock(readBack->mutex);
        readBack->watches.push_back(std::move(watch));
    }
    gst::Pad sinkPad(gst_element_get_static_pad(sink, "sink"));
    gst_pad_link(pad, sinkPad.get());
}

// Plays the pipeline to its end: "" then, else why it could not be read.
std::string ReadToEnd(GstElement *pipeline, std::chrono::milliseconds timeout)
{
    gst::Bus bus(gst_element_get_bus(pipeline));
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return "it cannot be opened";
    gst::Message message(
        gst_bus_timed_pop_filtered(bus.get(), GstClockTime(timeout.count()) * GST_MSECOND,
                                   GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    if (!message)
        return "reading it took too long";
    if (GST_MESSAGE_TYPE(message.get()) != GST_MESSAGE_ERROR)
        return {};
    GError *raw = nullptr;
    gst_message_parse_error(message.get(), &raw, nullptr);
    gst::Error e(raw);
    std::string failure = e ? e->message : "an unknown error";
    while (!failure.empty() && (failure.back() == '.' || failure.back() == ' '))
        failure.pop_back();
    return failure;
}

// What one stream of the file holds, from what its watch saw.
WrittenStream Summary(const StreamWatch &watch)
{
    WrittenStream stream = watch.stream;
    gint64 end = watch.end;
    // A last packet without a duration lasts as long as the packets before it on average.
    if (watch.maxStart >= 0 && end < watch.maxStart) {
        end = watch.maxStart;
        if (stream.packets > 1)
            end += (watch.maxStart - watch.first) / gint64(stream.packets - 1);
    }
    if (stream.video && !watch.unstamped && watch.starts.size() > 1) {
        std::vector<gint64> starts = watch.starts;
        std::sort(starts.begin(), starts.end());
        std::size_t longest = 1;
        for (std::size_t i = 2; i < starts.size(); ++i)
            if (starts[i] - starts[i - 1] > starts[longest] - starts[longest - 1])
                longest = i;
        stream.longestStep = (starts[longest] - starts[longest - 1]) / 100;
        stream.longestStepAt = starts[longest - 1] / 100;
    }
    stream.first = watch.first < 0 ? -1 : watch.first / 100;
    stream.end = end < 0 ? -1 : end / 100;
    return stream;
}

} // namespace

bool ReadBackStreams(const std::string &path, WrittenFile *file, std::string *error,
                     std::chrono::milliseconds timeout)
{
    auto fail = [error](const std::string &text) {
        if (error)
            *error = text;
        return false;
    };
    std::string reason;
    if (!InitializeMediaPlatform(&reason, MediaServices::Playback))
        return fail(reason);
    ReadBack readBack;
    gst::Element pipeline(gst::Adopt(gst_pipeline_new("read-back")));
    GstElement *source = gst_element_factory_make("filesrc", nullptr);
    GstElement *parse = gst_element_factory_make("parsebin", nullptr);
    if (!pipeline || !source || !parse) {
        if (source)
            gst_object_unref(gst_object_ref_sink(source));
        if (parse)
            gst_object_unref(gst_object_ref_sink(parse));
        return fail("The media framework cannot read files back (filesrc, parsebin).");
    }
    readBack.pipeline = pipeline.get();
    g_object_set(source, "location", path.c_str(), nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), source, parse, nullptr);
    gst_element_link(source, parse);
    g_signal_connect(parse, "pad-added", G_CALLBACK(OnPadAdded), &readBack);

    const std::string failure = ReadToEnd(pipeline.get(), timeout);
    const bool ok = failure.empty();
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    if (!ok) {
        GST_INFO("reading back %s failed: %s", path.c_str(), failure.c_str());
        return fail(failure);
    }

    file->streams.clear();
    std::lock_guard lock(readBack.mutex);
    for (const auto &watch : readBack.watches) {
        const WrittenStream stream = Summary(*watch);
        GST_INFO("read back %s: %s, %" G_GUINT64_FORMAT " packets, %.6f s to %.6f s, longest "
                 "picture step %.6f s (-1: none known)",
                 path.c_str(), stream.type.c_str(), stream.packets, stream.first / 1e7,
                 stream.end / 1e7, stream.longestStep < 0 ? -1.0 : stream.longestStep / 1e7);
        file->streams.push_back(stream);
    }
    return true;
}

} // namespace media
