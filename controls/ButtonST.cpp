#include "controls/ButtonST.h"

#include "platform/Sounds.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>

#include <algorithm>

namespace {

constexpr int kMarginX = 3;
constexpr int kMarginY = 3;
constexpr QPoint kPressedOffset(1, 1);
constexpr int kDefaultIconSide = 32;
// Below this an icon is no longer recognisable; the caption keeps the room instead.
constexpr int kSmallestIcon = 10;
constexpr int kSmallestCaptionPixels = 7;
constexpr int kFocusFrameWidth = 2;
constexpr int kTextFlags = Qt::AlignHCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;

// One-pixel 3-D frame: top and left in one colour, bottom and right in the other.
void Draw3dRect(QPainter &painter, const QRect &rect, const QColor &topLeft,
                const QColor &bottomRight)
{
    const int l = rect.left(), t = rect.top(), r = rect.right(), b = rect.bottom();
    painter.setPen(topLeft);
    painter.drawLine(l, t, r - 1, t);
    painter.drawLine(l, t, l, b - 1);
    painter.setPen(bottomRight);
    painter.drawLine(r, t, r, b);
    painter.drawLine(l, b, r, b);
}

} // namespace

CButtonST::CButtonST(QWidget *parent)
    : QPushButton(parent)
{
    setFlat(true);
    // Enter is left to the window, which presses only a button whose focus frame shows.
    setAutoDefault(false);
    setFocusPolicy(Qt::StrongFocus);
    // Hovering follows every move, also while the window is not the active one.
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover, false);
}

void CButtonST::SetIcons(const QIcon &icon)
{
    setIcon(icon);
    const QList<QSize> sizes = icon.availableSizes();
    m_naturalIconSize = sizes.isEmpty() ? QSize(kDefaultIconSide, kDefaultIconSide) : sizes.first();
    if (icon.isNull())
        m_naturalIconSize = QSize();
    update();
}

void CButtonST::SetHoverSound(int resource, bool async)
{
    m_hoverResource = resource;
    m_hoverFile.clear();
    m_hoverFlags = platform::SoundFromResource | platform::SoundNoDefault | platform::SoundNoWait
                   | (async ? platform::SoundAsync : 0u);
}

void CButtonST::SetHoverSoundFile(const std::string &file, bool async)
{
    m_hoverResource = 0;
    m_hoverFile = file;
    m_hoverFlags
        = platform::SoundNoDefault | platform::SoundNoWait | (async ? platform::SoundAsync : 0u);
}

void CButtonST::EnableTransparency(bool repaint)
{
    // Qt composes a widget that fills nothing over its parent's painting, which is what a
    // snapshot of the parent's background gave, and it stays right when the parent changes.
    m_bTransparent = true;
    setAutoFillBackground(false);
    setAttribute(Qt::WA_NoSystemBackground);
    if (repaint)
        update();
}

void CButtonST::SetHoverCursor(const QCursor &cursor, bool repaint)
{
    setCursor(cursor);
    if (repaint)
        update();
}

void CButtonST::SetTooltip(const QString &text, bool activate)
{
    m_tooltip = text;
    setToolTip(activate ? text : QString());
}

int CButtonST::SetIconAlignment(int alignment, bool repaint)
{
    if (alignment > IconReserved || alignment < IconLeft)
        return kRefused;
    m_alignment = alignment;
    if (repaint)
        update();
    return 0;
}

int CButtonST::TextAreaWidth() const
{
    int width = this->width() - 2 * kMarginX;
    if (m_alignment != IconAbove && !m_naturalIconSize.isEmpty())
        width -= std::min(m_naturalIconSize.width(), height() - 2 * kMarginY);
    return std::max(width, 1);
}

namespace {

// The words of a caption as they are shown: "&&" is an ampersand, a single "&" marks a mnemonic.
QStringList ShownWords(const QString &caption)
{
    QString shown;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size())
            ++i;
        shown += caption[i];
    }
    return shown.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

int WidestWord(const QStringList &words, const QFontMetrics &metrics)
{
    int widest = 0;
    for (const QString &word : words)
        widest = std::max(widest, metrics.horizontalAdvance(word));
    return widest;
}

} // namespace

// A word wider than the button would be cut: the caption alone then gets a font just small
// enough for its longest word, so it stays whole whatever interface font was chosen.
QFont CButtonST::CaptionFont() const
{
    QFont caption = font();
    const QStringList words = ShownWords(text());
    const int room = TextAreaWidth();
    if (WidestWord(words, fontMetrics()) <= room)
        return caption;
    int pixels = QFontInfo(caption).pixelSize();
    while (pixels > kSmallestCaptionPixels) {
        caption.setPixelSize(--pixels);
        if (WidestWord(words, QFontMetrics(caption)) <= room)
            break;
    }
    return caption;
}

int CButtonST::TextBlockHeight(int width) const
{
    if (text().isEmpty())
        return 0;
    return QFontMetrics(CaptionFont())
        .boundingRect(QRect(0, 0, std::max(width, 1), 100000), kTextFlags, text())
        .height();
}

// The icon keeps its natural size where there is room and shrinks otherwise, so the caption
// stays whole even with a large interface font.
QSize CButtonST::IconSizeFor(int textHeight) const
{
    if (m_naturalIconSize.isEmpty())
        return QSize();
    int side = std::min(m_naturalIconSize.width(), m_naturalIconSize.height());
    if (m_alignment == IconAbove)
        side = std::min(side, height() - 2 * kMarginY - textHeight);
    else
        side = std::min(side, height() - 2 * kMarginY);
    if (side < kSmallestIcon)
        return QSize();
    return m_naturalIconSize.scaled(side, side, Qt::KeepAspectRatio);
}

QRect CButtonST::IconRect() const
{
    const int textHeight = TextBlockHeight(width() - 2 * kMarginX);
    const QSize size = IconSizeFor(textHeight);
    if (size.isEmpty())
        return QRect();
    QRect rect(QPoint(0, 0), size);
    switch (m_alignment) {
    case IconAbove:
        rect.moveTopLeft(QPoint((width() - size.width()) / 2, kMarginY));
        break;
    case IconRight:
        rect.moveTopLeft(QPoint(width() - kMarginX - size.width(), (height() - size.height()) / 2));
        break;
    default:
        rect.moveTopLeft(QPoint(kMarginX, (height() - size.height()) / 2));
        break;
    }
    if (isDown())
        rect.translate(kPressedOffset);
    return rect;
}

QRect CButtonST::TextRect() const
{
    if (text().isEmpty())
        return QRect();
    QRect area = rect().adjusted(kMarginX, kMarginY, -kMarginX, -kMarginY);
    QRect icon = IconRect();
    if (isDown() && !icon.isNull())
        icon.translate(-kPressedOffset);
    if (!icon.isNull()) {
        if (m_alignment == IconAbove)
            area.setTop(icon.bottom() + 1);
        else if (m_alignment == IconRight)
            area.setRight(icon.left() - 1);
        else
            area.setLeft(icon.right() + 1);
    }
    // The measured box, centred in the area.
    QRect box
        = QFontMetrics(CaptionFont())
              .boundingRect(QRect(0, 0, std::max(area.width(), 1), 100000), kTextFlags, text());
    box.setWidth(std::min(box.width(), area.width()));
    box.moveCenter(area.center());
    if (isDown())
        box.translate(kPressedOffset);
    return box;
}

QPixmap CButtonST::DisabledIcon(const QPixmap &pixmap) const
{
    // Embossed like the platform's disabled drawing: the dark parts of the icon become ink,
    // drawn once in the highlight colour one pixel down and right, then in the shadow colour.
    const QImage source = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    QImage ink(source.size(), QImage::Format_ARGB32);
    ink.fill(Qt::transparent);
    for (int y = 0; y < source.height(); ++y) {
        const QRgb *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        QRgb *out = reinterpret_cast<QRgb *>(ink.scanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            if (qAlpha(in[x]) >= 128 && qGray(in[x]) < 192)
                out[x] = qRgba(0, 0, 0, 255);
        }
    }
    QPixmap result(pixmap.size() + QSize(1, 1));
    result.fill(Qt::transparent);
    QPainter painter(&result);
    const auto tinted = [&](const QColor &color) {
        QImage image = ink;
        QPainter tint(&image);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(image.rect(), color);
        tint.end();
        return image;
    };
    painter.drawImage(QPoint(1, 1), tinted(palette().color(QPalette::Light)));
    painter.drawImage(QPoint(0, 0), tinted(palette().color(QPalette::Dark)));
    return result;
}

void CButtonST::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const bool pressed = isDown();
    const bool disabled = !isEnabled();
    const QPalette &colours = palette();

    if (!m_bTransparent)
        painter.fillRect(rect(), colours.color(QPalette::Button));

    if (pressed)
        Draw3dRect(painter, rect(), colours.color(QPalette::Dark), colours.color(QPalette::Light));
    else if (m_bMouseOnButton)
        Draw3dRect(painter, rect(), colours.color(QPalette::Light), colours.color(QPalette::Dark));
    // A flat button has no edge of its own, so the keyboard focus gets a frame of its own.
    if (FocusShown()) {
        painter.setPen(QPen(colours.color(QPalette::Highlight), kFocusFrameWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(FocusFrameRect());
    }

    const QRect iconRect = IconRect();
    if (!iconRect.isNull()) {
        const QPixmap pixmap = icon().pixmap(iconRect.size(), devicePixelRatioF());
        if (disabled)
            painter.drawPixmap(iconRect.topLeft(), DisabledIcon(pixmap));
        else
            painter.drawPixmap(iconRect, pixmap);
    }

    const QRect textRect = TextRect();
    if (textRect.isNull())
        return;
    painter.setFont(CaptionFont());
    if (disabled) {
        painter.setPen(colours.color(QPalette::Light));
        painter.drawText(textRect.translated(1, 1), kTextFlags, text());
        painter.setPen(colours.color(QPalette::Dark));
        painter.drawText(textRect, kTextFlags, text());
    } else {
        painter.setPen(colours.color(QPalette::ButtonText));
        painter.drawText(textRect, kTextFlags, text());
    }
}

bool CButtonST::FocusShown() const
{
    // Where the window's style hides the focus (after a click), so does this button.
    return hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

QRect CButtonST::FocusFrameRect() const
{
    // Inside the hover edge; a two-pixel pen centred on this rectangle.
    return rect().adjusted(2, 2, -2, -2);
}

void CButtonST::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !(event->modifiers() & ~Qt::KeypadModifier) && FocusShown()) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void CButtonST::focusInEvent(QFocusEvent *event)
{
    QPushButton::focusInEvent(event);
    update();
}

void CButtonST::mouseMoveEvent(QMouseEvent *event)
{
    QPushButton::mouseMoveEvent(event);
    // A press that began elsewhere (or left this button) does not start a hover here.
    if ((event->buttons() & Qt::LeftButton) && !m_bMouseOnButton)
        return;

    QWidget *top = window();
    const QPoint inTop = top->mapFromGlobal(event->globalPosition().toPoint());
    const bool over = top->rect().contains(inTop) && top->childAt(inTop) == this;
    if (!over) {
        EndHover();
        return;
    }
    if (m_bMouseOnButton)
        return;
    m_bMouseOnButton = true;
    update();
    if (m_hoverResource != 0 || !m_hoverFile.empty())
        platform::PlaySound({m_hoverResource, m_hoverFile, m_hoverFlags});
}

void CButtonST::EndHover()
{
    if (!m_bMouseOnButton)
        return;
    m_bMouseOnButton = false;
    update();
}

void CButtonST::leaveEvent(QEvent *event)
{
    QPushButton::leaveEvent(event);
    EndHover();
}

void CButtonST::focusOutEvent(QFocusEvent *event)
{
    QPushButton::focusOutEvent(event);
    EndHover();
    update();
}

void CButtonST::changeEvent(QEvent *event)
{
    QPushButton::changeEvent(event);
    switch (event->type()) {
    case QEvent::ActivationChange:
        if (!isActiveWindow())
            EndHover();
        break;
    case QEvent::EnabledChange:
        if (!isEnabled()) {
            // A disabled button keeps no focus: pass it on to the next tab stop or the parent.
            if (hasFocus()) {
                if (!focusNextPrevChild(true) && parentWidget())
                    parentWidget()->setFocus();
            }
            EndHover();
        }
        break;
    default:
        break;
    }
}
