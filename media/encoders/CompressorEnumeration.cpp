#include "media/encoders/CompressorEnumeration.h"

#include "media/core/Diagnostics.h"
#include "media/core/FilterInternal.h"
#include "media/core/MediaPlatform.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#define GST_CAT_DEFAULT cw_encoders_debug

namespace media {

namespace {

// Stock libav encoders that our own cwenc_* elements replace: they ignore the bitrate.
const std::set<std::string> kReplacedStockEncoders
    = {"avenc_wmv1",  "avenc_wmv2",  "avenc_msmpeg4", "avenc_msmpeg4v2",
       "avenc_mpeg4", "avenc_wmav1", "avenc_wmav2"};

// Names a person recognises. The MPEG-4 Part 2 encoder says it is DivX compatible and the
// ADPCM encoder in its Microsoft layout is "Microsoft ADPCM": the default choices are found by
// those words.
const std::map<std::string, std::string> kFriendlyNames = {
    {"cwenc_mpeg4", "MPEG-4 Part 2 (DivX compatible)"},
    {"cwenc_msmpeg4", "Microsoft MPEG-4 Video version 3"},
    {"cwenc_wmv1", "Windows Media Video 7"},
    {"cwenc_wmv2", "Windows Media Video 8"},
    {"cwenc_wmav1", "Windows Media Audio 1"},
    {"cwenc_wmav2", "Windows Media Audio 2"},
    {"avenc_adpcm_ms", "Microsoft ADPCM"},
    {"adpcmenc", "IMA ADPCM"},
    {"x264enc", "x264 H.264 encoder"},
    {"x265enc", "x265 H.265 (HEVC) encoder"},
    {"openh264enc", "OpenH264 H.264 encoder"},
    {"vp8enc", "VP8 encoder (WebM)"},
    {"vp9enc", "VP9 encoder (WebM)"},
    {"av1enc", "AV1 encoder (AOM)"},
    {"theoraenc", "Theora encoder"},
    {"mpeg2enc", "MPEG-2 video encoder (mjpegtools)"},
    {"avenc_mpeg2video", "MPEG-2 video encoder (libav)"},
    {"avenc_mpeg1video", "MPEG-1 video encoder"},
    {"openjpegenc", "JPEG 2000 encoder (OpenJPEG)"},
    {"y4menc", "YUV4MPEG raw video"},
    {"lamemp3enc", "MP3 encoder (LAME)"},
    {"twolamemp2enc", "MPEG-1 Layer II encoder (TwoLAME)"},
    {"avenc_mp2", "MPEG-1 Layer II encoder (libav)"},
    {"avenc_mp2fixed", "MPEG-1 Layer II encoder (libav, fixed point)"},
    {"vorbisenc", "Vorbis encoder"},
    {"opusenc", "Opus encoder"},
    {"avenc_opus", "Opus encoder (libav)"},
    {"flacenc", "FLAC lossless encoder"},
    {"voaacenc", "AAC encoder (VisualOn)"},
    {"avenc_aac", "AAC encoder (libav)"},
    {"avenc_ac3", "Dolby Digital (AC-3) encoder"},
    {"avenc_ac3_fixed", "Dolby Digital (AC-3) encoder, fixed point"},
    {"avenc_eac3", "Dolby Digital Plus (E-AC-3) encoder"},
    {"alawenc", "A-law (G.711)"},
    {"mulawenc", "mu-law (G.711)"},
    {"sbcenc", "Bluetooth SBC encoder"},
    {"avenc_prores", "Apple ProRes encoder"},
    {"avenc_prores_aw", "Apple ProRes encoder (Anatoliy Wasserman)"},
    {"avenc_prores_ks", "Apple ProRes encoder (Kostya Shishkov)"},
};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::vector<std::string> KlassParts(const char *klass)
{
    std::vector<std::string> parts;
    std::stringstream in(klass ? klass : "");
    std::string part;
    while (std::getline(in, part, '/')) {
        part.erase(0, part.find_first_not_of(' '));
        part.erase(part.find_last_not_of(' ') + 1);
        parts.push_back(part);
    }
    return parts;
}

bool InCategory(GstElementFactory *factory, CompressorCategory category)
{
    const std::string name = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory));
    if (kReplacedStockEncoders.count(name))
        return false;
    // OpenMAX wrappers need a board's hardware encoder and its OpenMAX library.
    if (name.size() > 4 && name.compare(name.size() - 4, 4, "_omx") == 0)
        return false;
    const auto parts
        = KlassParts(gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS));
    auto has = [&parts](const char *word) {
        return std::find(parts.begin(), parts.end(), word) != parts.end();
    };
    if (!has("Encoder") || has("Image"))
        return false;
    if (!has(category == CompressorCategory::Video ? "Video" : "Audio"))
        return false;
    // Still-picture formats that libav files under video.
    const char *longName = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_LONGNAME);
    return Lower(longName ? longName : "").find("image encoder") == std::string::npos;
}

std::string NameFromFactory(GstElementFactory *factory)
{
    const std::string name = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory));
    const auto known = kFriendlyNames.find(name);
    if (known != kFriendlyNames.end())
        return known->second;
    const char *longName = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_LONGNAME);
    std::string text = longName ? longName : "";
    if (text.rfind("libav ", 0) == 0)
        text.erase(0, 6);
    if (text.empty() || text == name)
        return name;
    return text;
}

} // namespace

std::string CompressorFriendlyName(const std::string &factoryName)
{
    const auto known = kFriendlyNames.find(factoryName);
    if (known != kFriendlyNames.end())
        return known->second;
    if (!InitializeMediaPlatform(nullptr, MediaServices::Playback))
        return factoryName;
    gst::Object<GstElementFactory> factory(gst_element_factory_find(factoryName.c_str()));
    return factory ? NameFromFactory(factory.get()) : factoryName;
}

EnumerationResult EnumerateCompressors(CompressorCategory category,
                                       std::vector<CompressorDevice> *devices)
{
    devices->clear();
    if (!InitializeMediaPlatform(nullptr, MediaServices::Playback))
        return EnumerationResult::NoSystemEnumerator;
    GstRegistry *registry = gst_registry_get();
    if (!registry)
        return EnumerationResult::NoClassEnumerator;
    GList *features = gst_registry_get_feature_list(registry, GST_TYPE_ELEMENT_FACTORY);
    std::vector<GstElementFactory *> chosen;
    for (GList *l = features; l; l = l->next) {
        auto *factory = GST_ELEMENT_FACTORY(l->data);
        if (InCategory(factory, category))
            chosen.push_back(factory);
    }
    std::sort(chosen.begin(), chosen.end(), [](GstElementFactory *a, GstElementFactory *b) {
        const guint ra = gst_plugin_feature_get_rank(GST_PLUGIN_FEATURE(a));
        const guint rb = gst_plugin_feature_get_rank(GST_PLUGIN_FEATURE(b));
        if (ra != rb)
            return ra > rb;
        return std::strcmp(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(a)),
                           gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(b)))
               < 0;
    });
    std::set<std::string> used;
    for (GstElementFactory *factory : chosen) {
        CompressorDevice device;
        device.factoryName = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory));
        device.friendlyName = NameFromFactory(factory);
        // Two libav encoders can share a description; the factory name tells them apart, so
        // a name still picks one device.
        if (!used.insert(Lower(device.friendlyName)).second) {
            device.friendlyName += " (" + device.factoryName + ")";
            used.insert(Lower(device.friendlyName));
        }
        GST_DEBUG("%s: %s", device.factoryName.c_str(), device.friendlyName.c_str());
        devices->push_back(std::move(device));
    }
    gst_plugin_feature_list_free(features);
    GST_INFO("%zu %s encoders installed", devices->size(),
             category == CompressorCategory::Video ? "picture" : "sound");
    return EnumerationResult::Ok;
}

HRESULT CreateCompressor(const std::string &factoryName, Filter *encoder)
{
    if (!encoder)
        return E_POINTER;
    *encoder = Filter();
    if (!InitializeMediaPlatform(nullptr, MediaServices::Playback))
        return E_FAIL;
    gst::Element element = gst::Adopt(gst_element_factory_make(factoryName.c_str(), nullptr));
    if (!element) {
        GST_INFO("encoder %s cannot be made", factoryName.c_str());
        return E_FAIL;
    }
    // x264enc's own default is 2 Mbit/s whatever the picture: too much for a small one, too
    // little for a large one. It starts at constant quality 23, as x264's own program does;
    // settings the user stored for it are applied over this.
    if (factoryName == "x264enc") {
        gst_util_set_object_arg(G_OBJECT(element.get()), "pass", "qual");
        g_object_set(element.get(), "quantizer", 23u, nullptr);
    }
    *encoder = WrapElement(std::move(element));
    return S_OK;
}

namespace {

// What a colour converter can make of an RGB picture of 352 x 240.
gst::Caps ConvertedTestPicture()
{
    gst::Caps caps;
    gst::Object<GstElementFactory> converter(gst_element_factory_find("videoconvert"));
    if (converter) {
        for (const GList *l = gst_element_factory_get_static_pad_templates(converter.get()); l;
             l = l->next) {
            auto *templ = static_cast<GstStaticPadTemplate *>(l->data);
            if (templ->direction == GST_PAD_SRC)
                caps.reset(gst_static_caps_get(&templ->static_caps));
        }
    }
    if (!caps)
        caps.reset(gst_caps_from_string("video/x-raw, format=(string)RGB"));
    caps.reset(gst_caps_make_writable(caps.release()));
    gst_caps_set_simple(caps.get(), "width", G_TYPE_INT, 352, "height", G_TYPE_INT, 240, nullptr);
    return caps;
}

bool AcceptsPicture(GstElement *element, GstCaps *picture)
{
    bool accepted = false;
    GstIterator *it = gst_element_iterate_sink_pads(element);
    GValue item = G_VALUE_INIT;
    while (!accepted && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto *pad = GST_PAD(g_value_get_object(&item));
        gst::Caps taken(gst_pad_query_caps(pad, picture));
        accepted = taken && !gst_caps_is_empty(taken.get());
        g_value_unset(&item);
    }
    gst_iterator_free(it);
    return accepted;
}

} // namespace

EnumerationResult EnumerateConfigurableVideoCodecs(std::vector<CompressorDevice> *codecs)
{
    codecs->clear();
    std::vector<CompressorDevice> devices;
    const EnumerationResult result = EnumerateCompressors(CompressorCategory::Video, &devices);
    if (result != EnumerationResult::Ok)
        return result;
    gst::Caps picture = ConvertedTestPicture();
    for (CompressorDevice &device : devices) {
        gst::Element element
            = gst::Adopt(gst_element_factory_make(device.factoryName.c_str(), nullptr));
        if (element && AcceptsPicture(element.get(), picture.get()))
            codecs->push_back(std::move(device));
    }
    return EnumerationResult::Ok;
}

} // namespace media
