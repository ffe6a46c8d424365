#include "controls/ButtonST.h"

CButtonST::CButtonST(QWidget *parent) : QToolButton(parent)
{
    setAutoRaise(true);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setFocusPolicy(Qt::StrongFocus);
}

void CButtonST::SetIcons(const QIcon &icon)
{
    setIcon(icon);
    setIconSize(QSize(32, 32));
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
    update();
    return 0;
}
