#include "media/core/GraphEvents.h"

#include "media/core/Diagnostics.h"
#include "media/core/MediaPlatform.h"

#define GST_CAT_DEFAULT cw_core_debug

namespace media {

GraphEvents::GraphEvents(GstElement *pipeline)
    : m_pipeline(pipeline)
    , m_bus(gst_element_get_bus(pipeline))
{
    gst_bus_set_sync_handler(m_bus.get(), &GraphEvents::OnMessage, this, nullptr);
}

GraphEvents::~GraphEvents()
{
    gst_bus_set_sync_handler(m_bus.get(), nullptr, nullptr, nullptr);
    std::lock_guard lock(m_guard->mutex);
    m_guard->closed = true;
}

void GraphEvents::SetNotifyCallback(std::function<void()> callback)
{
    std::lock_guard lock(m_mutex);
    m_notify = std::move(callback);
}

HRESULT GraphEvents::GetEvent(long *code, std::intptr_t *param1, std::intptr_t *param2)
{
    if (!code || !param1 || !param2)
        return E_POINTER;
    std::lock_guard lock(m_mutex);
    if (m_queue.empty())
        return E_ABORT;
    const Event event = m_queue.front();
    m_queue.pop_front();
    *code = event.code;
    *param1 = event.param1;
    *param2 = event.param2;
    return S_OK;
}

void GraphEvents::ClearEvents()
{
    std::lock_guard lock(m_mutex);
    m_queue.clear();
}

void GraphEvents::Reset()
{
    std::lock_guard lock(m_mutex);
    m_queue.clear();
    m_firstError.clear();
    m_flushing = false;
}

GstStateChangeReturn GraphEvents::SetState(GstState state)
{
    std::lock_guard lock(m_guard->mutex);
    return gst_element_set_state(m_pipeline, state);
}

void GraphEvents::BeginFlush()
{
    std::lock_guard lock(m_mutex);
    m_flushing = true;
    std::erase_if(m_queue, [](const Event &e) { return e.code == EC_COMPLETE; });
}

void GraphEvents::EndFlush()
{
    std::lock_guard lock(m_mutex);
    m_flushing = false;
}

GraphEvents::Mark GraphEvents::Now() const
{
    std::lock_guard lock(m_mutex);
    return m_mark;
}

GraphEvents::Outcome GraphEvents::WaitForAsyncDone(const Mark &since,
                                                   std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    const bool woke = m_changed.wait_for(lock, timeout, [&] {
        return m_mark.errors > since.errors || m_mark.asyncDone > since.asyncDone;
    });
    if (!woke)
        return Outcome::TimedOut;
    return m_mark.errors > since.errors ? Outcome::Failed : Outcome::Done;
}

GraphEvents::Outcome GraphEvents::WaitForEnd(const Mark &since,
                                             std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    const bool woke = m_changed.wait_for(
        lock, timeout, [&] { return m_mark.errors > since.errors || m_mark.ends > since.ends; });
    if (!woke)
        return Outcome::TimedOut;
    return m_mark.errors > since.errors ? Outcome::Failed : Outcome::Done;
}

std::string GraphEvents::FirstError() const
{
    std::lock_guard lock(m_mutex);
    return m_firstError;
}

void GraphEvents::RestartClock(GstElement *pipeline, gpointer data)
{
    StateGuard &guard = **static_cast<std::shared_ptr<StateGuard> *>(data);
    std::lock_guard lock(guard.mutex);
    if (guard.closed)
        return;
    GST_OBJECT_LOCK(pipeline);
    const bool playing = GST_STATE_TARGET(pipeline) == GST_STATE_PLAYING;
    GST_OBJECT_UNLOCK(pipeline);
    // Only a playing pipeline uses its clock; a paused one picks a new one when it next plays.
    if (!playing)
        return;
    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
}

GstBusSyncReply GraphEvents::OnMessage(GstBus *, GstMessage *message, gpointer self)
{
    gst::Message owned(message); // a handler that drops a message releases it
    static_cast<GraphEvents *>(self)->Handle(message);
    return GST_BUS_DROP;
}

void GraphEvents::Handle(GstMessage *message)
{
    const bool fromPipeline = GST_MESSAGE_SRC(message) == GST_OBJECT_CAST(m_pipeline);
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ASYNC_DONE:
        // Children post their own async-done inside the bin; only the pipeline's counts.
        if (fromPipeline) {
            std::lock_guard lock(m_mutex);
            ++m_mark.asyncDone;
            m_flushing = false; // prerolled at the new position: ends from now on are real
            m_changed.notify_all();
        }
        break;
    case GST_MESSAGE_EOS:
        if (fromPipeline)
            Post(EC_COMPLETE, 0, &Mark::ends);
        break;
    case GST_MESSAGE_CLOCK_LOST: {
        // The state change that lost the clock runs on this thread and holds the pipeline's
        // state lock: restart from GStreamer's own thread pool instead.
        {
            std::lock_guard lock(m_mutex);
            ++m_mark.clocksLost;
        }
        gst_element_call_async(
            m_pipeline, &GraphEvents::RestartClock, new std::shared_ptr<StateGuard>(m_guard),
            [](gpointer data) { delete static_cast<std::shared_ptr<StateGuard> *>(data); });
        break;
    }
    case GST_MESSAGE_ERROR: {
        GError *raw = nullptr;
        gchar *debug = nullptr;
        gst_message_parse_error(message, &raw, &debug);
        gst::Error error(raw);
        gst::String debugText(debug);
        GST_INFO_OBJECT(m_pipeline, "error from %s: %s (%s)", GST_MESSAGE_SRC_NAME(message),
                        error ? error->message : "?", debugText ? debugText.get() : "");
        {
            std::lock_guard lock(m_mutex);
            if (m_firstError.empty() && error)
                m_firstError = error->message;
        }
        Post(EC_ERRORABORT, E_FAIL, &Mark::errors);
        break;
    }
    default:
        break;
    }
}

void GraphEvents::Post(long code, std::intptr_t param1, std::uint64_t Mark::*count)
{
    std::function<void()> notify;
    {
        // Queued and counted at once: whoever wakes on the count finds the event waiting.
        std::lock_guard lock(m_mutex);
        if (code == EC_COMPLETE && m_flushing)
            return; // the end of the position being left
        m_queue.push_back({code, param1, 0});
        ++(m_mark.*count);
        m_changed.notify_all();
        notify = m_notify;
    }
    // Called unlocked so the receiver may call GetEvent straight away.
    if (notify)
        notify();
}

} // namespace media
