#pragma once

#include "localisation/Language.h"
#include "options/SettingsStore.h"
#include "platform/Choosers.h"
#include "platform/MessageBoxes.h"
#include "platform/ShellOpen.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// A fresh settings file, the English built-in texts, and recorders answering every box and
// chooser, for one test.
struct AppTestEnvironment
{
    QTemporaryDir dir;
    SettingsStore store{(dir.path() + "/clipwright.conf").toStdString()};
    platform::MessageBoxRecorder boxes;
    platform::ChooserRecorder choosers;
    // No test ever starts a browser.
    platform::ShellRecorder shell;

    AppTestEnvironment()
    {
        SettingsStore::SetGlobal(&store);
        // No language files: the catalogue answers with its built-in English texts.
        CLanguage::Instance().Initialize(dir.path().toStdString(), "english");
    }
    ~AppTestEnvironment() { SettingsStore::SetGlobal(nullptr); }
};

// Closes every modal dialog that comes up while it lives, noting each one's class.
class AutoCloseModal
{
public:
    AutoCloseModal()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                m_closed.push_back(modal->metaObject()->className());
                if (m_examine)
                    m_examine(modal);
                modal->close();
            }
        });
        m_timer.start(10);
    }
    // Runs before each modal dialog is closed.
    void Examine(std::function<void(QWidget *)> examine) { m_examine = std::move(examine); }
    const std::vector<std::string> &Closed() const { return m_closed; }

private:
    QTimer m_timer;
    std::function<void(QWidget *)> m_examine;
    std::vector<std::string> m_closed;
};

inline std::string Fixture(const char *name)
{
    return std::string(CW_FIXTURE_DIR) + "/" + name;
}
