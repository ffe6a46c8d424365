#include "convert/media/MediaPlatform.h"

#include "convert/media/GraphEvents.h"
#include "convert/media/GstHandles.h"
#include "convert/media/MpegPsDuration.h"
#include "convert/media/MpegTsDuration.h"
#include "convert/media/TimeUnits.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace media {

namespace {

using namespace std::chrono_literals;

// A file that neither prerolls nor fails in this time is treated as unplayable.
constexpr auto kPrerollTimeout = 15s;
constexpr auto kSeekTimeout = 10s;
// How often a preroll checks that some streaming thread is still at work.
constexpr auto kStallCheckInterval = 100ms;
// Some demuxers learn the duration only just after preroll.
constexpr int kDurationTries = 10;
constexpr auto kDurationRetryDelay = 20ms;

enum class StreamKind { Video, Audio, Other };

StreamKind KindOf(GstPad *pad)
{
    gst::Caps caps(gst_pad_get_current_caps(pad));
    if (!caps)
        caps.reset(gst_pad_query_caps(pad, nullptr));
    if (!caps || gst_caps_is_empty(caps.get()) || gst_caps_is_any(caps.get()))
        return StreamKind::Other;
    const gchar *name = gst_structure_get_name(gst_caps_get_structure(caps.get(), 0));
    if (g_str_equal(name, "video/x-raw"))
        return StreamKind::Video;
    if (g_str_equal(name, "audio/x-raw"))
        return StreamKind::Audio;
    return StreamKind::Other;
}

GstElement *MakeElement(const char *factory)
{
    return gst_element_factory_make(factory, nullptr);
}

// A sink that swallows a stream; one that must not hold up preroll (a sparse or surplus
// stream) is made non-async.
GstElement *MakeDiscardingSink(bool prerolls)
{
    GstElement *sink = MakeElement("fakesink");
    if (sink)
        g_object_set(sink, "sync", TRUE, "async", prerolls ? TRUE : FALSE, "enable-last-sample",
                     FALSE, nullptr);
    return sink;
}

// Calls visit for every element anywhere inside the bin until it returns true; returns
// whether it did.
template<typename Visit>
bool AnyElement(GstBin *bin, Visit visit)
{
    std::unique_ptr<GstIterator, decltype(&gst_iterator_free)> it(gst_bin_iterate_recurse(bin),
                                                                  &gst_iterator_free);
    GValue item = G_VALUE_INIT;
    bool found = false;
    for (bool more = true; more && !found;) {
        switch (gst_iterator_next(it.get(), &item)) {
        case GST_ITERATOR_OK:
            found = visit(GST_ELEMENT(g_value_get_object(&item)));
            g_value_reset(&item);
            break;
        case GST_ITERATOR_RESYNC:
            gst_iterator_resync(it.get());
            break;
        default:
            more = false;
            break;
        }
    }
    g_value_unset(&item);
    return found;
}

// Whether an element made by the named factory sits anywhere inside the bin.
bool ContainsFactory(GstBin *bin, const char *factoryName)
{
    return AnyElement(bin, [factoryName](GstElement *element) {
        GstElementFactory *factory = gst_element_get_factory(element);
        return factory && g_str_equal(GST_OBJECT_NAME(factory), factoryName);
    });
}

// Whether any streaming thread of the bin is still running. Without one nothing can ever
// reach the sinks: the graph is dead even if no error got through (decodebin drops errors a
// demuxer posts while it is being plugged).
bool AnyTaskStarted(GstBin *bin)
{
    return AnyElement(bin, [](GstElement *element) {
        bool started = false;
        GST_OBJECT_LOCK(element);
        for (GList *l = element->pads; l && !started; l = l->next) {
            GstPad *pad = GST_PAD(l->data);
            GST_OBJECT_LOCK(pad);
            GstTask *task = GST_PAD_TASK(pad);
            started = task && gst_task_get_state(task) == GST_TASK_STARTED;
            GST_OBJECT_UNLOCK(pad);
        }
        GST_OBJECT_UNLOCK(element);
        return started;
    });
}

} // namespace

struct PlaybackGraph::Impl
{
    gst::Element pipeline;
    std::unique_ptr<GraphEvents> events;
    RenderOptions options;

    std::mutex streamsMutex; // pad-added runs on a streaming thread
    gst::Pad videoPad;       // the decoder's pad of the first video stream
    bool hasAudio = false;

    bool rendered = false;
    double rate = 1.0;
    REFERENCE_TIME stop = -1; // set stop position; -1 = the end of the media
    REFERENCE_TIME measuredDuration = -1; // our own measure where the demuxer only estimates

    ~Impl()
    {
        if (pipeline)
            events->SetState(GST_STATE_NULL);
        events.reset();
    }

    // Back to the empty graph Create made, so a failed render leaves nothing behind that
    // could spoil the next one.
    void Clear()
    {
        events->SetState(GST_STATE_NULL);
        std::vector<gst::Element> children;
        {
            GstBin *bin = GST_BIN(pipeline.get());
            GST_OBJECT_LOCK(bin);
            for (GList *l = bin->children; l; l = l->next)
                children.push_back(gst::Ref(GST_ELEMENT(l->data)));
            GST_OBJECT_UNLOCK(bin);
        }
        for (const gst::Element &child : children)
            gst_bin_remove(GST_BIN(pipeline.get()), child.get());
        {
            std::lock_guard lock(streamsMutex);
            videoPad.reset();
            hasAudio = false;
        }
        // With the streaming threads stopped no more messages can come.
        events->Reset();
        rate = 1.0;
        stop = -1;
        measuredDuration = -1;
    }

    static void OnPadAdded(GstElement *, GstPad *pad, gpointer self)
    {
        static_cast<Impl *>(self)->AddBranch(pad);
    }

    void AddBranch(GstPad *pad)
    {
        StreamKind kind = KindOf(pad);
        bool primary = false;
        {
            std::lock_guard lock(streamsMutex);
            if (kind == StreamKind::Video && !videoPad) {
                videoPad = gst::Ref(pad);
                primary = true;
            } else if (kind == StreamKind::Audio && !hasAudio) {
                hasAudio = true;
                primary = true;
            }
        }
        if (!primary)
            kind = StreamKind::Other;

        // Chain from the decoder pad to the sink; the elements belong to the pipeline.
        std::vector<GstElement *> chain;
        if (kind == StreamKind::Video && options.onVideoFrame)
            chain = {MakeElement("videoconvert"), MakeVideoFrameSink()};
        else if (kind == StreamKind::Audio && options.playAudio)
            chain = {MakeElement("audioconvert"), MakeElement("audioresample"),
                     MakeElement("autoaudiosink")};
        else
            chain = {MakeDiscardingSink(kind != StreamKind::Other)};
        LinkChain(pad, chain);
    }

    void LinkChain(GstPad *pad, const std::vector<GstElement *> &chain)
    {
        if (std::find(chain.begin(), chain.end(), nullptr) != chain.end()) {
            // An element is not installed: release what was made. The stream stays unlinked;
            // if it had to preroll, the render fails by error or timeout.
            for (GstElement *made : chain)
                gst::Element discarded = gst::Adopt(made);
            return;
        }
        for (GstElement *e : chain)
            gst_bin_add(GST_BIN(pipeline.get()), e);
        GstElement *previous = nullptr;
        for (GstElement *e : chain) {
            if (previous)
                gst_element_link(previous, e);
            previous = e;
        }
        // Downstream first, so nothing pushes into an element that is not ready yet.
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            gst_element_sync_state_with_parent(*it);
        gst::Pad sinkPad(gst_element_get_static_pad(chain.front(), "sink"));
        if (sinkPad)
            gst_pad_link(pad, sinkPad.get());
    }

    GstElement *MakeVideoFrameSink()
    {
        GstElement *sink = MakeElement("appsink");
        if (!sink)
            return nullptr;
        gst::Caps caps(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx",
                                           nullptr));
        g_object_set(sink, "caps", caps.get(), "sync", TRUE, "max-buffers", 1u, "drop", TRUE,
                     "enable-last-sample", FALSE, nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_preroll = &Impl::OnPreroll;
        callbacks.new_sample = &Impl::OnSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
        return sink;
    }

    static GstFlowReturn OnPreroll(GstAppSink *sink, gpointer self)
    {
        gst::Sample sample(gst_app_sink_pull_preroll(sink));
        static_cast<Impl *>(self)->DeliverFrame(sample.get());
        return GST_FLOW_OK;
    }

    static GstFlowReturn OnSample(GstAppSink *sink, gpointer self)
    {
        gst::Sample sample(gst_app_sink_pull_sample(sink));
        static_cast<Impl *>(self)->DeliverFrame(sample.get());
        return GST_FLOW_OK;
    }

    void DeliverFrame(GstSample *sample)
    {
        if (!sample || !options.onVideoFrame)
            return;
        GstVideoInfo info;
        GstBuffer *buffer = gst_sample_get_buffer(sample);
        if (!buffer || !gst_video_info_from_caps(&info, gst_sample_get_caps(sample)))
            return;
        // The mapping holds a reference on the buffer until the last holder lets go.
        auto *mapping = new GstVideoFrame;
        if (!gst_video_frame_map(mapping, &info, buffer, GST_MAP_READ)) {
            delete mapping;
            return;
        }
        const std::shared_ptr<GstVideoFrame> frame(mapping, [](GstVideoFrame *mapped) {
            gst_video_frame_unmap(mapped);
            delete mapped;
        });
        VideoFrame out;
        out.width = GST_VIDEO_FRAME_WIDTH(frame.get());
        out.height = GST_VIDEO_FRAME_HEIGHT(frame.get());
        out.stride = GST_VIDEO_FRAME_PLANE_STRIDE(frame.get(), 0);
        out.data = static_cast<const std::uint8_t *>(GST_VIDEO_FRAME_PLANE_DATA(frame.get(), 0));
        out.memory = frame;
        const GstSegment *segment = gst_sample_get_segment(sample);
        const GstClockTime pts = GST_BUFFER_PTS(buffer);
        if (segment && GST_CLOCK_TIME_IS_VALID(pts)) {
            const guint64 streamTime =
                gst_segment_to_stream_time(segment, GST_FORMAT_TIME, pts);
            if (GST_CLOCK_TIME_IS_VALID(streamTime))
                out.position = ClockTimeToUnits(streamTime);
        }
        options.onVideoFrame(out);
    }

    HRESULT SetState(GstState state)
    {
        if (!rendered)
            return VFW_E_WRONG_STATE;
        return events->SetState(state) == GST_STATE_CHANGE_FAILURE ? E_FAIL : S_OK;
    }

    // Goes to paused and waits until the sinks have their first data, an error arrives, the
    // graph stops moving, or the bounded wait ends.
    HRESULT Preroll()
    {
        const GraphEvents::Mark mark = events->Now();
        const GstStateChangeReturn result = events->SetState(GST_STATE_PAUSED);
        if (result == GST_STATE_CHANGE_FAILURE)
            return E_FAIL;
        if (result != GST_STATE_CHANGE_ASYNC)
            return S_OK;
        const auto deadline = std::chrono::steady_clock::now() + kPrerollTimeout;
        int idleChecks = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            switch (events->WaitForAsyncDone(mark, kStallCheckInterval)) {
            case GraphEvents::Outcome::Done:
                return S_OK;
            case GraphEvents::Outcome::Failed:
                return E_FAIL;
            case GraphEvents::Outcome::TimedOut:
                // Twice in a row, so a thread handing over to the next one is not mistaken.
                idleChecks = AnyTaskStarted(GST_BIN(pipeline.get())) ? 0 : idleChecks + 1;
                if (idleChecks >= 2)
                    return E_FAIL;
                break;
            }
        }
        return E_FAIL;
    }

    HRESULT Seek(double newRate, REFERENCE_TIME current, REFERENCE_TIME newStop)
    {
        // Past the end is the end: a demuxer asked for more may refuse the seek.
        if (const auto length = Length(1))
            current = std::min(current, *length);
        const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
        const GstSeekType stopType = newStop >= 0 ? GST_SEEK_TYPE_SET : GST_SEEK_TYPE_NONE;
        const gint64 stopNs = newStop >= 0 ? UnitsToNanoseconds(newStop) : GST_CLOCK_TIME_NONE;
        const GraphEvents::Mark mark = events->Now();
        events->BeginFlush();
        const bool sent
            = gst_element_seek(pipeline.get(), newRate, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET,
                               UnitsToNanoseconds(current), stopType, stopNs);
        // A flushing seek prerolls again; wait so positions read afterwards are the new ones.
        const bool prerolled
            = sent && events->WaitForAsyncDone(mark, kSeekTimeout) == GraphEvents::Outcome::Done;
        events->EndFlush();
        return prerolled ? S_OK : E_FAIL;
    }

    // The length of the media: our own measure where the demuxer only estimates, otherwise the
    // demuxer's, which some learn only just after preroll (asked up to tries times).
    std::optional<REFERENCE_TIME> Length(int tries = kDurationTries) const
    {
        if (measuredDuration >= 0)
            return measuredDuration;
        for (int attempt = 0; attempt < tries; ++attempt) {
            if (attempt > 0)
                std::this_thread::sleep_for(kDurationRetryDelay);
            gint64 duration = -1;
            if (gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &duration)
                && duration >= 0)
                return NanosecondsToUnits(duration);
        }
        return std::nullopt;
    }

    bool HasVideo()
    {
        std::lock_guard lock(streamsMutex);
        return static_cast<bool>(videoPad);
    }

    // The first structure of the video stream's negotiated caps, kept alive by holder;
    // nullptr before negotiation.
    const GstStructure *VideoStructure(gst::Caps *holder)
    {
        std::lock_guard lock(streamsMutex);
        holder->reset(videoPad ? gst_pad_get_current_caps(videoPad.get()) : nullptr);
        if (!*holder || gst_caps_get_size(holder->get()) == 0)
            return nullptr;
        return gst_caps_get_structure(holder->get(), 0);
    }
};

PlaybackGraph::PlaybackGraph() = default;

PlaybackGraph::~PlaybackGraph() = default;

HRESULT PlaybackGraph::Create(std::unique_ptr<PlaybackGraph> *graph)
{
    if (!graph)
        return E_POINTER;
    graph->reset();
    if (!InitializeMediaPlatform(nullptr, MediaServices::Playback))
        return E_FAIL;
    std::unique_ptr<PlaybackGraph> made(new (std::nothrow) PlaybackGraph());
    if (!made)
        return E_OUTOFMEMORY;
    made->m_impl = std::make_unique<Impl>();
    made->m_impl->pipeline = gst::Adopt(gst_pipeline_new(nullptr));
    if (!made->m_impl->pipeline)
        return E_FAIL;
    made->m_impl->events = std::make_unique<GraphEvents>(made->m_impl->pipeline.get());
    *graph = std::move(made);
    return S_OK;
}

void PlaybackGraph::SetRenderOptions(RenderOptions options)
{
    m_impl->options = std::move(options);
}

HRESULT PlaybackGraph::RenderFile(const std::string &path)
{
    Impl &d = *m_impl;
    if (d.rendered)
        return VFW_E_WRONG_STATE;

    // Empty and unreadable files fail here rather than after a round through type finding.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec) || std::filesystem::file_size(path, ec) == 0
        || ec)
        return VFW_E_CANNOT_RENDER;

    GError *raw = nullptr;
    gst::String uri(gst_filename_to_uri(path.c_str(), &raw));
    gst::Error uriError(raw);
    if (!uri)
        return VFW_E_CANNOT_RENDER;

    GstElement *decoder = MakeElement("uridecodebin");
    if (!decoder)
        return VFW_E_CANNOT_RENDER;
    // Streams without a decoder stay inside: a file plays with whatever can be decoded.
    g_object_set(decoder, "uri", uri.get(), "expose-all-streams", FALSE, nullptr);
    g_signal_connect(decoder, "pad-added", G_CALLBACK(&Impl::OnPadAdded), &d);
    gst_bin_add(GST_BIN(d.pipeline.get()), decoder);

    HRESULT hr = d.Preroll();
    bool playable = false;
    {
        std::lock_guard lock(d.streamsMutex);
        playable = d.videoPad || d.hasAudio;
    }
    if (FAILED(hr) || !playable) {
        // Errors of a failed build are its result, not playback events; the graph is left
        // empty so another file can be rendered into it.
        d.Clear();
        return VFW_E_CANNOT_RENDER;
    }
    d.rendered = true;
    // The MPEG demuxers only estimate the length; measure it from the stamps instead.
    const bool programStream = ContainsFactory(GST_BIN(d.pipeline.get()), "mpegpsdemux");
    const bool transportStream = ContainsFactory(GST_BIN(d.pipeline.get()), "tsdemux");
    if (programStream || transportStream) {
        double frameSeconds = 0.0;
        if (FAILED(GetAvgTimePerFrame(&frameSeconds)))
            frameSeconds = 0.0;
        const std::int64_t frameNs = SecondsToNanoseconds(frameSeconds);
        const auto ns
            = programStream ? MpegPsDuration(path, frameNs) : MpegTsDuration(path, frameNs);
        if (ns)
            d.measuredDuration = NanosecondsToUnits(*ns);
    }
    return S_OK;
}

HRESULT PlaybackGraph::QuerySeeking() const
{
    return m_impl->rendered ? S_OK : E_NOINTERFACE;
}

HRESULT PlaybackGraph::GetStopPosition(REFERENCE_TIME *stop) const
{
    if (!stop)
        return E_POINTER;
    const Impl &d = *m_impl;
    if (!d.rendered)
        return VFW_E_WRONG_STATE;
    const std::optional<REFERENCE_TIME> length = d.Length();
    // A stop set past the end (INT64_MAX for "the very end") plays to the end.
    if (d.stop >= 0) {
        *stop = length ? std::min(d.stop, *length) : d.stop;
        return S_OK;
    }
    if (!length)
        return E_FAIL;
    *stop = *length;
    return S_OK;
}

HRESULT PlaybackGraph::GetCurrentPosition(REFERENCE_TIME *current) const
{
    if (!current)
        return E_POINTER;
    if (!m_impl->rendered)
        return VFW_E_WRONG_STATE;
    gint64 position = -1;
    if (!gst_element_query_position(m_impl->pipeline.get(), GST_FORMAT_TIME, &position)
        || position < 0)
        return E_FAIL;
    *current = NanosecondsToUnits(position);
    return S_OK;
}

HRESULT PlaybackGraph::SetPositions(REFERENCE_TIME current, REFERENCE_TIME stop)
{
    Impl &d = *m_impl;
    if (!d.rendered)
        return VFW_E_WRONG_STATE;
    if (current < 0)
        return E_INVALIDARG;
    const HRESULT hr = d.Seek(d.rate, current, stop);
    if (SUCCEEDED(hr) && stop >= 0)
        d.stop = stop;
    return hr;
}

HRESULT PlaybackGraph::SetRate(double rate)
{
    Impl &d = *m_impl;
    if (!d.rendered)
        return VFW_E_WRONG_STATE;
    // Only forward play; backward play needs decoders that not every format has.
    if (!(rate > 0.0))
        return E_INVALIDARG;
    if (rate == d.rate)
        return S_OK;
    REFERENCE_TIME current = 0;
    if (FAILED(GetCurrentPosition(&current)))
        current = 0;
    const HRESULT hr = d.Seek(rate, current, d.stop);
    if (SUCCEEDED(hr))
        d.rate = rate;
    return hr;
}

HRESULT PlaybackGraph::QueryBasicVideo() const
{
    return m_impl->rendered && m_impl->HasVideo() ? S_OK : E_NOINTERFACE;
}

HRESULT PlaybackGraph::GetVideoSize(int *width, int *height) const
{
    if (!width || !height)
        return E_POINTER;
    if (FAILED(QueryBasicVideo()))
        return E_NOINTERFACE;
    gst::Caps caps;
    const GstStructure *s = m_impl->VideoStructure(&caps);
    if (!s)
        return E_FAIL;
    int w = 0;
    int h = 0;
    if (!gst_structure_get_int(s, "width", &w) || !gst_structure_get_int(s, "height", &h)
        || w <= 0 || h <= 0)
        return E_FAIL;
    *width = w;
    *height = h;
    return S_OK;
}

HRESULT PlaybackGraph::GetAvgTimePerFrame(double *seconds) const
{
    if (!seconds)
        return E_POINTER;
    if (FAILED(QueryBasicVideo()))
        return E_NOINTERFACE;
    gst::Caps caps;
    const GstStructure *s = m_impl->VideoStructure(&caps);
    if (!s)
        return E_FAIL;
    int num = 0;
    int den = 0;
    // 0/1 is how a stream says its rate varies or is unknown; the caller decides then.
    if (gst_structure_get_fraction(s, "framerate", &num, &den) && num > 0 && den > 0)
        *seconds = static_cast<double>(den) / num;
    else
        *seconds = 0.0;
    return S_OK;
}

HRESULT PlaybackGraph::Run()
{
    return m_impl->SetState(GST_STATE_PLAYING);
}

HRESULT PlaybackGraph::Pause()
{
    return m_impl->SetState(GST_STATE_PAUSED);
}

HRESULT PlaybackGraph::Stop()
{
    if (!m_impl->rendered)
        return VFW_E_WRONG_STATE;
    // Stopped is paused here: the graph keeps its prerolled data and position, so the usual
    // "stop, seek to 0, pause" shows the first frame without building anything again.
    return Pause();
}

void PlaybackGraph::SetNotifyCallback(std::function<void()> callback)
{
    m_impl->events->SetNotifyCallback(std::move(callback));
}

HRESULT PlaybackGraph::GetEvent(long *code, std::intptr_t *param1, std::intptr_t *param2)
{
    return m_impl->events->GetEvent(code, param1, param2);
}

} // namespace media
