#include "controls/BitmapSlider.h"

#include <QMouseEvent>

CBitmapSlider::CBitmapSlider(QWidget *parent) : QSlider(Qt::Horizontal, parent) {}

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
