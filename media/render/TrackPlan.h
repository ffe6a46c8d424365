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

// Sets up an element GES has just made for a source. stretchedAlone: the source is the only
// clip of its track and fills the frame.
void TuneSourceElement(GstElement *element, bool stretchedAlone);

} // namespace media
