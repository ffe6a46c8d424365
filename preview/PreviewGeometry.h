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

// The client rectangle of the preview window for a picture of videoSize whose frame (adding
// frame around the client) has its top left at frameTopLeft: scaled down, aspect kept, until the
// framed window fits the work area, then moved the least that brings it inside.
QRect FitPreviewClient(const QRect &workArea, const QPoint &frameTopLeft, const QSize &videoSize,
                       const QMargins &frame);

// The video's rectangle on a screen of screenWidth x screenHeight for a picture of
// videoWidth x videoHeight: at its own size when it fits, otherwise scaled to the limiting
// side with its aspect kept, centred either way. Fractions are cut before halving, so the
// margins stay equal.
QRect FullScreenVideoRect(int screenWidth, int screenHeight, int videoWidth, int videoHeight);

} // namespace preview
