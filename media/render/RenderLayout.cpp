#include "media/render/RenderLayout.h"

#include "media/render/RenderEngine.h"

#include <algorithm>
#include <cmath>

namespace media {

namespace {

constexpr int kSizeAlign = 2; // I420 wants even picture sizes

int Even(double v)
{
    return std::max(kSizeAlign, static_cast<int>(std::lround(v / kSizeAlign)) * kSizeAlign);
}

} // namespace

Placement PlaceInFrame(int mode, DisplaySize source, int outW, int outH)
{
    if (mode == RESIZEF_STRETCH || source.width <= 0 || source.height <= 0)
        return {0, 0, outW, outH};
    double sx = double(outW) / source.width;
    double sy = double(outH) / source.height;
    double scale = 1.0;
    if (mode == RESIZEF_PRESERVEASPECTRATIO)
        scale = std::min(sx, sy);
    else if (mode == RESIZEF_PRESERVEASPECTRATIO_NOLETTERBOX)
        scale = std::max(sx, sy);
    Placement p;
    p.width = Even(source.width * scale);
    p.height = Even(source.height * scale);
    if (mode == RESIZEF_PRESERVEASPECTRATIO) {
        p.width = std::min(p.width, outW);
        p.height = std::min(p.height, outH);
    }
    p.x = (outW - p.width) / 2;
    p.y = (outH - p.height) / 2;
    return p;
}

void FrameRateFraction(double fps, int *num, int *den)
{
    double ntsc = fps * 1.001;
    if (std::fabs(fps - std::round(fps)) > 1e-6 && std::fabs(ntsc - std::round(ntsc)) < 0.005) {
        *num = static_cast<int>(std::lround(ntsc)) * 1000;
        *den = 1001;
        return;
    }
    gst_util_double_to_fraction(fps, num, den);
}

} // namespace media
