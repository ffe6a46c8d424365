#pragma once

#include "localisation/Language.h"
#include "options/SettingsStore.h"
#include "platform/Choosers.h"
#include "platform/MessageBoxes.h"

#include <QTemporaryDir>

#include <memory>
#include <string>

// A fresh settings file, the English built-in texts, and recorders answering every box and
// chooser, for one test.
struct AppTestEnvironment
{
    QTemporaryDir dir;
    SettingsStore store{(dir.path() + "/clipwright.conf").toStdString()};
    platform::MessageBoxRecorder boxes;
    platform::ChooserRecorder choosers;

    AppTestEnvironment()
    {
        SettingsStore::SetGlobal(&store);
        // No language files: the catalogue answers with its built-in English texts.
        CLanguage::Instance().Initialize(dir.path().toStdString(), "english");
    }
    ~AppTestEnvironment() { SettingsStore::SetGlobal(nullptr); }
};

inline std::string Fixture(const char *name)
{
    return std::string(CW_FIXTURE_DIR) + "/" + name;
}
