#pragma once

#include "media/core/Filter.h"

#include <QDialog>

#include <vector>

class QWidget;

// The settings of one element (a codec, a muxer, any element of a graph): every property a
// person may change, each with an editor of its kind, in a scrolling page with OK and Cancel.
// OK puts the changed values on the element; a value the element refuses keeps the dialog
// open. Each editor's object name is its property's name.
class PropertyDialog : public QDialog
{
    Q_OBJECT
public:
    PropertyDialog(media::Filter element, const QString &caption, QWidget *parent = nullptr);

    // The editor of a property, for the dialog's users and tests; nullptr when it has none.
    QWidget *Editor(const std::string &propertyName) const;

    void accept() override;

private:
    struct Row
    {
        media::PropertyInfo info;
        media::PropertyValue initial;
        QWidget *editor = nullptr;
    };

    QWidget *MakeEditor(const Row &row);
    // The editor's value; false with a reason when the text is not a valid value.
    bool ReadEditor(const Row &row, media::PropertyValue *value, QString *reason) const;

    media::Filter m_element;
    std::vector<Row> m_rows;
};
