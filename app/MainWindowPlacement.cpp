// Where the main window goes: on the screen's work area, below the preview, at a font small
// enough to fit there.
#include "app/MainWindowTemplate.h"
#include "app/VinteloDlg.h"

#include "platform/DialogUnits.h"
#include "preview/PreviewGeometry.h"
#include "preview/TrimControls.h"
#include "preview/VcdCore.h"

#include <QMoveEvent>
#include <QResizeEvent>

namespace {

// Below these a smaller font would no longer be readable; the window is left larger then.
constexpr int kMinPixelSize = 8;
constexpr double kMinPointSize = 6.0;

// The next smaller size of font; false when it is as small as it may get.
bool MakeSmaller(QFont &font)
{
    if (font.pixelSize() > 0) {
        if (font.pixelSize() <= kMinPixelSize)
            return false;
        font.setPixelSize(font.pixelSize() - 1);
        return true;
    }
    if (font.pointSizeF() <= kMinPointSize)
        return false;
    font.setPointSizeF(font.pointSizeF() - 0.5);
    return true;
}

bool Within(const QSize &size, const QSize &room)
{
    return size.width() <= room.width() && size.height() <= room.height();
}

} // namespace

void CVinteloDlg::PlaceWindows()
{
    if (m_placing || !isVisible() || isMinimized())
        return;
    m_placing = true;
    FitFontToScreen();
    CVcdCore *player = CTrimControls::Player();
    if (!player || !player->PlaceWindows()) {
        const QRect frame = geometry().marginsAdded(CVcdCore::FrameMargins(this));
        const QRect placed
            = preview::PlaceWindows(CVcdCore::WorkArea(this), frame, QSize(), QMargins(), QPoint())
                  .mainFrame;
        if (placed.topLeft() != frame.topLeft())
            move(placed.topLeft());
    }
    m_placing = false;
}

void CVinteloDlg::FitFontToScreen()
{
    const QMargins margins = CVcdCore::FrameMargins(this);
    auto frameAt = [&](const QFont &font) {
        const QRect units(QPoint(0, 0), mainwindow::kTemplateSize);
        return platform::DialogUnitsToPixels(units, platform::DialogBaseUnits(font))
            .size()
            .grownBy(margins);
    };
    const QRect wished(frameGeometry().topLeft(), frameAt(m_chosenFont));
    const QSize room
        = preview::PlaceWindows(CVcdCore::WorkArea(this), wished, QSize(), QMargins(), QPoint())
              .mainFrame.size();
    QFont fitted = m_chosenFont;
    while (!Within(frameAt(fitted), room) && MakeSmaller(fitted)) {
    }
    if (fitted == font())
        return;

    // The controls that carry the window's font carry the fitted one too.
    m_fittingFont = true;
    const QFont old = font();
    for (QWidget *control : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (!control->isWindow() && control->testAttribute(Qt::WA_SetFont)
            && control->font() == old)
            control->setFont(fitted);
    setFont(fitted);
    platform::LayOutForFont(this);
    m_fittingFont = false;
}

void CVinteloDlg::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::FontChange && !m_fittingFont)
        m_chosenFont = font();
}

void CVinteloDlg::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    // A new interface font changes the window's size: it, and the preview, are placed again.
    if (event->oldSize().isValid() && event->size() != event->oldSize())
        PlaceWindows();
}

void CVinteloDlg::moveEvent(QMoveEvent *event)
{
    QDialog::moveEvent(event);
    // The first placing had to guess the frame the window manager adds.
    if (m_placePending && CVcdCore::Framed(this)) {
        m_placePending = false;
        PlaceWindows();
    }
}
