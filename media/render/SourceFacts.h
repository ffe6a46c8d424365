#pragma once

#include "media/render/RenderLayout.h"

#include "media/core/GstHandles.h"

#include <ges/ges.h>

#include <map>
#include <string>
#include <vector>

// What the render engine reads of a clip's file before placing it.
namespace media {

// The clip assets of one render by file path: each file is discovered once.
class ClipAssets
{
public:
    // The asset of path, or null with the reason for the user in *error.
    GESUriClipAsset *Get(const std::string &path, std::string *error);

private:
    struct Entry
    {
        gst::GObject<GESUriClipAsset> asset;
        std::string error; // why there is none; a file that cannot be read is tried once
    };
    std::map<std::string, Entry> m_assets;
};

// Whether the file has a sound stream.
bool HasSound(GESUriClipAsset *asset);

// The first sound stream as decoded: its rate, channels and their positions (0 when unknown);
// all zero when the file has no sound.
struct SoundShape
{
    int rate = 0;
    int channels = 0;
    guint64 channelMask = 0;
};
SoundShape SoundShapeOf(GESUriClipAsset *asset);

// The streams a conversion of the file leaves out, as the user would name them: every sound
// stream after the first ("sound track 2 (de)") and every subtitle stream ("subtitle track 1
// (en)"), in the file's order.
std::vector<std::string> LeftOutStreamsOf(GESUriClipAsset *asset);

// How long the file at path lasts, ns; GST_CLOCK_TIME_NONE when unknown. The MPEG program-stream
// demuxer only estimates it from the clock references near the file's end (a cut file can seem
// shorter than its picture, or to last nothing), so a program stream is measured.
GstClockTime FileLengthOf(GESUriClipAsset *asset, const std::string &path);

// The picture as stored: its size, pixel aspect ratio and whether a tag turns or flips it.
struct StoredPicture
{
    int width = 0, height = 0;
    int parN = 1, parD = 1;
    bool oriented = false;
};

// Zero sizes when the file has no video.
StoredPicture StoredPictureOf(GESUriClipAsset *asset);

// The picture's size as shown, pixel aspect ratio applied; zero when the file has no video.
DisplaySize DisplaySizeOf(GESUriClipAsset *asset);

// The colorimetry the file's pictures decode to, as caps name it: the stream's own, else what
// GStreamer assumes for its size. Empty when the file has no picture or its matrix is not YUV.
std::string ColorimetryOf(GESUriClipAsset *asset);

} // namespace media
