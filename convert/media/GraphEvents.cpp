#include "convert/media/GraphEvents.h"

#include "convert/media/MediaPlatform.h"

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
    const bool woke = m_changed.wait_for(lock, timeout, [&] {
        return m_mark.errors > since.errors || m_mark.ends > since.ends;
    });
    if (!woke)
        return Outcome::TimedOut;
    return m_mark.errors > since.errors ? Outcome::Failed : Outcome::Done;
}

std::string GraphEvents::FirstError() const
{
    std::lock_guard lock(m_mutex);
    return m_firstError;
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
            m_changed.notify_all();
        }
        break;
    case GST_MESSAGE_EOS:
        if (fromPipeline) {
            {
                std::lock_guard lock(m_mutex);
                ++m_mark.ends;
                m_changed.notify_all();
            }
            Post(EC_COMPLETE, 0);
        }
        break;
    case GST_MESSAGE_ERROR: {
        GError *raw = nullptr;
        gchar *debug = nullptr;
        gst_message_parse_error(message, &raw, &debug);
        gst::Error error(raw);
        gst::String debugText(debug);
        {
            std::lock_guard lock(m_mutex);
            if (m_firstError.empty() && error)
                m_firstError = error->message;
            ++m_mark.errors;
            m_changed.notify_all();
        }
        Post(EC_ERRORABORT, E_FAIL);
        break;
    }
    default:
        break;
    }
}

void GraphEvents::Post(long code, std::intptr_t param1)
{
    std::function<void()> notify;
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back({code, param1, 0});
        notify = m_notify;
    }
    // Called unlocked so the receiver may call GetEvent straight away.
    if (notify)
        notify();
}

} // namespace media
