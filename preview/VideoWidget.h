#pragma once

#include "media/playback/PlaybackGraph.h"

#include <QImage>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// Shows the frames a playback graph hands over on its streaming thread. The newest frame is
// kept under a lock (held, not copied, when the graph lets it be held) and the widget is asked,
// at most once until it has painted, to repaint on its own thread; painting draws that frame
// into the widget's rectangle.
class CVideoWidget : public QWidget
{
    Q_OBJECT
public:
    explicit CVideoWidget(QWidget *parent = nullptr);
    ~CVideoWidget() override;

    // The graph's frame receiver; it stays safe to call after the widget is gone.
    std::function<void(const media::VideoFrame &)> FrameReceiver() const;

    // The newest frame received (null before the first) and its stream position.
    QImage CurrentFrame() const;
    REFERENCE_TIME CurrentFramePosition() const;
    // The position of the picture on screen; empty before the first.
    std::optional<REFERENCE_TIME> ShownPosition() const;
    // How many times a frame has been painted.
    int PaintCount() const { return m_paints; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Store
    {
        mutable std::mutex mutex;
        QImage frame;
        std::shared_ptr<const void> memory; // keeps the pixels of frame when it wraps them
        REFERENCE_TIME position = 0;
        QWidget *widget = nullptr; // cleared when the widget goes
        std::atomic<bool> repaintPending{false};
    };
    static void Receive(Store &store, const media::VideoFrame &frame);

    std::shared_ptr<Store> m_store;
    int m_paints = 0;
};
