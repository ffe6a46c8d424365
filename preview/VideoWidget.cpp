#include "preview/VideoWidget.h"

#include <QMetaObject>
#include <QPainter>

#include <cstring>

CVideoWidget::CVideoWidget(QWidget *parent)
    : QWidget(parent)
    , m_store(std::make_shared<Store>())
{
    m_store->widget = this;
    // Every pixel is painted here; nothing behind needs drawing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

CVideoWidget::~CVideoWidget()
{
    std::lock_guard lock(m_store->mutex);
    m_store->widget = nullptr;
}

std::function<void(const media::VideoFrame &)> CVideoWidget::FrameReceiver() const
{
    return [store = m_store](const media::VideoFrame &frame) { Receive(*store, frame); };
}

void CVideoWidget::Receive(Store &store, const media::VideoFrame &frame)
{
    if (frame.width <= 0 || frame.height <= 0 || !frame.data)
        return;
    // B, G, R, x bytes are RGB32 on a little-endian machine.
    QImage image;
    if (frame.memory) {
        image = QImage(frame.data, frame.width, frame.height, frame.stride, QImage::Format_RGB32);
    } else {
        image = QImage(frame.width, frame.height, QImage::Format_RGB32);
        for (int y = 0; y < frame.height; ++y)
            std::memcpy(image.scanLine(y),
                        frame.data + static_cast<std::ptrdiff_t>(y) * frame.stride,
                        static_cast<std::size_t>(frame.width) * 4);
    }
    std::shared_ptr<const void> previousMemory;
    QImage previous;
    {
        std::lock_guard lock(store.mutex);
        // The old picture is let go outside the lock: its buffer may go back to its pool.
        previous.swap(store.frame);
        previousMemory.swap(store.memory);
        store.frame = std::move(image);
        store.memory = frame.memory;
        store.position = frame.position;
        if (store.widget && !store.repaintPending.exchange(true))
            QMetaObject::invokeMethod(store.widget, qOverload<>(&QWidget::update),
                                      Qt::QueuedConnection);
    }
}

QImage CVideoWidget::CurrentFrame() const
{
    std::lock_guard lock(m_store->mutex);
    return m_store->frame.copy();
}

REFERENCE_TIME CVideoWidget::CurrentFramePosition() const
{
    std::lock_guard lock(m_store->mutex);
    return m_store->position;
}

std::optional<REFERENCE_TIME> CVideoWidget::ShownPosition() const
{
    std::lock_guard lock(m_store->mutex);
    if (m_store->frame.isNull())
        return std::nullopt;
    return m_store->position;
}

void CVideoWidget::paintEvent(QPaintEvent *)
{
    m_store->repaintPending = false;
    std::shared_ptr<const void> memory; // outlives the image that may wrap it
    QImage frame;
    {
        std::lock_guard lock(m_store->mutex);
        memory = m_store->memory;
        frame = m_store->frame; // shared, not copied
    }
    QPainter painter(this);
    if (frame.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    ++m_paints;
    if (frame.size() == size())
        painter.drawImage(QPoint(0, 0), frame);
    else
        painter.drawImage(rect(), frame);
}
