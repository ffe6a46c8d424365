#pragma once

#include "support/TestSupport.h"

#include "localisation/Language.h"
#include "platform/Choosers.h"
#include "platform/MessageBoxes.h"
#include "platform/ShellOpen.h"
#include "settings/SettingsStore.h"

#include <QTemporaryDir>

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
        CLanguage::Instance().UseSettings(&store);
        // No language files: the catalogue answers with its built-in English texts.
        CLanguage::Instance().Initialize(dir.path().toStdString(), "english");
    }
    ~AppTestEnvironment() { CLanguage::Instance().UseSettings(nullptr); }
};
