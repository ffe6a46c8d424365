#pragma once

#include <QIcon>
#include <QPushButton>

#include <string>

// Flat command button: its icon above the caption, an edge only while hovered (raised) or
// pressed (sunken), its own cursor, tooltip and hover sound, drawn over the window's background.
class CButtonST : public QPushButton
{
    Q_OBJECT
public:
    enum Alignment { IconLeft = 0, IconAbove = 1, IconRight = 2, IconReserved = 3 };
    static constexpr int kRefused = 4;

    explicit CButtonST(QWidget *parent = nullptr);

    void SetIcons(const QIcon &icon);
    // A wave resource of the program played when the pointer enters the button.
    void SetHoverSound(int resource, bool async = true);
    // A wave file instead of a resource.
    void SetHoverSoundFile(const std::string &file, bool async = true);
    void EnableTransparency(bool repaint = false);
    void SetHoverCursor(const QCursor &cursor, bool repaint = true);
    void SetTooltip(const QString &text, bool activate = true);
    // Returns 0, or 4 for a value above 3 (nothing changes then).
    int SetIconAlignment(int alignment, bool repaint = true);
    int IconAlignment() const { return m_alignment; }

    bool IsHovering() const { return m_bMouseOnButton; }
    bool IsTransparent() const { return m_bTransparent; }
    // Where the icon and the caption go for the current state (also what the tests measure).
    QRect IconRect() const;
    QRect TextRect() const;
    // The focus frame shows while the button has the focus and its window shows keyboard focus.
    bool FocusShown() const;
    QRect FocusFrameRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    // Enter presses the button only while its focus shows.
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void EndHover();
    QSize IconSizeFor(int textHeight) const;
    int TextBlockHeight(int width) const;
    int TextAreaWidth() const;
    QFont CaptionFont() const;
    QPixmap DisabledIcon(const QPixmap &pixmap) const;

    int m_alignment = IconLeft;
    QSize m_naturalIconSize;
    bool m_bTransparent = false;
    bool m_bMouseOnButton = false;
    int m_hoverResource = 0;
    std::string m_hoverFile;
    unsigned m_hoverFlags = 0;
    QString m_tooltip;
};
