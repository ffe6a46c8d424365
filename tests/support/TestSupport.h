#pragma once

// What tests of every room share: fixture paths, running a command, and a fresh environment of
// settings, texts and recorders.
#include "localisation/Language.h"
#include "platform/Choosers.h"
#include "platform/MessageBoxes.h"
#include "platform/ShellOpen.h"
#include "settings/SettingsStore.h"

#include <QTemporaryDir>

#include <array>
#include <cstdio>
#include <memory>
#include <string>

inline std::string Fixture(const char *name)
{
    return std::string(CW_FIXTURE_DIR) + "/" + name;
}

// Standard output of a shell command.
inline std::string Shell(const std::string &command)
{
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        return out;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0)
        out.append(buffer.data(), n);
    return out;
}

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
