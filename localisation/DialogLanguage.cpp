#include "localisation/DialogLanguage.h"

#include "localisation/InterfaceFont.h"
#include "localisation/Language.h"
#include "platform/DialogUnits.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QVariant>

#include <cstdint>

namespace {

QString ToQString(const std::string &text)
{
    return CatalogueText(text);
}

bool IsSkippedKind(const QWidget *widget)
{
    return qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QTextEdit *>(widget)
           || qobject_cast<const QPlainTextEdit *>(widget)
           || qobject_cast<const QAbstractItemView *>(widget)
           || qobject_cast<const QAbstractSpinBox *>(widget);
}

void SetInterfaceFont(QWidget *widget, const CLanguage &language)
{
    // Without a font the control goes back to its default one.
    widget->setFont(InterfaceQFont(language));
}

void SetControlText(QWidget *widget, const QString &text)
{
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        button->setText(text);
    else if (auto *label = qobject_cast<QLabel *>(widget))
        label->setText(text);
    else if (auto *group = qobject_cast<QGroupBox *>(widget))
        group->setTitle(text);
    else
        widget->setWindowTitle(text);
}

} // namespace

// Language files are UTF-8 here; an older single-byte file still shows its accented letters
// instead of replacement marks.
QString CatalogueText(const std::string &text)
{
    const QByteArray bytes = QByteArray::fromStdString(text);
    QString decoded = QString::fromUtf8(bytes);
    if (decoded.contains(QChar::ReplacementCharacter) && !bytes.contains("\xEF\xBF\xBD"))
        return QString::fromLatin1(bytes);
    return decoded;
}

bool ApplyToDialog(QWidget *dialog, int dialogNumber)
{
    return ApplyToDialog(dialog, dialogNumber, CLanguage::Instance());
}

bool ApplyToDialog(QWidget *dialog, int dialogNumber, const CLanguage &language)
{
    if (!dialog || language.GetLanguageCount() == 0)
        return false;

    // The caption is drawn by the window manager.
    const std::string caption = language.GetDialogText(dialogNumber);
    if (!caption.empty())
        dialog->setWindowTitle(ToQString(caption));

    for (QObject *child : dialog->children()) {
        auto *widget = qobject_cast<QWidget *>(child);
        if (!widget || widget->isWindow() || IsSkippedKind(widget))
            continue;
        bool ok = false;
        const int stored = widget->property("controlId").toInt(&ok);
        const int number = static_cast<std::int16_t>(static_cast<std::uint16_t>(stored));
        if (!ok || number <= 0)
            continue;

        const std::string text
            = number < 100 ? language.GetString(number) : language.GetDialogText(number);
        if (text.empty())
            continue;

        if (auto *combo = qobject_cast<QComboBox *>(widget)) {
            combo->clear();
            // The piece after the last line feed is kept even when empty.
            for (const QString &item : ToQString(text).split(QLatin1Char('\n')))
                combo->addItem(item);
            continue;
        }
        SetControlText(widget, ToQString(text));
        SetInterfaceFont(widget, language);
    }
    // Every control shows the chosen font, also those without a text of the language (status
    // line, time fields), and the dialog units grow with it, so nothing is cut.
    if (language.HasInterfaceFont()) {
        dialog->setFont(ToQFont(language.GetInterfaceFont()));
        platform::LayOutForFont(dialog);
    }
    return true;
}
