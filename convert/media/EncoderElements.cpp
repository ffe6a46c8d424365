#include "convert/media/EncoderElements.h"

#include "convert/media/LavcEncoders.h"

#include <gst/gst.h>

#include <mutex>

namespace media {

namespace {

gboolean InitPlugin(GstPlugin *plugin)
{
    const bool video = lavc::RegisterVideoEncoders(plugin);
    const bool audio = lavc::RegisterAudioEncoders(plugin);
    return video || audio;
}

} // namespace

bool RegisterEncoderElements()
{
    static std::once_flag once;
    static bool registered = false;
    std::call_once(once, [] {
        registered = gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "cwenc",
                                                "Encoders that honour the bitrate, over libavcodec",
                                                InitPlugin, "0.1", "unknown", "clipwright",
                                                "Clipwright", "built in");
    });
    return registered;
}

} // namespace media
