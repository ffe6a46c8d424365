#pragma once

#include <QSlider>

#include <functional>

// The position slider: raises a tracking flag while the left button holds it, so periodic
// position updates leave the thumb under the user's hand alone.
class CBitmapSlider : public QSlider
{
    Q_OBJECT
public:
    explicit CBitmapSlider(QWidget *parent = nullptr);
    void SetTrackingFlag(int *flag) { m_trackingFlag = flag; }
    // What the value means to a listener (the time it stands for); the plain number without.
    void SetValueText(std::function<QString(int)> text) { m_valueText = std::move(text); }
    QString ValueText() const;

signals:
    // The thumb was let go after a drag or a click: the counterpart of NM_RELEASEDCAPTURE.
    void releasedCapture();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    int *m_trackingFlag = nullptr;
    std::function<QString(int)> m_valueText;
};
