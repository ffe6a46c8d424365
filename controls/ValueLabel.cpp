#include "controls/ValueLabel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>

#include <algorithm>

namespace {

class AccessibleValueLabel : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit AccessibleValueLabel(QWidget *widget)
        : QAccessibleWidget(widget, QAccessible::StaticText)
    {
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Value)
            return Text();
        return QAccessibleWidget::text(type);
    }

    // Read-only text without selection or caret.
    void selection(int, int *start, int *end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override { return Text().mid(start, end - start); }
    int characterCount() const override { return static_cast<int>(Text().size()); }
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int *start, int *end) const override
    {
        *start = *end = offset;
        return QString();
    }

private:
    QString Text() const { return static_cast<const QLabel *>(widget())->text(); }
};

QAccessibleInterface *Factory(const QString &className, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return nullptr;
    if (className == QLatin1String("CValueLabel"))
        return new AccessibleValueLabel(widget);
    return nullptr;
}

} // namespace

CValueLabel::CValueLabel(QWidget *parent)
    : QLabel(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)installed;
}

void CValueLabel::SetValueText(const QString &text)
{
    const QString before = this->text();
    if (text == before)
        return;
    setText(text);
    QAccessibleTextUpdateEvent event(this, 0, before, text);
    QAccessible::updateAccessibility(&event);
}

CStatusLine::CStatusLine(QWidget *parent)
    : CValueLabel(parent)
{
}

void CStatusLine::SetElidable(const QString &part)
{
    m_elidable = part;
    update();
}

int CStatusLine::TextWidth() const
{
    // A framed label keeps half an 'x' free at its edge, as QLabel does.
    const int indent = frameWidth() > 0 ? fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 : 0;
    return std::max(0, contentsRect().width() - 2 * margin() - indent);
}

QString CStatusLine::ShownText() const
{
    const QString whole = text();
    const QFontMetrics metrics = fontMetrics();
    const int width = TextWidth();
    if (metrics.horizontalAdvance(whole) <= width)
        return whole;
    const qsizetype at = m_elidable.isEmpty() ? -1 : whole.lastIndexOf(m_elidable);
    if (at >= 0) {
        const QString before = whole.left(at);
        const QString after = whole.mid(at + m_elidable.size());
        int room = width - metrics.horizontalAdvance(before) - metrics.horizontalAdvance(after);
        // The parts' widths are rounded one by one: the whole may come out a pixel or two wider,
        // and then the room shrinks by that much.
        while (room > metrics.horizontalAdvance(QStringLiteral("/…/"))) {
            const QString shown
                = before + metrics.elidedText(m_elidable, Qt::ElideMiddle, room) + after;
            const int over = metrics.horizontalAdvance(shown) - width;
            if (over <= 0)
                return shown;
            room -= over;
        }
    }
    return metrics.elidedText(whole, Qt::ElideRight, width);
}

void CStatusLine::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    drawFrame(&painter);
    const int indent = contentsRect().width() - 2 * margin() - TextWidth();
    const QRect area = contentsRect().adjusted(margin() + indent, margin(), -margin(), -margin());
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(area, static_cast<int>(alignment()) | Qt::TextSingleLine, ShownText());
}
