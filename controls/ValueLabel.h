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
