#include "media/playback/PlaybackGraphImpl.h"

#include "media/core/Diagnostics.h"
#include "media/core/TimeUnits.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <thread>

#define GST_CAT_DEFAULT cw_playback_debug

namespace media {

namespace {

using namespace std::chrono_literals;

constexpr auto kSeekTimeout = 10s;
constexpr auto kDurationRetryDelay = 20ms;
constexpr GstClockTime kPauseSettleTimeout = 2 * GST_SECOND;

} // namespace

HRESULT PlaybackGraph::Impl::SetState(GstState state)
{
    if (!rendered)
        return VFW_E_WRONG_STATE;
    return events->SetState(state) == GST_STATE_CHANGE_FAILURE ? E_FAIL : S_OK;
}

HRESULT PlaybackGraph::Impl::Seek(double newRate, REFERENCE_TIME current, REFERENCE_TIME newStop,
                                  bool accurate)
{
    // Past the end is the end: a demuxer asked for more may refuse the seek.
    if (const auto length = Length(1))
        current = std::min(current, *length);
    const auto flags = static_cast<GstSeekFlags>(
        GST_SEEK_FLAG_FLUSH
        | (accurate ? GST_SEEK_FLAG_ACCURATE
                    : GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_NEAREST));
    const GstSeekType stopType = newStop >= 0 ? GST_SEEK_TYPE_SET : GST_SEEK_TYPE_NONE;
    const gint64 stopNs = newStop >= 0 ? UnitsToNanoseconds(newStop) : GST_CLOCK_TIME_NONE;
    const GraphEvents::Mark mark = events->Now();
    holdPreroll = false; // the picture at the new position is wanted
    events->BeginFlush();
    const bool sent
        = gst_element_seek(pipeline.get(), newRate, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET,
                           UnitsToNanoseconds(current), stopType, stopNs);
    // A flushing seek prerolls again; wait so positions read afterwards are the new ones.
    const bool prerolled
        = sent && events->WaitForAsyncDone(mark, kSeekTimeout) == GraphEvents::Outcome::Done;
    events->EndFlush();
    GST_DEBUG_OBJECT(pipeline.get(), "seek to %" GST_TIME_FORMAT " (%s, rate %g): %s",
                     GST_TIME_ARGS(UnitsToNanoseconds(current)),
                     accurate ? "accurate" : "key frame", newRate,
                     prerolled ? "done"
                     : sent    ? "no preroll"
                               : "refused");
    return prerolled ? S_OK : E_FAIL;
}

std::optional<REFERENCE_TIME> PlaybackGraph::Impl::Length(int tries) const
{
    if (measuredDuration >= 0)
        return measuredDuration;
    for (int attempt = 0; attempt < tries; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(kDurationRetryDelay);
        gint64 duration = -1;
        if (gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &duration) && duration >= 0)
            return NanosecondsToUnits(duration);
    }
    return std::nullopt;
}

bool PlaybackGraph::Impl::HasVideo()
{
    std::lock_guard lock(streamsMutex);
    return static_cast<bool>(videoPad);
}

const GstStructure *PlaybackGraph::Impl::VideoStructure(gst::Caps *holder)
{
    std::lock_guard lock(streamsMutex);
    holder->reset(videoPad ? gst_pad_get_current_caps(videoPad.get()) : nullptr);
    if (!*holder || gst_caps_get_size(holder->get()) == 0)
        return nullptr;
    return gst_caps_get_structure(holder->get(), 0);
}

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

HRESULT PlaybackGraph::SeekKeyFrame(REFERENCE_TIME current)
{
    Impl &d = *m_impl;
    if (!d.rendered)
        return VFW_E_WRONG_STATE;
    return current < 0 ? E_INVALIDARG : d.Seek(d.rate, current, -1, false);
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
    if (!gst_structure_get_int(s, "width", &w) || !gst_structure_get_int(s, "height", &h) || w <= 0
        || h <= 0)
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
    Impl &d = *m_impl;
    if (!d.frameRate) {
        FrameRate declared;
        if (!gst_structure_get_fraction(s, "framerate", &declared.num, &declared.den))
            declared = {};
        // Declared rates can be a demuxer's default (ASF's 25) or 0/1 (Matroska without a
        // default duration): the frames' stamps say what the file holds.
        d.frameRate = MeasureFrameRate(d.path, declared);
    }
    // 0 when the rate stays unknown; the caller decides then.
    *seconds
        = d.frameRate->Valid() ? static_cast<double>(d.frameRate->den) / d.frameRate->num : 0.0;
    return S_OK;
}

HRESULT PlaybackGraph::Run()
{
    m_impl->holdPreroll = false;
    return m_impl->SetState(GST_STATE_PLAYING);
}

HRESULT PlaybackGraph::Pause()
{
    Impl &d = *m_impl;
    if (!d.rendered)
        return VFW_E_WRONG_STATE;
    GstState state = GST_STATE_VOID_PENDING;
    GstState pending = GST_STATE_VOID_PENDING;
    gst_element_get_state(d.pipeline.get(), &state, &pending, 0);
    const bool playing = state == GST_STATE_PLAYING || pending == GST_STATE_PLAYING;
    if (playing)
        d.holdPreroll = true;
    const HRESULT hr = d.SetState(GST_STATE_PAUSED);
    // Until the pause has settled a picture being drawn can still replace the one on screen;
    // afterwards the picture and the position stay.
    if (SUCCEEDED(hr) && playing)
        gst_element_get_state(d.pipeline.get(), nullptr, nullptr, kPauseSettleTimeout);
    return hr;
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
