#pragma once

#include "localisation/Language.h"
#include "options/DialogOutputSettings.h"
#include "options/SettingsStore.h"
#include "platform/Choosers.h"
#include "platform/MessageBoxes.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <ostream>
#include <string>

// A fresh settings file, the English built-in texts, and recorders for boxes and choosers.
struct OptionsEnvironment
{
    QTemporaryDir dir;
    std::string storePath = (dir.path() + "/clipwright.conf").toStdString();
    SettingsStore store{storePath};
    platform::MessageBoxRecorder boxes;
    platform::ChooserRecorder choosers;

    explicit OptionsEnvironment(const std::string &languageRoot = std::string(),
                                const std::string &language = "english")
    {
        SettingsStore::SetGlobal(&store);
        platform::SetApplicationName("clipwright");
        CLanguage::Instance().Initialize(
            languageRoot.empty() ? dir.path().toStdString() : languageRoot, language);
    }
    ~OptionsEnvironment() { SettingsStore::SetGlobal(nullptr); }

    // Every "section/name" the settings file holds.
    QStringList StoredKeys() const
    {
        QSettings file(QString::fromStdString(storePath), QSettings::IniFormat);
        return file.allKeys();
    }
};

inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

// The dialog's controls, driven the way a user drives them.
namespace ui {

inline QComboBox *Combo(const CDialogOutputSettings &dialog, int id)
{
    return qobject_cast<QComboBox *>(dialog.Control(id));
}

inline QLineEdit *Edit(const CDialogOutputSettings &dialog, int id)
{
    return qobject_cast<QLineEdit *>(dialog.Control(id));
}

inline QString Text(const CDialogOutputSettings &dialog, int id)
{
    return Edit(dialog, id)->text();
}

// Opens the list and clicks the entry, so the selection-change handler runs as for a user,
// also when the entry was already selected.
inline void Choose(const CDialogOutputSettings &dialog, int id, int position)
{
    QComboBox *combo = Combo(dialog, id);
    combo->showPopup();
    QAbstractItemView *view = combo->view();
    const QModelIndex item = view->model()->index(position, 0);
    view->scrollTo(item);
    const QPoint at = view->visualRect(item).center();
    // A press then a release on the entry, as the list's own popup expects.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    if (combo->view()->isVisible())
        combo->hidePopup();
}

inline void Type(const CDialogOutputSettings &dialog, int id, const QString &text)
{
    QLineEdit *edit = Edit(dialog, id);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

inline void Click(const CDialogOutputSettings &dialog, int id)
{
    qobject_cast<QAbstractButton *>(dialog.Control(id))->click();
}

} // namespace ui
