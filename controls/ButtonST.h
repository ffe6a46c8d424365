#pragma once

#include <QIcon>
#include <QToolButton>

// Flat command button with its icon above the caption, an edge only while hovered, its own
// cursor and tooltip, drawn over the window's background.
class CButtonST : public QToolButton
{
    Q_OBJECT
public:
    enum Alignment { IconLeft = 0, IconAbove = 1, IconRight = 2, IconReserved = 3 };

    explicit CButtonST(QWidget *parent = nullptr);

    void SetIcons(const QIcon &icon);
    void EnableTransparency();
    void SetHoverCursor(const QCursor &cursor);
    void SetTooltip(const QString &text);
    // Returns 0, or 4 for a value above 3 (nothing changes then).
    int SetIconAlignment(int alignment);
    int IconAlignment() const { return m_alignment; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void FitIcon();
    int m_alignment = IconLeft;
};
