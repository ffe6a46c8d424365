#include "media/copy/CopyJoints.h"
#include "media/copy/PacketScan.h"
#include "media/copy/SectionCopy.h"

#include "media/core/Diagnostics.h"
#include "media/core/GstHandles.h"
#include "media/core/MediaPlatform.h"

#include <cstring>

#define GST_CAT_DEFAULT cw_copy_debug

namespace media {

namespace {

// Fields a parser sets to what the writer asks for (packaging, not the coded pictures).
const char *const kParserFields[]
    = {"stream-format", "alignment", "codec_data", "parsed", "framed", "streamheader"};

// caps without what a parser in front of the writer converts anyway.
gst::Caps AsParserCanDeliver(const std::string &text)
{
    gst::Caps caps(gst_caps_from_string(text.c_str()));
    if (!caps)
        return caps;
    caps.reset(gst_caps_make_writable(caps.release()));
    for (guint i = 0; i < gst_caps_get_size(caps.get()); ++i) {
        GstStructure *s = gst_caps_get_structure(caps.get(), i);
        for (const char *field : kParserFields)
            gst_structure_remove_field(s, field);
    }
    return caps;
}

bool TemplateTakes(GstStaticPadTemplate *tmpl, const GstCaps *caps)
{
    if (tmpl->direction != GST_PAD_SINK)
        return false;
    gst::Caps templateCaps(gst_static_pad_template_get_caps(tmpl));
    return gst_caps_can_intersect(templateCaps.get(), caps);
}

struct CodecNaming
{
    const char *media;
    const char *field; // a field that tells codecs apart, or null
    int value;
    const char *name;
};

const CodecNaming kCodecs[] = {
    {"video/x-h264", nullptr, 0, "H.264"},
    {"video/x-h265", nullptr, 0, "H.265"},
    {"video/x-vp8", nullptr, 0, "VP8"},
    {"video/x-vp9", nullptr, 0, "VP9"},
    {"video/x-av1", nullptr, 0, "AV1"},
    {"video/x-theora", nullptr, 0, "Theora"},
    {"video/mpeg", "mpegversion", 1, "MPEG-1 video"},
    {"video/mpeg", "mpegversion", 2, "MPEG-2 video"},
    {"video/mpeg", "mpegversion", 4, "MPEG-4 video"},
    {"video/x-divx", nullptr, 0, "MPEG-4 video"},
    {"video/x-xvid", nullptr, 0, "MPEG-4 video"},
    {"video/x-wmv", "wmvversion", 1, "WMV 1"},
    {"video/x-wmv", "wmvversion", 2, "WMV 2"},
    {"video/x-wmv", "wmvversion", 3, "WMV 3"},
    {"video/x-msmpeg", nullptr, 0, "MS MPEG-4"},
    {"video/x-h263", nullptr, 0, "H.263"},
    {"image/jpeg", nullptr, 0, "Motion JPEG"},
    {"video/x-raw", nullptr, 0, "uncompressed video"},
    {"audio/mpeg", "mpegversion", 2, "AAC"},
    {"audio/mpeg", "mpegversion", 4, "AAC"},
    {"audio/x-opus", nullptr, 0, "Opus"},
    {"audio/x-vorbis", nullptr, 0, "Vorbis"},
    {"audio/x-ac3", nullptr, 0, "AC-3"},
    {"audio/x-eac3", nullptr, 0, "E-AC-3"},
    {"audio/x-dts", nullptr, 0, "DTS"},
    {"audio/x-flac", nullptr, 0, "FLAC"},
    {"audio/x-wma", nullptr, 0, "WMA"},
    {"audio/x-alaw", nullptr, 0, "A-law"},
    {"audio/x-mulaw", nullptr, 0, "mu-law"},
    {"audio/x-adpcm", nullptr, 0, "ADPCM"},
    {"audio/x-raw", nullptr, 0, "PCM"},
};

// MPEG audio with mpegversion 1: layer 1, 2 or 3.
std::string MpegAudioName(const GstStructure *s)
{
    int layer = 0;
    gst_structure_get_int(s, "layer", &layer);
    return layer == 3 ? "MP3" : layer == 2 ? "MP2" : layer == 1 ? "MP1" : "MPEG audio";
}

} // namespace

bool ReadSourceStreams(const std::string &path, SourceStreams *streams, std::string *error)
{
    SourceScan scan;
    if (!ScanSource(path, 0, &scan, error))
        return false;
    streams->videoCaps = scan.video.caps;
    streams->audioCaps = scan.audio.caps;
    streams->lengthNs = std::int64_t(scan.lengthNs);
    // MPEG program and transport streams have no length field: their demuxers estimate one
    // from the file's size and the stamps near its ends.
    static const char *const kStatingLength[]
        = {"qtdemux", "matroskademux", "avidemux", "oggdemux", "asfdemux"};
    for (const char *demuxer : kStatingLength)
        streams->exactLength = streams->exactLength || scan.demuxer == demuxer;
    gst::Caps caps(gst_caps_from_string(scan.video.caps.c_str()));
    if (caps && gst_caps_get_size(caps.get()) > 0) {
        const GstStructure *s = gst_caps_get_structure(caps.get(), 0);
        gst_structure_get_int(s, "width", &streams->width);
        gst_structure_get_int(s, "height", &streams->height);
        if (!gst_structure_get_fraction(s, "framerate", &streams->rateNum, &streams->rateDen))
            streams->rateNum = 0, streams->rateDen = 1;
    }
    GST_INFO("%s: picture %s, sound %s", path.c_str(), streams->videoCaps.c_str(),
             streams->audioCaps.c_str());
    return true;
}

bool WriterTakes(const std::string &muxer, const std::string &caps)
{
    // The options dialog asks before anything else has started the framework.
    if (!InitializeMediaPlatform(nullptr, MediaServices::Playback))
        return false;
    gst::Object<GstElementFactory> factory(gst_element_factory_find(muxer.c_str()));
    gst::Caps given = AsParserCanDeliver(caps);
    if (!factory || !given || gst_caps_is_empty(given.get()))
        return false;
    // The writer's templates decide, but for what was measured to fail: avimux lists VP8, and
    // a plain VP8 copy into AVI decodes, but one joined to a re-encoded head does not (ffmpeg:
    // "Invalid data found" on 28 of 60 pictures).
    if (muxer == "avimux"
        && gst_structure_has_name(gst_caps_get_structure(given.get(), 0), "video/x-vp8"))
        return false;
    for (const GList *l = gst_element_factory_get_static_pad_templates(factory.get()); l;
         l = l->next)
        if (TemplateTakes(static_cast<GstStaticPadTemplate *>(l->data), given.get()))
            return true;
    return false;
}

bool DecoderFor(const std::string &text)
{
    if (!InitializeMediaPlatform(nullptr, MediaServices::Playback))
        return false;
    gst::Caps caps(gst_caps_from_string(text.c_str()));
    if (!caps)
        return false;
    GList *decoders = gst_element_factory_list_get_elements(GST_ELEMENT_FACTORY_TYPE_DECODER,
                                                            GST_RANK_MARGINAL);
    GList *taking = gst_element_factory_list_filter(decoders, caps.get(), GST_PAD_SINK, FALSE);
    const bool found = taking != nullptr;
    gst_plugin_feature_list_free(taking);
    gst_plugin_feature_list_free(decoders);
    return found;
}

std::string CodecName(const std::string &text)
{
    if (!InitializeMediaPlatform(nullptr, MediaServices::Playback))
        return text;
    gst::Caps caps(gst_caps_from_string(text.c_str()));
    if (!caps || gst_caps_get_size(caps.get()) == 0)
        return "an unknown codec";
    const GstStructure *s = gst_caps_get_structure(caps.get(), 0);
    const char *media = gst_structure_get_name(s);
    int version = 0;
    if (std::strcmp(media, "audio/mpeg") == 0 && gst_structure_get_int(s, "mpegversion", &version)
        && version == 1)
        return MpegAudioName(s);
    for (const CodecNaming &codec : kCodecs) {
        if (std::strcmp(codec.media, media) != 0)
            continue;
        if (!codec.field)
            return codec.name;
        int value = 0;
        if (gst_structure_get_int(s, codec.field, &value) && value == codec.value)
            return codec.name;
    }
    return media;
}

std::string ContainerName(const std::string &muxer)
{
    static const struct
    {
        const char *muxer;
        const char *name;
    } kNames[] = {{"mp4mux", "MP4"},        {"qtmux", "MOV"},         {"matroskamux", "MKV"},
                  {"webmmux", "WebM"},      {"avimux", "AVI"},        {"cwmux_ogg", "Ogg"},
                  {"oggmux", "Ogg"},        {"avmux_asf", "WMV/ASF"}, {"asfmux", "WMV/ASF"},
                  {"mpegtsmux", "MPEG-TS"}, {"mpegpsmux", "MPEG-PS"}, {"flvmux", "FLV"}};
    for (const auto &entry : kNames)
        if (muxer == entry.muxer)
            return entry.name;
    return muxer;
}

} // namespace media
