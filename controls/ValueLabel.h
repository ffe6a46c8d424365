#pragma once

#include <QLabel>

// A display whose text is a value (a time, the status): assistive technology reads a fixed
// accessible name and the text as the value and through the text interface, so a change of the
// text never renames the control.
class CValueLabel : public QLabel
{
    Q_OBJECT
public:
    explicit CValueLabel(QWidget *parent = nullptr);
    // Sets the text and tells assistive technology that the text changed.
    void SetValueText(const QString &text);
};

// A one-line status display that always shows its whole text: when the text is wider than the
// line, one part of it (a file path) is shortened in its middle, so what follows it (the
// resolution) stays in view. Its value for assistive technology stays the whole text.
class CStatusLine : public CValueLabel
{
    Q_OBJECT
public:
    explicit CStatusLine(QWidget *parent = nullptr);
    // The part that may be shortened where it occurs in the text (its last occurrence).
    void SetElidable(const QString &part);
    // The text as drawn now.
    QString ShownText() const;
    // The width the text may take.
    int TextWidth() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_elidable;
};
