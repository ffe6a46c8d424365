#pragma once

#include <functional>
#include <string>

struct OutputSettings;
class SettingsStore;
class QWidget;

// Facts about the opened video that the options dialog shows but never hands back.
struct OpenedVideoFacts
{
    int width = 0;
    int height = 0;
    double frameRate = 23.976;
    int itemCount = 0;
    // Its picture and sound streams as the copy reads them (empty: none, or unreadable).
    std::string videoCaps;
    std::string audioCaps;
};

// The main window's Options command: runs the output options dialog on copies of settings and
// facts, saving the choices to store. On OK copies back path, size, compressor flags, frame-rate
// choice, frame rate and resize mode, then calls rewriteStatus, then copies bitrates, format and
// file-profile flag. Returns true on OK; otherwise settings are untouched and rewriteStatus is not
// called.
bool RunOutputOptions(QWidget *owner, SettingsStore &store, OutputSettings *settings,
                      const OpenedVideoFacts &facts, const std::function<void()> &rewriteStatus);
