#pragma once

#include <gst/gst.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

// The settings of our video encoder elements: their GObject properties (with ranges, for the
// codec configuration dialog) and how each reaches libavcodec.
namespace media::lavc {

constexpr gint64 kDefaultBitrate = 200000;
constexpr int kDefaultGopSize = 12;

struct VideoSettings
{
    gint64 bitrate = kDefaultBitrate;
    int gopSize = kDefaultGopSize;
    int bufferSize = 0;
    gint64 maxBitrate = 0;
    int threads = 0;
    int qmin = 2;
    int qmax = 31;
    int mbDecision = 0;
    bool trellis = false;
    bool fourMv = false;
};

// Installs the properties on an element class; four-mv only where the codec has it.
void InstallVideoSettings(GObjectClass *objectClass, bool fourMotionVectors);
// Property access by id; false for an id that is not one of ours.
bool SetVideoSetting(VideoSettings *settings, guint id, const GValue *value);
bool GetVideoSetting(const VideoSettings &settings, guint id, GValue *value);
// Puts the settings into a codec context before it is opened.
void ApplyVideoSettings(const VideoSettings &s, AVCodecContext *c, bool fourMotionVectors);

} // namespace media::lavc
