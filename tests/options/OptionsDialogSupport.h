#pragma once

#include "localisation/Language.h"
#include "options/DialogOutputSettings.h"
#include "platform/Choosers.h"
#include "platform/MessageBoxes.h"
#include "settings/SettingsStore.h"

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
        CLanguage::Instance().UseSettings(&store);
        platform::SetApplicationName("clipwright");
        CLanguage::Instance().Initialize(
            languageRoot.empty() ? dir.path().toStdString() : languageRoot, language);
    }
    ~OptionsEnvironment() { CLanguage::Instance().UseSettings(nullptr); }

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

// A dialog opened on the start-up record (no video open) with the given changes applied.
struct OpenDialog
{
    CDialogOutputSettings dialog;

    explicit OpenDialog(SettingsStore &store, void (*prepare)(CDialogOutputSettings &) = nullptr)
        : dialog(store)
    {
        dialog.m_szOutputFile = "/home/user/Videos/output.wmv";
        dialog.m_nFrameRateIndex = FrameRate23976;
        dialog.m_dOutputFrameRate = 23.976;
        dialog.m_nVideoBitrate = 798720;
        dialog.m_nAudioBitrate = 128000;
        dialog.m_nOutputFormat = OutputFormatWmv;
        dialog.m_bUseVideoCompressor = 0;
        dialog.m_bUseAudioCompressor = 0;
        if (prepare)
            prepare(dialog);
        dialog.OnInitDialog();
        dialog.show();
    }
};

inline void WithVideo640x352(CDialogOutputSettings &d)
{
    d.m_nSourceWidth = d.m_nOutputWidth = 640;
    d.m_nSourceHeight = d.m_nOutputHeight = 352;
    d.m_dSourceFrameRate = 29.97;
    d.m_nPhotoCount = 1;
}

inline void WithVideo800x600(CDialogOutputSettings &d)
{
    d.m_nSourceWidth = 640;
    d.m_nSourceHeight = 352;
    d.m_nOutputWidth = 800;
    d.m_nOutputHeight = 600;
    d.m_nPhotoCount = 1;
}

inline void WithStoredAvi(CDialogOutputSettings &d)
{
    d.m_nOutputFormat = OutputFormatAvi;
    d.m_szOutputFile = "/home/user/Videos/output.avi";
}

// The controls of containers with compressors, and those of Windows Media.
inline const int kCompressorIds[] = {1001, 1002, 1053, 1080, 1081, 1077};
inline const int kBitrateIds[] = {1089, 1090, 1087, 1088, 1091, 1092};

} // namespace ui
