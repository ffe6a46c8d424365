#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <mutex>

// Turns a media graph's notify callback, which runs on a streaming thread, into a
// WM_GRAPHNOTIFY event posted to a window. The window drains the graph's event queue with zero
// wait when the event arrives, on its own thread. Streaming threads never touch the window.
class CGraphNotifier
{
public:
    explicit CGraphNotifier(QObject *receiver);
    // Detaches, so a callback still held by a graph posts nothing afterwards.
    ~CGraphNotifier();

    CGraphNotifier(const CGraphNotifier &) = delete;
    CGraphNotifier &operator=(const CGraphNotifier &) = delete;

    // The callback to hand to the graph; safe to call from any thread, also after Detach.
    std::function<void()> Callback() const;
    // Stops posting; call before the receiver is destroyed.
    void Detach();

private:
    struct Target
    {
        std::mutex mutex;
        QObject *receiver = nullptr;
    };
    std::shared_ptr<Target> m_target;
};
