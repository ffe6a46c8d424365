#include "options/PropertyDialog.h"

#include "platform/MessageBoxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>

#include <climits>

namespace {

using media::PropertyType;

bool FitsSpinBox(const media::PropertyInfo &info)
{
    return info.minimum >= INT_MIN && info.maximum <= INT_MAX;
}

QString RangeText(const media::PropertyInfo &info)
{
    if (info.type == PropertyType::Integer)
        return QStringLiteral("%1 to %2").arg(info.minimum).arg(info.maximum);
    if (info.type == PropertyType::Real)
        return QStringLiteral("%1 to %2")
            .arg(info.realMinimum, 0, 'g', 10)
            .arg(info.realMaximum, 0, 'g', 10);
    return {};
}

QString ChoiceText(const media::PropertyChoice &choice)
{
    // GStreamer's value names are sentences; the nick is the short machine word.
    return QString::fromStdString(choice.description.empty() ? choice.nick : choice.description);
}

} // namespace

PropertyDialog::PropertyDialog(media::Filter element, const QString &caption, QWidget *parent)
    : QDialog(parent)
    , m_element(std::move(element))
{
    setWindowTitle(caption);
    setObjectName(QStringLiteral("PropertyDialog"));

    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    for (const media::PropertyInfo &info : m_element.EditableProperties()) {
        Row row;
        row.info = info;
        if (FAILED(m_element.GetProperty(info.name, &row.initial)))
            continue;
        row.editor = MakeEditor(row);
        row.editor->setObjectName(QString::fromStdString(info.name));
        QString tip = QString::fromStdString(info.blurb);
        const QString range = RangeText(info);
        if (!range.isEmpty())
            tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + QStringLiteral("Range: ")
                   + range;
        row.editor->setToolTip(tip);
        auto *label = new QLabel(QString::fromStdString(info.nick) + QLatin1Char(':'));
        label->setToolTip(tip);
        label->setBuddy(row.editor);
        form->addRow(label, row.editor);
        m_rows.push_back(std::move(row));
    }
    if (m_rows.empty())
        form->addRow(new QLabel(tr("This element has no settings to change.")));

    auto *scroll = new QScrollArea;
    scroll->setWidget(page);
    scroll->setWidgetResizable(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setProperty("controlId", 1);
    buttons->button(QDialogButtonBox::Cancel)->setProperty("controlId", 2);
    connect(buttons, &QDialogButtonBox::accepted, this, &PropertyDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PropertyDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(scroll);
    layout->addWidget(buttons);

    // Show the whole page when it fits; an encoder with dozens of settings scrolls instead
    // of growing past the screen.
    const QSize wanted = page->sizeHint();
    const QRect screen
        = this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    const int width = qMin(wanted.width() + scroll->verticalScrollBar()->sizeHint().width() + 40,
                           screen.width() * 9 / 10);
    const int height = qMin(wanted.height() + buttons->sizeHint().height() + 40,
                            qMin(560, screen.height() * 8 / 10));
    resize(qMax(width, 360), qMax(height, 160));
}

namespace {

// A list of the declared values; one outside them is shown as it is, so OK does not change it.
QWidget *MakeChoiceList(const media::PropertyInfo &info, qint64 value)
{
    auto *combo = new QComboBox;
    for (const media::PropertyChoice &choice : info.choices)
        combo->addItem(ChoiceText(choice), QVariant::fromValue<qint64>(choice.value));
    int current = combo->findData(QVariant::fromValue<qint64>(value));
    if (current < 0) {
        combo->addItem(QString::number(value), QVariant::fromValue<qint64>(value));
        current = combo->count() - 1;
    }
    combo->setCurrentIndex(current);
    return combo;
}

// A check box per flag, in two columns while the texts are short; long ones would widen the
// page past the screen.
QWidget *MakeFlagBoxes(const media::PropertyInfo &info, qint64 value)
{
    auto *box = new QWidget;
    auto *grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    int columns = 2;
    for (const media::PropertyChoice &choice : info.choices) {
        if (ChoiceText(choice).size() > 32)
            columns = 1;
    }
    int i = 0;
    for (const media::PropertyChoice &choice : info.choices) {
        auto *check = new QCheckBox(ChoiceText(choice));
        check->setProperty("flagValue", QVariant::fromValue<qint64>(choice.value));
        check->setChecked((value & choice.value) == choice.value);
        grid->addWidget(check, i / columns, i % columns);
        ++i;
    }
    return box;
}

} // namespace

QWidget *PropertyDialog::MakeEditor(const Row &row)
{
    const media::PropertyInfo &info = row.info;
    switch (info.type) {
    case PropertyType::Boolean: {
        auto *box = new QCheckBox;
        box->setChecked(std::get<bool>(row.initial));
        return box;
    }
    case PropertyType::Integer: {
        const qint64 value = std::get<std::int64_t>(row.initial);
        if (FitsSpinBox(info)) {
            auto *spin = new QSpinBox;
            spin->setRange(static_cast<int>(info.minimum), static_cast<int>(info.maximum));
            spin->setValue(static_cast<int>(value));
            return spin;
        }
        // Past the spin box's width: typed, checked against the range at OK.
        auto *edit = new QLineEdit(QString::number(value));
        edit->setMaximumWidth(edit->fontMetrics().averageCharWidth() * 28);
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?\\d*")), edit));
        return edit;
    }
    case PropertyType::Real: {
        auto *edit = new QLineEdit(
            QString::number(std::get<double>(row.initial), 'g', QLocale::FloatingPointShortest));
        edit->setMaximumWidth(edit->fontMetrics().averageCharWidth() * 28);
        auto *validator = new QDoubleValidator(edit);
        validator->setLocale(QLocale::c());
        edit->setValidator(validator);
        return edit;
    }
    case PropertyType::Enumeration:
        return MakeChoiceList(info, std::get<std::int64_t>(row.initial));
    case PropertyType::Flags:
        return MakeFlagBoxes(info, std::get<std::int64_t>(row.initial));
    case PropertyType::Text:
        break;
    }
    return new QLineEdit(QString::fromStdString(std::get<std::string>(row.initial)));
}

bool PropertyDialog::ReadEditor(const Row &row, media::PropertyValue *value, QString *reason) const
{
    const media::PropertyInfo &info = row.info;
    switch (info.type) {
    case PropertyType::Boolean:
        *value = static_cast<QCheckBox *>(row.editor)->isChecked();
        return true;
    case PropertyType::Integer: {
        if (auto *spin = qobject_cast<QSpinBox *>(row.editor)) {
            *value = static_cast<std::int64_t>(spin->value());
            return true;
        }
        bool ok = false;
        const qint64 n = static_cast<QLineEdit *>(row.editor)->text().toLongLong(&ok);
        if (!ok || n < info.minimum || n > info.maximum) {
            *reason = QStringLiteral("a whole number from ") + RangeText(info);
            return false;
        }
        *value = static_cast<std::int64_t>(n);
        return true;
    }
    case PropertyType::Real: {
        bool ok = false;
        const double d = QLocale::c().toDouble(static_cast<QLineEdit *>(row.editor)->text(), &ok);
        if (!ok || d < info.realMinimum || d > info.realMaximum) {
            *reason = QStringLiteral("a number from ") + RangeText(info);
            return false;
        }
        *value = d;
        return true;
    }
    case PropertyType::Enumeration:
        *value = static_cast<std::int64_t>(
            static_cast<QComboBox *>(row.editor)->currentData().toLongLong());
        return true;
    case PropertyType::Flags: {
        qint64 flags = std::get<std::int64_t>(row.initial);
        for (QCheckBox *check : row.editor->findChildren<QCheckBox *>()) {
            const qint64 bit = check->property("flagValue").toLongLong();
            flags = check->isChecked() ? (flags | bit) : (flags & ~bit);
        }
        *value = static_cast<std::int64_t>(flags);
        return true;
    }
    case PropertyType::Text:
        break;
    }
    *value = static_cast<QLineEdit *>(row.editor)->text().toStdString();
    return true;
}

QWidget *PropertyDialog::Editor(const std::string &propertyName) const
{
    for (const Row &row : m_rows) {
        if (row.info.name == propertyName)
            return row.editor;
    }
    return nullptr;
}

void PropertyDialog::accept()
{
    // Every typed value is checked before any is put on the element.
    std::vector<std::pair<const Row *, media::PropertyValue>> changes;
    for (const Row &row : m_rows) {
        media::PropertyValue value;
        QString reason;
        if (!ReadEditor(row, &value, &reason)) {
            platform::ShowMessageBox("\"" + row.info.nick + "\" must be " + reason.toStdString()
                                         + ".",
                                     windowTitle().toStdString(), platform::BoxButtons::Ok,
                                     platform::BoxIcon::Exclamation);
            row.editor->setFocus();
            return;
        }
        if (value != row.initial)
            changes.emplace_back(&row, std::move(value));
    }
    for (const auto &[row, value] : changes) {
        if (FAILED(m_element.SetProperty(row->info.name, value))) {
            platform::ShowMessageBox("\"" + row->info.nick + "\" does not take this value.",
                                     windowTitle().toStdString(), platform::BoxButtons::Ok,
                                     platform::BoxIcon::Exclamation);
            row->editor->setFocus();
            return;
        }
    }
    QDialog::accept();
}
