#include "preview/VideoWidget.h"

#include <QMetaObject>
#include <QPaintEngine>
#include <QPainter>

namespace {

// The frame as an image of its own size; null when it cannot be converted.
QImage Picture(media::FrameDrawer &drawer, const media::VideoFrame &frame, QImage reuse = {})
{
    if (!frame.memory || frame.width <= 0 || frame.height <= 0)
        return {};
    QImage image = reuse.size() == QSize(frame.width, frame.height)
                       ? std::move(reuse)
                       : QImage(frame.width, frame.height, QImage::Format_RGB32);
    if (image.isNull()
        || !drawer.Draw(frame, image.bits(), static_cast<int>(image.bytesPerLine()), frame.width,
                        frame.height))
        return {};
    return image;
}

} // namespace

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
    if (frame.width <= 0 || frame.height <= 0 || !frame.memory)
        return;
    media::VideoFrame previous;
    {
        std::lock_guard lock(store.mutex);
        // The old picture is let go outside the lock: its buffer may go back to its pool.
        previous = std::move(store.frame);
        store.frame = frame;
        if (store.widget && !store.repaintPending.exchange(true))
            QMetaObject::invokeMethod(store.widget, qOverload<>(&QWidget::update),
                                      Qt::QueuedConnection);
    }
}

QImage CVideoWidget::CurrentFrame() const
{
    media::VideoFrame frame;
    {
        std::lock_guard lock(m_store->mutex);
        frame = m_store->frame;
    }
    media::FrameDrawer drawer;
    return Picture(drawer, frame);
}

REFERENCE_TIME CVideoWidget::CurrentFramePosition() const
{
    std::lock_guard lock(m_store->mutex);
    return m_store->frame.position;
}

std::optional<REFERENCE_TIME> CVideoWidget::ShownPosition() const
{
    std::lock_guard lock(m_store->mutex);
    if (!m_store->frame.memory)
        return std::nullopt;
    return m_store->frame.position;
}

bool CVideoWidget::DrawInPlace(QPainter &painter, const media::VideoFrame &frame)
{
    QPaintEngine *engine = painter.paintEngine();
    if (!engine || frame.width != width() || frame.height != height())
        return false;
    QPaintDevice *device = engine->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return false;
    auto *target = static_cast<QImage *>(device);
    // Only memory that is the target's own (bits() must not detach a copy), at one pixel per
    // pixel, in a format whose pixels are B, G, R, 255.
    if (!target->isDetached() || target->devicePixelRatio() != 1.0
        || (target->format() != QImage::Format_RGB32
            && target->format() != QImage::Format_ARGB32_Premultiplied))
        return false;
    const QTransform transform = painter.deviceTransform();
    if (transform.type() > QTransform::TxTranslate)
        return false;
    const QRect area(QPoint(qRound(transform.dx()), qRound(transform.dy())), size());
    // A smaller clip means something else owns part of the rectangle.
    if (!target->rect().contains(area) || engine->systemClip() != QRegion(area))
        return false;
    const qsizetype line = target->bytesPerLine();
    uchar *origin = target->bits() + area.y() * line + area.x() * 4;
    return m_drawer.Draw(frame, origin, static_cast<int>(line), area.width(), area.height());
}

void CVideoWidget::paintEvent(QPaintEvent *)
{
    m_store->repaintPending = false;
    media::VideoFrame frame; // holds the picture while it is drawn
    {
        std::lock_guard lock(m_store->mutex);
        frame = m_store->frame;
    }
    QPainter painter(this);
    if (!frame.memory) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    ++m_paints;
    if (DrawInPlace(painter, frame))
        return;
    if (m_pictureOf.lock() != frame.memory) {
        m_picture = Picture(m_drawer, frame, std::move(m_picture));
        m_pictureOf = frame.memory;
    }
    if (m_picture.isNull())
        painter.fillRect(rect(), Qt::black);
    else if (m_picture.size() == size())
        painter.drawImage(QPoint(0, 0), m_picture);
    else
        painter.drawImage(rect(), m_picture);
}
