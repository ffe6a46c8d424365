#include "preview/PreviewGeometry.h"

#include <algorithm>

namespace preview {

QRect PreviewWindowRect(const QRect &workArea, const QRect &ownerFrame)
{
    const int left = workArea.left() + 100;
    const int top = workArea.top() + 5;
    const int right = workArea.left() + (4 * (ownerFrame.top() - workArea.top() - 5)) / 3;
    const int bottom = ownerFrame.top();
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

QRect FullScreenVideoRect(int screenWidth, int screenHeight, int videoWidth, int videoHeight)
{
    const int s = screenWidth;
    const int t = screenHeight;
    const int w = videoWidth;
    const int h = videoHeight;
    if (w <= 0 || h <= 0)
        return QRect(0, 0, s, t);
    const float aspect = static_cast<float>(w) / static_cast<float>(h);

    auto fullWidth = [&] {
        const int height = static_cast<int>(static_cast<float>(s) / aspect);
        const int top = (t - height) / 2;
        return QRect(0, top, s, t - 2 * top);
    };
    auto fullHeight = [&] {
        const int width = static_cast<int>(static_cast<float>(t) * aspect);
        const int left = (s - width) / 2;
        return QRect(left, 0, s - 2 * left, t);
    };

    if (w <= s && h <= t)
        return QRect((s - w) / 2, (t - h) / 2, w, h);
    if (w > s && h <= t)
        return fullWidth();
    if (w <= s && h > t)
        return fullHeight();
    // Too big both ways: the side that must shrink more decides.
    if (static_cast<float>(t) / h > static_cast<float>(s) / w)
        return fullWidth();
    return fullHeight();
}

namespace {

// The nearest position of a span of length size that lies within [low, high); the low end wins
// when it cannot, so a caption stays reachable.
int Within(int position, int size, int low, int high)
{
    return std::max(std::min(position, high - size), low);
}

} // namespace

WindowLayout PlaceWindows(const QRect &workArea, const QRect &mainFrame, const QSize &picture,
                          const QMargins &previewFrame, const QPoint &previewAt)
{
    const int areaRight = workArea.left() + workArea.width();
    const int areaBottom = workArea.top() + workArea.height();
    const QSize mainSize = mainFrame.size().boundedTo(
        QSize(workArea.width(), workArea.height() - workArea.height() / 4));
    const int mainLeft = Within(mainFrame.left(), mainSize.width(), workArea.left(), areaRight);

    WindowLayout layout;
    if (picture.isEmpty()) {
        const int top = Within(mainFrame.top(), mainSize.height(), workArea.top(), areaBottom);
        layout.mainFrame = QRect(QPoint(mainLeft, top), mainSize);
        return layout;
    }

    const int frameWidth = previewFrame.left() + previewFrame.right();
    const int frameHeight = previewFrame.top() + previewFrame.bottom();
    const QSize room(std::max(workArea.width() - frameWidth, 1),
                     std::max(workArea.height() - mainSize.height() - frameHeight, 1));
    QSize size = picture;
    if (size.width() > room.width() || size.height() > room.height())
        size = size.scaled(room, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    const QSize framed(size.width() + frameWidth, size.height() + frameHeight);

    // The preview with the main window under it must fit: both move up together if needed.
    const int left = Within(previewAt.x(), framed.width(), workArea.left(), areaRight);
    const int top
        = Within(previewAt.y(), framed.height() + mainSize.height(), workArea.top(), areaBottom);
    const int mainTop = Within(std::max(mainFrame.top(), top + framed.height()), mainSize.height(),
                               workArea.top(), areaBottom);
    layout.mainFrame = QRect(QPoint(mainLeft, mainTop), mainSize);
    layout.previewClient
        = QRect(QPoint(left + previewFrame.left(), top + previewFrame.top()), size);
    return layout;
}

} // namespace preview
