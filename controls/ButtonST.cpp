#include "controls/ButtonST.h"

#include <QResizeEvent>

#include <algorithm>

namespace {
constexpr int kNaturalIconSize = 32;
constexpr int kMargin = 3;
} // namespace

CButtonST::CButtonST(QWidget *parent) : QToolButton(parent)
{
    setAutoRaise(true);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setFocusPolicy(Qt::StrongFocus);
}

void CButtonST::SetIcons(const QIcon &icon)
{
    setIcon(icon);
    FitIcon();
}

// Icons keep their natural size where the button has room and shrink on short buttons, so the
// caption below stays readable.
void CButtonST::FitIcon()
{
    int room = height() - 2 * kMargin;
    if (m_alignment == IconAbove && !text().isEmpty())
        room -= fontMetrics().height();
    const int side = std::clamp(room, 12, kNaturalIconSize);
    setIconSize(QSize(side, side));
}

void CButtonST::resizeEvent(QResizeEvent *event)
{
    QToolButton::resizeEvent(event);
    FitIcon();
}

void CButtonST::EnableTransparency()
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
}

void CButtonST::SetHoverCursor(const QCursor &cursor) { setCursor(cursor); }

void CButtonST::SetTooltip(const QString &text) { setToolTip(text); }

int CButtonST::SetIconAlignment(int alignment)
{
    if (alignment > IconReserved || alignment < IconLeft)
        return 4;
    m_alignment = alignment;
    switch (alignment) {
    case IconAbove:
        setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        setLayoutDirection(Qt::LeftToRight);
        break;
    case IconRight:
        setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        setLayoutDirection(Qt::RightToLeft);
        break;
    default:
        setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        setLayoutDirection(Qt::LeftToRight);
        break;
    }
    FitIcon();
    update();
    return 0;
}
