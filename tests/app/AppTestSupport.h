#pragma once

#include "app/VinteloDlg.h"
#include "options/DialogOutputSettings.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

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

// Presses Options and lets answer drive the output options dialog while it runs modally.
inline void RunOptions(CVinteloDlg &window,
                       const std::function<void(CDialogOutputSettings &)> &answer)
{
    bool answered = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<CDialogOutputSettings *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        answered = true;
        answer(*dialog);
    });
    qobject_cast<QAbstractButton *>(window.Control(CVinteloDlg::IDC_BUTTON_OUTPUT_SETTINGS))
        ->click();
    EXPECT_TRUE(answered);
}
