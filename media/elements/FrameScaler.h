#pragma once

#include <gst/gst.h>

#include <string>

// cwscale: puts each I420 picture into a rectangle of a fixed I420 frame, black around it or cut
// where the rectangle overhangs the frame, scaled by libswscale's bicubic filter, and converts
// the YUV matrix and range when the frame's colorimetry differs from the picture's. It does in
// one pass what a scaler, a mixer and a colour converter do in three.
namespace media {

struct FrameLayout
{
    int width = 0, height = 0;             // the frame
    int x = 0, y = 0, inner = 0, rows = 0; // the picture's place, even; it may overhang
    std::string colorimetry;               // the frame's, as caps name it; empty: the picture's
};

// Whether the picture's place is even and shows some of it in the frame.
bool FitsFrame(const FrameLayout &layout);

// Registers cwscale into plugin; false when that failed.
bool RegisterFrameScaler(GstPlugin *plugin);

// A new cwscale laid out as given (floating reference), or null when the layout does not fit
// its frame or the element is not registered.
GstElement *CreateFrameScaler(const FrameLayout &layout);

} // namespace media
