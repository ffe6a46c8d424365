#pragma once

#include "media/playback/FrameDrawer.h"
#include "media/playback/PlaybackGraph.h"

#include <QImage>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QPainter;

// Shows the frames a playback graph hands over on its streaming thread. The newest frame is
// held (not copied) under a lock and the widget is asked, at most once until it has painted, to
// repaint on its own thread; painting converts that frame into the widget's rectangle, straight
// into the window's pixels where it can.
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
        media::VideoFrame frame;
        QWidget *widget = nullptr; // cleared when the widget goes
        std::atomic<bool> repaintPending{false};
    };
    static void Receive(Store &store, const media::VideoFrame &frame);
    // Converts the frame into the backing store's memory under this widget when the painter
    // draws there unscaled and this widget's whole rectangle is to be painted; false otherwise.
    bool DrawInPlace(QPainter &painter, const media::VideoFrame &frame);

    std::shared_ptr<Store> m_store;
    media::FrameDrawer m_drawer;
    // The frame converted for drawing where it cannot be drawn in place, and which frame it was.
    QImage m_picture;
    std::weak_ptr<const void> m_pictureOf;
    int m_paints = 0;
};
