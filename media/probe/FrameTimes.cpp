#include "media/probe/FrameTimes.h"

#include "media/core/GstHandles.h"
#include "media/core/MediaPlatform.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <numeric>

namespace media {

namespace {

// Pictures arrive in decoding order: a frame can come this many packets after frames that
// follow it, so the last ones read may still miss a neighbour.
constexpr int kReorderDepth = 16;
// Millisecond containers (ASF, Matroska, WebM) round or cut each stamp to the millisecond; a
// stamp then lies up to 1 ms away from its frame's start, measured from the first one.
constexpr double kStampToleranceNs = 1.0e6 + 1.0e3;
// Frames never lie this far apart, nor come this much out of order.
constexpr std::int64_t kClockJumpNs = 10 * std::int64_t(GST_SECOND);
// Enough frames to tell 24 from 23.976 fps in millisecond stamps (2 ms apart after 2 s), read
// at every open; a rate that varies is averaged over more.
constexpr int kFramesForAGrid = 120;
constexpr int kFramesForAnAverage = 600;
constexpr GstClockTime kReadTimeout = 10 * GST_SECOND;

struct Reading
{
    std::mutex mutex;
    GstElement *pipeline = nullptr;
    GstPad *videoPad = nullptr; // the watched stream; owned by the parser
    int limit = 0;
    int packets = 0;
    bool full = false;
    // Parsers stamp some pictures with a presentation time and all with a decoding time
    // (MPEG-2 B-frames), or only the former (Matroska): the complete series is used.
    std::vector<std::int64_t> presentation, decoding;
    std::int64_t end = -1;
    std::int64_t latest = -1;
};

void PostEnough(Reading *reading)
{
    gst_element_post_message(reading->pipeline,
                             gst_message_new_application(GST_OBJECT(reading->pipeline),
                                                         gst_structure_new_empty("enough")));
}

GstPadProbeReturn OnVideoPacket(GstPad *, GstPadProbeInfo *info, gpointer data)
{
    auto *reading = static_cast<Reading *>(data);
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer)
        return GST_PAD_PROBE_OK;
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    const GstClockTime dts = GST_BUFFER_DTS(buffer);
    // Codec headers (Theora's) are no pictures.
    if (!GST_CLOCK_TIME_IS_VALID(pts) && !GST_CLOCK_TIME_IS_VALID(dts))
        return GST_PAD_PROBE_OK;
    bool ended = false;
    {
        std::lock_guard lock(reading->mutex);
        if (reading->full)
            return GST_PAD_PROBE_OK;
        // A clock that wraps or jumps (MPEG's 33-bit clock) ends the series: the frames
        // before it are enough for a rate.
        const auto t = static_cast<std::int64_t>(GST_CLOCK_TIME_IS_VALID(pts) ? pts : dts);
        if (reading->latest >= 0
            && (t < reading->latest - kClockJumpNs || t > reading->latest + kClockJumpNs)) {
            reading->full = ended = true;
        } else {
            reading->latest = std::max(reading->latest, t);
            ++reading->packets;
            if (GST_CLOCK_TIME_IS_VALID(pts)) {
                reading->presentation.push_back(static_cast<std::int64_t>(pts));
                if (GST_BUFFER_DURATION_IS_VALID(buffer))
                    reading->end = std::max(
                        reading->end, static_cast<std::int64_t>(pts + GST_BUFFER_DURATION(buffer)));
            }
            if (GST_CLOCK_TIME_IS_VALID(dts))
                reading->decoding.push_back(static_cast<std::int64_t>(dts));
            reading->full = ended = reading->packets >= reading->limit;
        }
    }
    if (ended)
        PostEnough(reading);
    return GST_PAD_PROBE_OK;
}

bool IsVideo(GstPad *pad)
{
    gst::Caps caps(gst_pad_get_current_caps(pad));
    if (!caps)
        caps.reset(gst_pad_query_caps(pad, nullptr));
    if (!caps || gst_caps_is_empty(caps.get()) || gst_caps_is_any(caps.get()))
        return false;
    return g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)),
                            "video/");
}

void OnPadAdded(GstElement *, GstPad *pad, gpointer data)
{
    auto *reading = static_cast<Reading *>(data);
    GstElement *sink = gst_element_factory_make("fakesink", nullptr);
    if (!sink)
        return;
    // The one demuxer thread feeds every sink: none may wait for the others.
    g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
    gst_bin_add(GST_BIN(reading->pipeline), sink);
    gst_element_sync_state_with_parent(sink);
    bool watch = false;
    if (IsVideo(pad)) {
        std::lock_guard lock(reading->mutex);
        watch = !reading->videoPad;
        if (watch)
            reading->videoPad = pad;
    }
    if (watch)
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, OnVideoPacket, reading, nullptr);
    gst::Pad sinkPad(gst_element_get_static_pad(sink, "sink"));
    gst_pad_link(pad, sinkPad.get());
}

// Whether every frame i lies at i periods from the first, within the stamps' rounding.
bool OnGrid(const std::vector<std::int64_t> &t, FrameRate rate)
{
    const double period = 1e9 * rate.den / rate.num;
    for (std::size_t i = 1; i < t.size(); ++i) {
        const double off = static_cast<double>(t[i] - t[0]) - static_cast<double>(i) * period;
        if (std::abs(off) > kStampToleranceNs)
            return false;
    }
    return true;
}

// The rates videos are made at: whole numbers, halves (12.5), and the NTSC family.
std::vector<FrameRate> CommonRates()
{
    std::vector<FrameRate> rates;
    for (int n = 1; n <= 240; ++n)
        rates.push_back({n, 1});
    for (int n = 1; n < 240; n += 2)
        rates.push_back({n, 2});
    for (int n : {12, 15, 24, 30, 48, 60, 120, 240})
        rates.push_back({n * 1000, 1001});
    return rates;
}

FrameRate Reduced(long long num, long long den)
{
    const long long g = std::gcd(num, den);
    if (g > 1) {
        num /= g;
        den /= g;
    }
    return {static_cast<int>(num), static_cast<int>(den)};
}

} // namespace

std::optional<FrameTimes> ReadFrameTimes(const std::string &path, int maxFrames)
{
    if (!InitializeMediaPlatform(nullptr, MediaServices::Playback))
        return std::nullopt;
    Reading reading;
    reading.limit = std::max(maxFrames, 2) + kReorderDepth;
    gst::Element pipeline(gst::Adopt(gst_pipeline_new("frame-times")));
    gst::Element source(gst::Adopt(gst_element_factory_make("filesrc", nullptr)));
    gst::Element parse(gst::Adopt(gst_element_factory_make("parsebin", nullptr)));
    if (!pipeline || !source || !parse)
        return std::nullopt;
    reading.pipeline = pipeline.get();
    g_object_set(source.get(), "location", path.c_str(), nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), source.get(), parse.get(), nullptr);
    gst_element_link(source.get(), parse.get());
    g_signal_connect(parse.get(), "pad-added", G_CALLBACK(OnPadAdded), &reading);

    gst::Bus bus(gst_element_get_bus(pipeline.get()));
    bool finished = false;
    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
        gst::Message message(gst_bus_timed_pop_filtered(
            bus.get(), kReadTimeout,
            GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_APPLICATION)));
        finished = message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);

    std::lock_guard lock(reading.mutex);
    if (!reading.videoPad || reading.packets == 0)
        return std::nullopt;
    FrameTimes times;
    const bool allPresentation = int(reading.presentation.size()) == reading.packets;
    const bool allDecoding = int(reading.decoding.size()) == reading.packets;
    if (allPresentation || !allDecoding) {
        times.starts = std::move(reading.presentation);
        times.end = reading.end;
    } else {
        times.starts = std::move(reading.decoding);
    }
    if (times.starts.empty())
        return std::nullopt;
    std::sort(times.starts.begin(), times.starts.end());
    times.starts.erase(std::unique(times.starts.begin(), times.starts.end()), times.starts.end());
    times.wholeStream = finished && !reading.full;
    if (!times.wholeStream) {
        // The last frames read may still miss one that comes later in decoding order.
        const std::size_t keep = times.starts.size() > std::size_t(2 * kReorderDepth)
                                     ? times.starts.size() - kReorderDepth
                                     : times.starts.size();
        times.starts.resize(keep);
        times.end = -1;
    }
    return times;
}

FrameRate RateFromFrameTimes(const FrameTimes &times, FrameRate declared)
{
    const std::vector<std::int64_t> &t = times.starts;
    if (t.size() < 2 || t.back() <= t.front())
        return {};
    if (declared.Valid() && OnGrid(t, declared))
        return declared;
    const double span = static_cast<double>(t.back() - t.front());
    const double averagePeriod = span / static_cast<double>(t.size() - 1);
    FrameRate best;
    double bestDistance = 0;
    for (FrameRate rate : CommonRates()) {
        const double distance = std::abs(1e9 * rate.den / rate.num - averagePeriod);
        if ((!best.Valid() || distance < bestDistance) && OnGrid(t, rate)) {
            best = rate;
            bestDistance = distance;
        }
    }
    if (best.Valid())
        return best;
    // No fixed grid: the average, over the whole stream when it was all read (as frames per
    // second of its length, the last frame's duration included).
    double perSecond = 1e9 / averagePeriod;
    if (times.wholeStream && times.end > t.back())
        perSecond
            = static_cast<double>(t.size()) * 1e9 / static_cast<double>(times.end - t.front());
    return Reduced(std::llround(perSecond * 100000.0), 100000);
}

FrameRate MeasureFrameRate(const std::string &path, FrameRate declared)
{
    std::optional<FrameTimes> times = ReadFrameTimes(path, kFramesForAGrid);
    if (!times)
        return declared;
    FrameRate measured = RateFromFrameTimes(*times, declared);
    if (measured.Valid() && !times->wholeStream && !OnGrid(times->starts, measured)) {
        if (std::optional<FrameTimes> more = ReadFrameTimes(path, kFramesForAnAverage))
            measured = RateFromFrameTimes(*more, declared);
    }
    return measured.Valid() ? measured : declared;
}

} // namespace media
