#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QSize>
#include <QString>

// Dialog templates give rectangles in dialog units; these turn them into pixels for a font.
namespace platform {

// Base units the way the dialog manager measures a dialog's font: the mean width of the Latin
// letters, rounded, and the line height.
inline QSize DialogBaseUnits(const QFont &font)
{
    const QFontMetrics metrics(font);
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return QSize((metrics.horizontalAdvance(letters) / 26 + 1) / 2, metrics.height());
}

// x * base width / 4, y * base height / 8; the far edges are converted too, so neighbouring
// controls stay flush.
inline QRect DialogUnitsToPixels(const QRect &units, const QSize &base)
{
    const int x = units.x() * base.width() / 4;
    const int y = units.y() * base.height() / 8;
    const int right = (units.x() + units.width()) * base.width() / 4;
    const int bottom = (units.y() + units.height()) * base.height() / 8;
    return QRect(x, y, right - x, bottom - y);
}

} // namespace platform
