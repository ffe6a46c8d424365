#pragma once

#include <gst/gst.h>

// Where the render engine puts clips in time and pictures in the frame.
namespace media {

// Frame grid of a video group; a null grid (no video group) leaves times as they are.
struct FrameGrid
{
    int num = 0;
    int den = 1;

    // Whole frames in t, rounded down, except that t within 100 ns of the next frame counts
    // as reaching it: marks are kept in 100-ns units, which cannot hold 1001/30000 s exactly.
    guint64 Frames(guint64 ns) const
    {
        return gst_util_uint64_scale(ns + 100, num, GST_SECOND * guint64(den));
    }
    // Frame n's start, rounded down: the mixer emits ceil(duration x rate) frames, so the
    // clip must not end even a nanosecond past the grid.
    guint64 Time(guint64 frames) const
    {
        return gst_util_uint64_scale(frames, GST_SECOND * guint64(den), num);
    }
    guint64 Snap(guint64 ns) const { return num > 0 ? Time(Frames(ns)) : ns; }
};

// A clip's place on the timeline, in nanoseconds.
struct Span
{
    guint64 begin = 0;
    guint64 end = 0;
};

// A picture's size as shown (pixel aspect ratio applied).
struct DisplaySize
{
    int width = 0;
    int height = 0;
};

struct Placement
{
    int x = 0, y = 0, width = 0, height = 0;
};

// Where a picture of the source's size goes in an outW x outH frame for a stretch mode
// (RESIZEF_*): stretched over the frame, fitted inside it (centred, even sizes), covering it,
// or at its own size centred. An unknown source size fills the frame.
Placement PlaceInFrame(int mode, DisplaySize source, int outW, int outH);

} // namespace media
