#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

// Where the preview window and its video go. Pure arithmetic so it can be checked for any
// screen without one.
namespace preview {

// The preview window's frame rectangle: beside the left edge of the work area, above the main
// window, four thirds as wide as the room above the main window is high.
QRect PreviewWindowRect(const QRect &workArea, const QRect &ownerFrame);

// The video's rectangle on a screen of screenWidth x screenHeight for a picture of
// videoWidth x videoHeight: at its own size when it fits, otherwise scaled to the limiting
// side with its aspect kept, centred either way. Fractions are cut before halving, so the
// margins stay equal.
QRect FullScreenVideoRect(int screenWidth, int screenHeight, int videoWidth, int videoHeight);

// Where the main window and the preview window go together.
struct WindowLayout
{
    QRect mainFrame;     // the main window's frame; smaller than asked only when it cannot fit
    QRect previewClient; // the preview's picture inside its frame; null without a preview
};

// The preview sits above the main window; neither overlaps the other or leaves workArea, frames
// included. mainFrame is the main window's frame as it is, or would be (empty: no main window);
// picture the preview's wished client size (empty: no preview shows); previewFrame what the
// window manager adds around it; previewAt where its frame's top left is now. Each window is
// moved the least that gets it there; a picture with no room above the main window is shown
// smaller, its shape kept. The main window may take the work area less a quarter of its
// height, which always stays for the preview.
WindowLayout PlaceWindows(const QRect &workArea, const QRect &mainFrame, const QSize &picture,
                          const QMargins &previewFrame, const QPoint &previewAt);

} // namespace preview
