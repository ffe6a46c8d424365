#include "media/playback/PlaybackGraphImpl.h"

#include "media/core/DecoderPlugging.h"
#include "media/core/TimeUnits.h"
#include "media/playback/SoundOutput.h"
#include "media/probe/MpegPsDuration.h"
#include "media/probe/MpegTsDuration.h"

#include <gst/video/video.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>

namespace media {

namespace {

using namespace std::chrono_literals;

// A file that neither prerolls nor fails in this time is treated as unplayable.
constexpr auto kPrerollTimeout = 15s;
// How often a preroll checks that some streaming thread is still at work.
constexpr auto kStallCheckInterval = 100ms;

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

void PlaybackGraph::Impl::Clear()
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
    holdPreroll = false;
    rate = 1.0;
    stop = -1;
    measuredDuration = -1;
    path.clear();
    frameRate.reset();
}

void PlaybackGraph::Impl::OnPadAdded(GstElement *, GstPad *pad, gpointer self)
{
    static_cast<Impl *>(self)->AddBranch(pad);
}

void PlaybackGraph::Impl::AddBranch(GstPad *pad)
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
                 HasSoundOutput() ? MakeElement("autoaudiosink") : MakeDiscardingSink(true)};
    else
        chain = {MakeDiscardingSink(kind != StreamKind::Other)};
    LinkChain(pad, chain);
}

void PlaybackGraph::Impl::LinkChain(GstPad *pad, const std::vector<GstElement *> &chain)
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

GstElement *PlaybackGraph::Impl::MakeVideoFrameSink()
{
    GstElement *sink = MakeElement("appsink");
    if (!sink)
        return nullptr;
    // The formats decoders commonly give, which the frame drawer converts in one pass into
    // the window's pixels; the converter in front only changes what is not among them.
    gst::Caps caps(gst_caps_from_string("video/x-raw, format=(string){ I420, YV12, NV12, NV21, "
                                        "Y42B, Y444, YUY2, UYVY, BGRx, BGRA }"));
    g_object_set(sink, "caps", caps.get(), "sync", TRUE, "max-buffers", 1u, "drop", TRUE,
                 "enable-last-sample", FALSE, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_preroll = &Impl::OnPreroll;
    callbacks.new_sample = &Impl::OnSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
    return sink;
}

GstFlowReturn PlaybackGraph::Impl::OnPreroll(GstAppSink *sink, gpointer self)
{
    gst::Sample sample(gst_app_sink_pull_preroll(sink));
    auto *impl = static_cast<Impl *>(self);
    if (!impl->holdPreroll)
        impl->DeliverFrame(sample.get());
    return GST_FLOW_OK;
}

GstFlowReturn PlaybackGraph::Impl::OnSample(GstAppSink *sink, gpointer self)
{
    gst::Sample sample(gst_app_sink_pull_sample(sink));
    static_cast<Impl *>(self)->DeliverFrame(sample.get());
    return GST_FLOW_OK;
}

void PlaybackGraph::Impl::DeliverFrame(GstSample *sample)
{
    if (!sample || !options.onVideoFrame)
        return;
    GstVideoInfo info;
    GstBuffer *buffer = gst_sample_get_buffer(sample);
    if (!buffer || !gst_video_info_from_caps(&info, gst_sample_get_caps(sample)))
        return;
    // The mapping holds a reference on the buffer until the last holder lets go; a
    // FrameDrawer reads the picture through it.
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
    out.memory = frame;
    const GstSegment *segment = gst_sample_get_segment(sample);
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (segment && GST_CLOCK_TIME_IS_VALID(pts)) {
        const guint64 streamTime = gst_segment_to_stream_time(segment, GST_FORMAT_TIME, pts);
        if (GST_CLOCK_TIME_IS_VALID(streamTime))
            out.position = ClockTimeToUnits(streamTime);
    }
    options.onVideoFrame(out);
}

HRESULT PlaybackGraph::Impl::Preroll()
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
    DecodeWithoutAlphaBins(decoder);
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
    d.path = path;
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

} // namespace media
