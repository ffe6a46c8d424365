#include "resources/Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

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

// The icons of Open Video, Options, Convert and Help; false for another number.
bool DrawFirstIcons(QPainter &p, int number)
{
    switch (number) {
    case IconOpen: { // folder with a film frame
        Badge(p, QColor(214, 150, 40));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(8, 11, 16, 12));
        p.drawLine(QPointF(8, 11), QPointF(12, 8));
        p.drawLine(QPointF(12, 8), QPointF(16, 11));
        return true;
    }
    case IconOptions: { // sliders
        Badge(p, QColor(90, 110, 140));
        for (int i = 0; i < 3; ++i) {
            const double y = 10 + i * 6;
            p.drawLine(QPointF(8, y), QPointF(24, y));
            p.drawEllipse(QPointF(11 + i * 5, y), 2, 2);
        }
        return true;
    }
    case IconApplication: { // film strip with a play arrow
        Badge(p, QColor(40, 120, 200));
        p.setPen(Qt::NoPen);
        p.drawPolygon(QPolygonF({QPointF(12, 9), QPointF(23, 16), QPointF(12, 23)}));
        return true;
    }
    case IconHelp: {
        Badge(p, QColor(60, 150, 80));
        QFont font;
        font.setPixelSize(20);
        font.setBold(true);
        p.setFont(font);
        p.drawText(QRectF(0, 0, kIconSize, kIconSize), Qt::AlignCenter, QStringLiteral("?"));
        return true;
    }
    default:
        return false;
    }
}

// The icons of About, Homepage, Exit and Stop; false for another number.
bool DrawOtherIcons(QPainter &p, int number)
{
    switch (number) {
    case IconAbout: {
        Badge(p, QColor(120, 90, 170));
        p.drawLine(QPointF(16, 14), QPointF(16, 23));
        p.drawEllipse(QPointF(16, 9.5), 1, 1);
        return true;
    }
    case IconHomepage: { // house
        Badge(p, QColor(200, 80, 60));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(8, 16), QPointF(16, 8), QPointF(24, 16)}));
        p.drawRect(QRectF(11, 16, 10, 8));
        return true;
    }
    case IconExit: { // cross
        Badge(p, QColor(160, 50, 50));
        p.drawLine(QPointF(10, 10), QPointF(22, 22));
        p.drawLine(QPointF(22, 10), QPointF(10, 22));
        return true;
    }
    case IconStop: { // a filled square
        Badge(p, QColor(190, 60, 50));
        p.setPen(Qt::NoPen);
        p.drawRect(QRectF(10, 10, 12, 12));
        return true;
    }
    default:
        return false;
    }
}

QPixmap DrawIcon(int number)
{
    QPixmap pixmap = Canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (!DrawFirstIcons(p, number) && !DrawOtherIcons(p, number))
        Badge(p, Qt::gray);
    return pixmap;
}

} // namespace

QIcon Icon(int number)
{
    return QIcon(DrawIcon(number));
}

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

namespace {

// A white pointing hand with a dark outline; the tip of the index finger is the hot spot.
QCursor DrawHandCursor()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath hand;
    hand.moveTo(7.5, 1.5);
    hand.cubicTo(9.5, 0.5, 10.5, 1.5, 10.5, 3.5);
    hand.lineTo(10.5, 10.5); // index finger
    hand.cubicTo(11.5, 8.5, 14.0, 8.5, 14.0, 11.0);
    hand.cubicTo(15.0, 9.5, 17.5, 9.5, 17.5, 12.0);
    hand.cubicTo(18.5, 10.5, 21.0, 11.0, 21.0, 13.0);
    hand.lineTo(21.0, 19.0);
    hand.cubicTo(21.0, 22.0, 19.5, 24.0, 18.5, 25.5); // palm down to the wrist
    hand.lineTo(9.5, 25.5);
    hand.cubicTo(8.0, 23.0, 5.5, 19.5, 2.5, 15.5); // thumb side
    hand.cubicTo(1.5, 14.0, 3.5, 12.0, 5.5, 13.5);
    hand.lineTo(4.5, 12.5);
    hand.lineTo(4.5, 3.5);
    hand.cubicTo(4.5, 2.0, 5.5, 1.5, 7.5, 1.5);
    hand.closeSubpath();
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(Qt::white);
    p.drawPath(hand);
    p.setPen(QPen(QColor(90, 90, 90), 0.8));
    for (const double x : {14.0, 17.5})
        p.drawLine(QPointF(x, 13.5), QPointF(x, 17.5));
    p.end();
    return QCursor(pixmap, 7, 1);
}

void AppendLittleEndian(QByteArray &bytes, quint32 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A soft 70 ms "tick": two sine partials under a fast attack and an exponential decay, mono
// 16-bit PCM at 22050 Hz.
QByteArray MakeTick()
{
    constexpr int kRate = 22050;
    constexpr int kSamples = kRate * 70 / 1000;
    constexpr double kPi = 3.14159265358979323846;
    QByteArray pcm;
    pcm.reserve(kSamples * 2);
    for (int i = 0; i < kSamples; ++i) {
        const double t = double(i) / kRate;
        const double attack = std::min(1.0, t / 0.003);
        const double envelope = attack * std::exp(-t / 0.018);
        const double wave
            = 0.75 * std::sin(2 * kPi * 1320.0 * t) + 0.25 * std::sin(2 * kPi * 2640.0 * t);
        const auto sample = static_cast<qint16>(std::lround(wave * envelope * 0.35 * 32767));
        AppendLittleEndian(pcm, static_cast<quint16>(sample), 2);
    }
    QByteArray wav("RIFF");
    AppendLittleEndian(wav, 36 + pcm.size(), 4);
    wav.append("WAVEfmt ");
    AppendLittleEndian(wav, 16, 4);
    AppendLittleEndian(wav, 1, 2); // PCM
    AppendLittleEndian(wav, 1, 2); // mono
    AppendLittleEndian(wav, kRate, 4);
    AppendLittleEndian(wav, kRate * 2, 4);
    AppendLittleEndian(wav, 2, 2);
    AppendLittleEndian(wav, 16, 2);
    wav.append("data");
    AppendLittleEndian(wav, pcm.size(), 4);
    wav.append(pcm);
    return wav;
}

} // namespace

QCursor Cursor(int number)
{
    if (number == CursorHand)
        return DrawHandCursor();
    return QCursor(Qt::ArrowCursor);
}

QByteArray Sound(int number)
{
    if (number == SoundHover)
        return MakeTick();
    return QByteArray();
}

} // namespace artwork
