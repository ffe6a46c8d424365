#pragma once

#include <memory>

class SettingsStore;

// The application object: selects the settings store, starts the language catalogue and runs
// the main window modally; the process ends with it.
class CVinteloApp
{
public:
    CVinteloApp();
    ~CVinteloApp();

    // Runs the program; returns the process exit code.
    int InitInstance();

    // 1 while the position slider is held.
    int m_bSliderTracking = 0;

    static CVinteloApp &Instance();

private:
    std::unique_ptr<SettingsStore> m_store;
};
