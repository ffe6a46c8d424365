#include "media/elements/EncoderElements.h"

#include "media/elements/FrameScaler.h"
#include "media/elements/LavcEncoders.h"
#include "media/elements/OggWriter.h"
#include "media/elements/PictureStage.h"

#include <gst/gst.h>

extern "C" {
#include <libavutil/log.h>
}

#include <cstdio>
#include <mutex>

namespace media {

namespace {

GST_DEBUG_CATEGORY_STATIC(g_lavcLog);

// The program writes no log of its own: the codec's messages go to GStreamer's debug log
// (category "clipwright-elements"), like those of the stock libav elements.
void ForwardCodecLog(void *, int level, const char *format, va_list args)
{
    const GstDebugLevel gstLevel = level <= AV_LOG_ERROR     ? GST_LEVEL_ERROR
                                   : level <= AV_LOG_WARNING ? GST_LEVEL_WARNING
                                   : level <= AV_LOG_INFO    ? GST_LEVEL_INFO
                                                             : GST_LEVEL_DEBUG;
    if (gstLevel > gst_debug_category_get_threshold(g_lavcLog))
        return;
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    GST_CAT_LEVEL_LOG(g_lavcLog, gstLevel, nullptr, "%s", text);
}

gboolean InitPlugin(GstPlugin *plugin)
{
    const bool video = lavc::RegisterVideoEncoders(plugin);
    const bool audio = lavc::RegisterAudioEncoders(plugin);
    const bool scaler = RegisterFrameScaler(plugin);
    const bool stage = RegisterPictureStage(plugin);
    const bool ogg = RegisterOggWriter(plugin);
    return video || audio || scaler || stage || ogg;
}

} // namespace

namespace lavc {

bool RegisterCodecElement(GstPlugin *plugin, const ElementType &family, AVCodecID id,
                          const char *typeName, const char *factory, const void *classData)
{
    if (!avcodec_find_encoder(id))
        return false;
    GType type = g_type_from_name(typeName);
    if (!type) {
        const GTypeInfo info = {family.classSize,
                                nullptr,
                                nullptr,
                                family.classInit,
                                nullptr,
                                classData,
                                family.instanceSize,
                                0,
                                family.instanceInit,
                                nullptr};
        type = g_type_register_static(family.parent, typeName, &info, GTypeFlags(0));
    }
    return gst_element_register(plugin, factory, GST_RANK_PRIMARY, type);
}

} // namespace lavc

bool RegisterEncoderElements()
{
    static std::once_flag once;
    static bool registered = false;
    std::call_once(once, [] {
        GST_DEBUG_CATEGORY_INIT(g_lavcLog, "clipwright-elements", 0, "libavcodec encoder elements");
        av_log_set_callback(ForwardCodecLog);
        registered = gst_plugin_register_static(
            GST_VERSION_MAJOR, GST_VERSION_MINOR, "cwenc",
            "Encoders that honour the bitrate and a scaler over libav, and an Ogg writer", InitPlugin, "0.1",
            "unknown", "clipwright", "Clipwright", "built in");
    });
    return registered;
}

} // namespace media
