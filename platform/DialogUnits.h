#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QSize>
#include <QString>
#include <QVariant>
#include <QWidget>

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

// Places a dialog's control from its template rectangle and keeps the rectangle on it, so the
// dialog can be laid out again when its font changes.
inline void PlaceInDialogUnits(QWidget *control, const QRect &units, const QSize &base)
{
    control->setProperty("dialogUnits", units);
    control->setGeometry(DialogUnitsToPixels(units, base));
}

// Dialog units follow the dialog's font: the dialog (with its template size in the property
// "templateSize") and every control placed by PlaceInDialogUnits grow or shrink with it.
// Returns the new base units.
inline QSize LayOutForFont(QWidget *dialog)
{
    const QSize base = DialogBaseUnits(dialog->font());
    for (QObject *child : dialog->children()) {
        auto *control = qobject_cast<QWidget *>(child);
        const QVariant units = control ? control->property("dialogUnits") : QVariant();
        if (units.isValid() && !control->isWindow())
            control->setGeometry(DialogUnitsToPixels(units.toRect(), base));
    }
    const QVariant size = dialog->property("templateSize");
    if (size.isValid())
        dialog->setFixedSize(DialogUnitsToPixels(QRect(QPoint(0, 0), size.toSize()), base).size());
    return base;
}

} // namespace platform
