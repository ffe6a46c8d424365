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

QRect FitPreviewClient(const QRect &workArea, const QPoint &frameTopLeft, const QSize &videoSize,
                       const QMargins &frame)
{
    const QSize room(std::max(workArea.width() - frame.left() - frame.right(), 1),
                     std::max(workArea.height() - frame.top() - frame.bottom(), 1));
    QSize size = videoSize;
    if (size.width() > room.width() || size.height() > room.height())
        size = size.scaled(room, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));

    const QSize framed(size.width() + frame.left() + frame.right(),
                       size.height() + frame.top() + frame.bottom());
    // Right and bottom first, so a window larger than the area keeps its caption reachable.
    const int left = std::max(std::min(frameTopLeft.x(), workArea.right() + 1 - framed.width()),
                              workArea.left());
    const int top = std::max(std::min(frameTopLeft.y(), workArea.bottom() + 1 - framed.height()),
                             workArea.top());
    return QRect(QPoint(left + frame.left(), top + frame.top()), size);
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

} // namespace preview
