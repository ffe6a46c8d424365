#pragma once

#include "media/core/GstHandles.h"
#include "platform/Status.h"

#include <gst/gst.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace media {

// The one bridge from a pipeline's bus to the program. A sync handler sees every message on
// the thread that posts it, turns end-of-stream and errors into graph events in a locked
// queue, tells the receiver through its callback, and keeps the counts that let a caller wait
// (bounded) for a state change or the end of a render. Every message is dropped after that,
// so the bus never grows while nobody reads it. A lost clock is handled here too: the pipeline
// goes to paused and back to playing so it picks a clock that still runs.
class GraphEvents
{
public:
    explicit GraphEvents(GstElement *pipeline);
    ~GraphEvents();

    GraphEvents(const GraphEvents &) = delete;
    GraphEvents &operator=(const GraphEvents &) = delete;

    // Runs on a streaming thread after an event was queued; it must not block or touch widgets.
    void SetNotifyCallback(std::function<void()> callback);
    // Pops the oldest event without waiting; E_ABORT when none is queued.
    HRESULT GetEvent(long *code, std::intptr_t *param1, std::intptr_t *param2);
    void ClearEvents();
    // Drops the queued events and the first error: the graph starts over.
    void Reset();

    // Every state change of the pipeline goes through here, so the restart after a lost clock
    // never crosses a change the owner makes (a pause, or the shutdown to null).
    GstStateChangeReturn SetState(GstState state);

    // Around a flushing seek: completions queued before it, and any the old position still
    // sends until the pipeline has prerolled at the new one, are dropped, so the receiver
    // never sees an end that belongs to the place it left.
    void BeginFlush();
    void EndFlush();

    // What has happened so far; a caller takes one before starting a change and waits for
    // anything newer, so a message that arrives before the wait starts is not missed.
    struct Mark
    {
        std::uint64_t asyncDone = 0;
        std::uint64_t errors = 0;
        std::uint64_t ends = 0;
        std::uint64_t clocksLost = 0;
    };
    Mark Now() const;

    enum class Outcome { Done, Failed, TimedOut };
    // Waits until the pipeline completes an asynchronous state change (preroll, flushing seek)
    // after the mark, or an error arrives.
    Outcome WaitForAsyncDone(const Mark &since, std::chrono::milliseconds timeout) const;
    // Waits until end-of-stream or an error arrives after the mark.
    Outcome WaitForEnd(const Mark &since, std::chrono::milliseconds timeout) const;
    // Text of the first error seen (empty when none).
    std::string FirstError() const;

private:
    struct Event
    {
        long code;
        std::intptr_t param1;
        std::intptr_t param2;
    };

    // Shared with restarts still waiting in GStreamer's thread pool, which may run after the
    // owner has gone.
    struct StateGuard
    {
        std::mutex mutex;
        bool closed = false;
    };

    static GstBusSyncReply OnMessage(GstBus *bus, GstMessage *message, gpointer self);
    static void RestartClock(GstElement *pipeline, gpointer guard);
    void Handle(GstMessage *message);
    void Post(long code, std::intptr_t param1, std::uint64_t Mark::*count);

    GstElement *m_pipeline; // not owned; the owner outlives us
    gst::Bus m_bus;
    std::shared_ptr<StateGuard> m_guard = std::make_shared<StateGuard>();
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::deque<Event> m_queue;
    std::function<void()> m_notify;
    Mark m_mark;
    std::string m_firstError;
    bool m_flushing = false;
};

} // namespace media
