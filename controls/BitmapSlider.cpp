#include "controls/BitmapSlider.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QMouseEvent>

namespace {

// The slider's value in the words of the video: its time, not its raw step.
class AccessibleTimeSlider : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit AccessibleTimeSlider(QWidget *widget)
        : QAccessibleWidget(widget, QAccessible::Slider)
    {
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Value)
            return Slider()->ValueText();
        return QAccessibleWidget::text(type);
    }

    QVariant currentValue() const override { return Slider()->value(); }
    void setCurrentValue(const QVariant &value) override { Slider()->setValue(value.toInt()); }
    QVariant maximumValue() const override { return Slider()->maximum(); }
    QVariant minimumValue() const override { return Slider()->minimum(); }
    QVariant minimumStepSize() const override { return Slider()->singleStep(); }

private:
    CBitmapSlider *Slider() const { return static_cast<CBitmapSlider *>(widget()); }
};

QAccessibleInterface *Factory(const QString &className, QObject *object)
{
    if (className != QLatin1String("CBitmapSlider") || !object->isWidgetType())
        return nullptr;
    return new AccessibleTimeSlider(static_cast<QWidget *>(object));
}

} // namespace

CBitmapSlider::CBitmapSlider(QWidget *parent)
    : QSlider(Qt::Horizontal, parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)installed;
}

QString CBitmapSlider::ValueText() const
{
    return m_valueText ? m_valueText(value()) : QString::number(value());
}

void CBitmapSlider::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_trackingFlag)
        *m_trackingFlag = 1;
    QSlider::mousePressEvent(event);
    update();
}

void CBitmapSlider::mouseReleaseEvent(QMouseEvent *event)
{
    const bool left = event->button() == Qt::LeftButton;
    if (left && m_trackingFlag)
        *m_trackingFlag = 0;
    QSlider::mouseReleaseEvent(event);
    update();
    if (left)
        emit releasedCapture();
}
