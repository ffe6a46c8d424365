#include "resources/Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace artwork {

namespace {

constexpr int kIconSize = 32;

QPixmap Canvas()
{
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void Badge(QPainter &p, const QColor &color)
{
    QLinearGradient gradient(0, 0, 0, kIconSize);
    gradient.setColorAt(0, color.lighter(140));
    gradient.setColorAt(1, color.darker(120));
    p.setPen(QPen(color.darker(160), 1.2));
    p.setBrush(gradient);
    p.drawRoundedRect(QRectF(2.5, 2.5, 27, 27), 6, 6);
    p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
}

QPixmap DrawIcon(int number)
{
    QPixmap pixmap = Canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (number) {
    case IconOpen: { // folder with a film frame
        Badge(p, QColor(214, 150, 40));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(8, 11, 16, 12));
        p.drawLine(QPointF(8, 11), QPointF(12, 8));
        p.drawLine(QPointF(12, 8), QPointF(16, 11));
        break;
    }
    case IconOptions: { // sliders
        Badge(p, QColor(90, 110, 140));
        for (int i = 0; i < 3; ++i) {
            const double y = 10 + i * 6;
            p.drawLine(QPointF(8, y), QPointF(24, y));
            p.drawEllipse(QPointF(11 + i * 5, y), 2, 2);
        }
        break;
    }
    case IconApplication: { // film strip with a play arrow
        Badge(p, QColor(40, 120, 200));
        p.setPen(Qt::NoPen);
        p.drawPolygon(QPolygonF({QPointF(12, 9), QPointF(23, 16), QPointF(12, 23)}));
        break;
    }
    case IconHelp: {
        Badge(p, QColor(60, 150, 80));
        QFont font;
        font.setPixelSize(20);
        font.setBold(true);
        p.setFont(font);
        p.drawText(QRectF(0, 0, kIconSize, kIconSize), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case IconAbout: {
        Badge(p, QColor(120, 90, 170));
        p.drawLine(QPointF(16, 14), QPointF(16, 23));
        p.drawEllipse(QPointF(16, 9.5), 1, 1);
        break;
    }
    case IconHomepage: { // house
        Badge(p, QColor(200, 80, 60));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(8, 16), QPointF(16, 8), QPointF(24, 16)}));
        p.drawRect(QRectF(11, 16, 10, 8));
        break;
    }
    case IconExit: { // cross
        Badge(p, QColor(160, 50, 50));
        p.drawLine(QPointF(10, 10), QPointF(22, 22));
        p.drawLine(QPointF(22, 10), QPointF(10, 22));
        break;
    }
    default:
        Badge(p, Qt::gray);
        break;
    }
    return pixmap;
}

} // namespace

QIcon Icon(int number) { return QIcon(DrawIcon(number)); }

QPixmap Bitmap(int number)
{
    // The background tile: a soft diagonal weave that repeats seamlessly.
    QPixmap tile(48, 48);
    tile.fill(QColor(226, 232, 240));
    if (number != BitmapBackground)
        return tile;
    QPainter p(&tile);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(210, 218, 230), 2));
    for (int offset = -48; offset <= 48; offset += 12)
        p.drawLine(QPointF(offset, 0), QPointF(offset + 48, 48));
    return tile;
}

QCursor Cursor(int number)
{
    if (number == CursorHand)
        return QCursor(Qt::PointingHandCursor);
    return QCursor(Qt::ArrowCursor);
}

} // namespace artwork
