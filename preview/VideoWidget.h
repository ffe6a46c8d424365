#pragma once

#include "convert/media/MediaPlatform.h"

#include <QImage>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

// Shows the frames a playback graph hands over on its streaming thread. The newest frame is
// copied under a lock and the widget is asked, at most once until it has painted, to repaint
// on its own thread; painting draws that frame into the widget's rectangle on black.
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

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Store
    {
        mutable std::mutex mutex;
        QImage frame;
        REFERENCE_TIME position = 0;
        QWidget *widget = nullptr; // cleared when the widget goes
        std::atomic<bool> repaintPending{false};
    };
    static void Receive(Store &store, const media::VideoFrame &frame);

    std::shared_ptr<Store> m_store;
};
