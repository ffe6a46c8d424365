#pragma once

#include "media/core/GstHandles.h"
#include "media/elements/FrameScaler.h"
#include "media/render/SourceFacts.h"

#include <ges/ges.h>

// How the render engine shapes a track: the pictures its restriction asks for, whether our
// scaler places its one clip in the frame, and the settings of the elements GES makes for each
// source.
namespace media {

// A track of one clip that fits its frame leaves GES at the clip's own size and rate; our
// scaler then places it in the frame and converts its colours in one pass.
struct DirectScaling
{
    FrameLayout layout;
    StoredPicture picture;
    gst::Element scaler; // made once the timeline is in the graph
};

// Whether the clip of asset, placed by stretch mode (RESIZEF_*) in an outW x outH frame, can
// take that path: our scaler is installed, the picture is known and not turned by a tag, and
// its place lies inside the frame. Fills plan when it can.
bool PlanDirectScaling(GESUriClipAsset *asset, int mode, int outW, int outH, DirectScaling *plan);

// I420 pictures of the given size, rate and pixel aspect ratio.
gst::Caps VideoRestriction(int width, int height, int rateNum, int rateDen, int parN, int parD);

// The GES track an element of the timeline sits in, or null.
GESTrack *TrackOf(GstElement *element);

// How the track an element of a source sits in is built.
struct SourceTrack
{
    bool stretchedAlone = false; // the source is the only clip and fills the frame
    bool sliceThreads = false;   // its H.264 decodes best without frame threads (below)
};

// Whether a clip of this picture, alone in its track, decodes H.264 faster and in less memory
// with slice threads only: pictures up to 1920x1088 on a machine of at most two cores.
bool PrefersSliceThreads(const StoredPicture &picture);

// Sets up an element GES has just made for a source or for the track it sits in.
void TuneSourceElement(GstElement *element, const SourceTrack &track);

} // namespace media
