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
    std::lock_guard lock(store.mutex);
    // Reuse the image while the size stays, unless the painter still holds a shared copy.
    if (store.frame.width() != frame.width || store.frame.height() != frame.height
        || store.frame.isDetached() == false)
        store.frame = QImage(frame.width, frame.height, QImage::Format_RGB32);
    // B, G, R, x bytes are RGB32 on a little-endian machine.
    const int rowBytes = frame.width * 4;
    for (int y = 0; y < frame.height; ++y)
        std::memcpy(store.frame.scanLine(y),
                    frame.data + static_cast<std::ptrdiff_t>(y) * frame.stride, rowBytes);
    store.position = frame.position;
    if (store.widget && !store.repaintPending.exchange(true))
        QMetaObject::invokeMethod(store.widget, qOverload<>(&QWidget::update),
                                  Qt::QueuedConnection);
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

void CVideoWidget::paintEvent(QPaintEvent *)
{
    m_store->repaintPending = false;
    QImage frame;
    {
        std::lock_guard lock(m_store->mutex);
        frame = m_store->frame; // shared, not copied; the receiver reallocates if it must
    }
    QPainter painter(this);
    if (frame.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    if (frame.size() == size())
        painter.drawImage(QPoint(0, 0), frame);
    else
        painter.drawImage(rect(), frame);
}
