#include "media/render/SourceFacts.h"

#include "media/core/MediaPlatform.h"
#include "media/render/SourceDiscovery.h"

#include "media/core/GstHandles.h"
#include "media/probe/MpegPsDuration.h"
#include "media/probe/StreamLanguages.h"

#include <gst/pbutils/pbutils.h>
#include <gst/video/video.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>

namespace media {

namespace {

std::string UriOf(const std::string &path)
{
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    gst::String uri(gst_filename_to_uri(ec ? path.c_str() : absolute.c_str(), nullptr));
    return uri ? uri.get() : std::string();
}

std::string UnreadableText(const std::string &path, const GError *reason)
{
    return "The media file \"" + path + "\" cannot be read"
           + (reason ? std::string(": ") + reason->message : "") + ".";
}

} // namespace

GESUriClipAsset *ClipAssets::Get(const std::string &path, std::string *error)
{
    auto found = m_assets.find(path);
    if (found == m_assets.end()) {
        Entry entry;
        GError *raw = nullptr;
        entry.asset.reset(ges_uri_clip_asset_request_sync(UriOf(path).c_str(), &raw));
        gst::Error reason(raw);
        if (!entry.asset)
            entry.error = UnreadableText(path, reason.get());
        found = m_assets.emplace(path, std::move(entry)).first;
    }
    if (!found->second.asset)
        *error = found->second.error;
    return found->second.asset.get();
}

bool HasSound(GESUriClipAsset *asset)
{
    GstDiscovererInfo *info = ges_uri_clip_asset_get_info(asset);
    GList *streams = info ? gst_discoverer_info_get_audio_streams(info) : nullptr;
    const bool sound = streams != nullptr;
    gst_discoverer_stream_info_list_free(streams);
    return sound;
}

SoundShape SoundShapeOf(GESUriClipAsset *asset)
{
    SoundShape shape;
    GstDiscovererInfo *info = ges_uri_clip_asset_get_info(asset);
    GList *streams = info ? gst_discoverer_info_get_audio_streams(info) : nullptr;
    if (streams) {
        auto *audio = GST_DISCOVERER_AUDIO_INFO(streams->data);
        shape.rate = static_cast<int>(gst_discoverer_audio_info_get_sample_rate(audio));
        shape.channels = static_cast<int>(gst_discoverer_audio_info_get_channels(audio));
        shape.channelMask = gst_discoverer_audio_info_get_channel_mask(audio);
    }
    gst_discoverer_stream_info_list_free(streams);
    return shape;
}

namespace {

struct StreamName
{
    std::string name; // "sound track 2"
    std::string language;
    std::string id; // the stream's id, where its language is not known yet
};

// The kind, the stream's number among streams of its kind, and its language where the
// discoverer read it.
void AddStreams(GList *streams, const char *kind, std::size_t skip, std::vector<StreamName> *names)
{
    std::size_t number = 0;
    for (GList *l = streams; l; l = l->next) {
        if (++number <= skip)
            continue;
        auto *stream = GST_DISCOVERER_STREAM_INFO(l->data);
        StreamName name{std::string(kind) + " " + std::to_string(number), {}, {}};
        const gchar *language = nullptr;
        if (GST_IS_DISCOVERER_AUDIO_INFO(stream))
            language = gst_discoverer_audio_info_get_language(GST_DISCOVERER_AUDIO_INFO(stream));
        else if (GST_IS_DISCOVERER_SUBTITLE_INFO(stream))
            language
                = gst_discoverer_subtitle_info_get_language(GST_DISCOVERER_SUBTITLE_INFO(stream));
        const GstTagList *tags = gst_discoverer_stream_info_get_tags(stream);
        gchar *tagged = nullptr;
        if (!language && tags && gst_tag_list_get_string(tags, GST_TAG_LANGUAGE_CODE, &tagged))
            language = tagged;
        if (language && std::strcmp(language, "und") != 0) // undetermined
            name.language = language;
        g_free(tagged);
        if (name.language.empty() && gst_discoverer_stream_info_get_stream_id(stream))
            name.id = gst_discoverer_stream_info_get_stream_id(stream);
        names->push_back(std::move(name));
    }
}

std::string PathOf(GESUriClipAsset *asset)
{
    const gchar *uri = ges_asset_get_id(GES_ASSET(asset));
    gst::String path(uri ? g_filename_from_uri(uri, nullptr, nullptr) : nullptr);
    return path ? path.get() : std::string();
}

} // namespace

std::vector<std::string> LeftOutStreamsOf(GESUriClipAsset *asset)
{
    std::vector<std::string> names;
    GstDiscovererInfo *info = ges_uri_clip_asset_get_info(asset);
    if (!info)
        return names;
    std::vector<StreamName> streams;
    GList *sound = gst_discoverer_info_get_audio_streams(info);
    GList *subtitles = gst_discoverer_info_get_subtitle_streams(info);
    AddStreams(sound, "sound track", 1, &streams);
    AddStreams(subtitles, "subtitle track", 0, &streams);
    gst_discoverer_stream_info_list_free(sound);
    gst_discoverer_stream_info_list_free(subtitles);
    // The discoverer stops once the picture and sound have arrived; a sparse stream's tags may
    // still be on their way then (a subtitle's language, 1 run in 8 under load). Those streams
    // are read up to their first packet.
    std::set<std::string> unknown;
    for (const StreamName &stream : streams)
        if (!stream.id.empty())
            unknown.insert(stream.id);
    const std::string path = unknown.empty() ? std::string() : PathOf(asset);
    const auto languages
        = path.empty() ? std::map<std::string, std::string>() : ReadStreamLanguages(path, unknown);
    for (StreamName &stream : streams) {
        if (auto found = languages.find(stream.id); !stream.id.empty() && found != languages.end())
            stream.language = found->second;
        names.push_back(stream.name
                        + (stream.language.empty() ? "" : " (" + stream.language + ")"));
    }
    return names;
}

GstClockTime FileLengthOf(GESUriClipAsset *asset, const std::string &path)
{
    const GstClockTime discovered = ges_uri_clip_asset_get_max_duration(asset);
    GstDiscovererInfo *info = ges_uri_clip_asset_get_info(asset);
    GstDiscovererStreamInfo *top = info ? gst_discoverer_info_get_stream_info(info) : nullptr;
    gst::Caps caps(top ? gst_discoverer_stream_info_get_caps(top) : nullptr);
    if (top)
        gst_discoverer_stream_info_unref(top);
    const GstStructure *s = caps && gst_caps_get_size(caps.get()) > 0
                                ? gst_caps_get_structure(caps.get(), 0)
                                : nullptr;
    gboolean system = FALSE;
    if (!s || !gst_structure_has_name(s, "video/mpeg")
        || !gst_structure_get_boolean(s, "systemstream", &system) || !system)
        return discovered;
    std::int64_t frameNs = 0;
    GList *streams = gst_discoverer_info_get_video_streams(info);
    if (streams) {
        auto *video = GST_DISCOVERER_VIDEO_INFO(streams->data);
        const guint num = gst_discoverer_video_info_get_framerate_num(video);
        const guint den = gst_discoverer_video_info_get_framerate_denom(video);
        if (num > 0 && den > 0)
            frameNs = std::int64_t(gst_util_uint64_scale(GST_SECOND, den, num));
    }
    gst_discoverer_stream_info_list_free(streams);
    const auto measured = MpegPsDuration(path, frameNs);
    return measured && *measured > 0 ? GstClockTime(*measured) : discovered;
}

DisplaySize DisplaySizeOf(GESUriClipAsset *asset)
{
    DisplaySize size;
    GstDiscovererInfo *info = ges_uri_clip_asset_get_info(asset);
    if (!info)
        return size;
    GList *streams = gst_discoverer_info_get_video_streams(info);
    if (streams) {
        auto *video = GST_DISCOVERER_VIDEO_INFO(streams->data);
        int w = static_cast<int>(gst_discoverer_video_info_get_width(video));
        int h = static_cast<int>(gst_discoverer_video_info_get_height(video));
        guint parN = gst_discoverer_video_info_get_par_num(video);
        guint parD = gst_discoverer_video_info_get_par_denom(video);
        if (parN == 0 || parD == 0)
            parN = parD = 1;
        size.width = static_cast<int>(std::lround(double(w) * parN / parD));
        size.height = h;
    }
    gst_discoverer_stream_info_list_free(streams);
    return size;
}

StoredPicture StoredPictureOf(GESUriClipAsset *asset)
{
    StoredPicture picture;
    GstDiscovererInfo *info = ges_uri_clip_asset_get_info(asset);
    GList *streams = info ? gst_discoverer_info_get_video_streams(info) : nullptr;
    if (!streams)
        return picture;
    auto *video = GST_DISCOVERER_VIDEO_INFO(streams->data);
    picture.width = static_cast<int>(gst_discoverer_video_info_get_width(video));
    picture.height = static_cast<int>(gst_discoverer_video_info_get_height(video));
    const guint parN = gst_discoverer_video_info_get_par_num(video);
    const guint parD = gst_discoverer_video_info_get_par_denom(video);
    if (parN > 0 && parD > 0) {
        picture.parN = static_cast<int>(parN);
        picture.parD = static_cast<int>(parD);
    }
    // The tag may sit on the stream or on the whole file.
    for (const GstTagList *tags :
         {gst_discoverer_stream_info_get_tags(GST_DISCOVERER_STREAM_INFO(video)),
          gst_discoverer_info_get_tags(info)}) {
        gchar *orientation = nullptr;
        if (tags && gst_tag_list_get_string(tags, GST_TAG_IMAGE_ORIENTATION, &orientation)) {
            picture.oriented = picture.oriented || !g_str_equal(orientation, "rotate-0");
            g_free(orientation);
        }
    }
    gst_discoverer_stream_info_list_free(streams);
    return picture;
}

std::string ColorimetryOf(GESUriClipAsset *asset)
{
    std::string result;
    GstDiscovererInfo *info = ges_uri_clip_asset_get_info(asset);
    GList *streams = info ? gst_discoverer_info_get_video_streams(info) : nullptr;
    if (!streams)
        return result;
    auto *video = GST_DISCOVERER_VIDEO_INFO(streams->data);
    gst::Caps caps(gst_discoverer_stream_info_get_caps(GST_DISCOVERER_STREAM_INFO(video)));
    const gchar *stated
        = caps && !gst_caps_is_empty(caps.get())
              ? gst_structure_get_string(gst_caps_get_structure(caps.get(), 0), "colorimetry")
              : nullptr;
    GstVideoColorimetry colorimetry{};
    bool known = stated && gst_video_colorimetry_from_string(&colorimetry, stated);
    GstVideoInfo assumed;
    if (!known
        && gst_video_info_set_format(&assumed, GST_VIDEO_FORMAT_I420,
                                     gst_discoverer_video_info_get_width(video),
                                     gst_discoverer_video_info_get_height(video))) {
        colorimetry = assumed.colorimetry;
        known = true;
    }
    gst_discoverer_stream_info_list_free(streams);
    if (!known || colorimetry.matrix == GST_VIDEO_COLOR_MATRIX_UNKNOWN
        || colorimetry.matrix == GST_VIDEO_COLOR_MATRIX_RGB)
        return result;
    gst::String text(gst_video_colorimetry_to_string(&colorimetry));
    if (text)
        result = text.get();
    return result;
}

namespace {

// Whether the file is an MPEG system stream, whose demuxers only estimate a length.
bool IsMpegSystemStream(GstDiscovererInfo *info)
{
    GstDiscovererStreamInfo *top = gst_discoverer_info_get_stream_info(info);
    gst::Caps caps(top ? gst_discoverer_stream_info_get_caps(top) : nullptr);
    if (top)
        gst_discoverer_stream_info_unref(top);
    if (!caps || gst_caps_get_size(caps.get()) == 0)
        return false;
    const GstStructure *s = gst_caps_get_structure(caps.get(), 0);
    gboolean system = FALSE;
    return gst_structure_has_name(s, "video/mpegts")
           || (gst_structure_has_name(s, "video/mpeg")
               && gst_structure_get_boolean(s, "systemstream", &system) && system);
}

} // namespace

bool DiscoverSource(const std::string &path, DiscoveredSource *facts)
{
    if (!facts || !InitializeMediaPlatform(nullptr, MediaServices::All))
        return false;
    // The editing services keep the asset: the render finds it there.
    GError *raw = nullptr;
    gst::GObject<GESUriClipAsset> asset(ges_uri_clip_asset_request_sync(UriOf(path).c_str(), &raw));
    gst::Error reason(raw);
    // A file that stopped being readable is said as the render would have said it; any other
    // failure is left to the caller's probe, which names what is wrong with the file.
    if (!asset && reason && reason->domain == GST_RESOURCE_ERROR
        && reason->code != GST_RESOURCE_ERROR_NOT_FOUND)
        facts->unreadable = UnreadableText(path, reason.get());
    GstDiscovererInfo *info = asset ? ges_uri_clip_asset_get_info(asset.get()) : nullptr;
    if (!info || gst_discoverer_info_get_result(info) != GST_DISCOVERER_OK
        || IsMpegSystemStream(info))
        return false;
    const GstClockTime length = gst_discoverer_info_get_duration(info);
    GList *streams = gst_discoverer_info_get_video_streams(info);
    if (!streams || !GST_CLOCK_TIME_IS_VALID(length) || length == 0) {
        gst_discoverer_stream_info_list_free(streams);
        return false;
    }
    auto *video = GST_DISCOVERER_VIDEO_INFO(streams->data);
    facts->lengthNs = static_cast<std::int64_t>(length);
    facts->width = static_cast<int>(gst_discoverer_video_info_get_width(video));
    facts->height = static_cast<int>(gst_discoverer_video_info_get_height(video));
    facts->rateNum = static_cast<int>(gst_discoverer_video_info_get_framerate_num(video));
    facts->rateDen = static_cast<int>(gst_discoverer_video_info_get_framerate_denom(video));
    gst_discoverer_stream_info_list_free(streams);
    return facts->width > 0 && facts->height > 0;
}

} // namespace media
