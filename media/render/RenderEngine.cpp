#include "media/render/RenderEngine.h"

#include "media/core/Diagnostics.h"
#include "media/core/GstHandles.h"
#include "media/core/MediaPlatform.h"
#include "media/render/RenderLayout.h"
#include "media/render/SourceFacts.h"
#include "media/render/TrackPlan.h"

#include <ges/ges.h>
#include <gst/pbutils/pbutils.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>
#include <vector>

#define GST_CAT_DEFAULT cw_render_debug

namespace media {

namespace {

gint64 ToNanoseconds(REFERENCE_TIME t)
{
    return t * 100;
}

// A clip's longest span comes from its sources'.
void SetMaxDuration(GESClip *clip, GstClockTime length)
{
    GList *children = ges_container_get_children(GES_CONTAINER(clip), FALSE);
    for (GList *l = children; l; l = l->next)
        if (GES_IS_TRACK_ELEMENT(l->data))
            ges_timeline_element_set_max_duration(GES_TIMELINE_ELEMENT(l->data), length);
    g_list_free_full(children, gst_object_unref);
}

} // namespace

struct RenderEngine::Impl
{
    std::shared_ptr<Timeline> timeline;
    gst::Element pipeline;
    gst::Object<GESTimeline> ges;
    std::vector<GESTrack *> tracks; // owned by ges, one per group
    std::map<GESClip *, GESTrack *> clipTrack;
    std::map<std::pair<GESClip *, GESTrackType>, GESTrackElement *> clipElement;
    std::string lastError;
    bool keepSourceColours = false;
    bool keepSourceSound = false;
    std::set<GESTrack *> soundShaped; // audio tracks whose format follows their first source
    std::vector<std::string> leftOut;
    std::set<std::string> leftOutFiles;  // each file's streams named once
    std::set<GESTrack *> stretchedAlone; // one stretched clip at a time: scaled without a mixer
    std::string sourceColours;           // of the first video source placed
    std::map<GESTrack *, DirectScaling> direct; // tracks our scaler places in the frame

    // Answers select-tracks-for-object rather than select-element-track: when the latter
    // returns no track, GES asks the former, whose default puts the element into every track
    // of its kind, so a clip's sound (and picture) would reach the other group's track too.
    static GPtrArray *OnSelectTracks(GESTimeline *, GESClip *clip, GESTrackElement *element,
                                     gpointer self)
    {
        auto *impl = static_cast<Impl *>(self);
        GPtrArray *chosenTracks = g_ptr_array_new();
        auto it = impl->clipTrack.find(clip);
        if (it == impl->clipTrack.end())
            return chosenTracks;
        const GESTrackType type = ges_track_element_get_track_type(element);
        if (type != it->second->type)
            return chosenTracks;
        // A file with several streams of a kind gives its clip one source per stream; the
        // track takes the first, the one players use, and the rest are left out (two sources
        // of one clip cannot share a track).
        auto chosen = impl->clipElement.emplace(std::make_pair(clip, type), element).first;
        if (chosen->second == element)
            g_ptr_array_add(chosenTracks, gst_object_ref(it->second));
        return chosenTracks;
    }

    static void OnDeepElementAdded(GstBin *, GstBin *, GstElement *element, gpointer data)
    {
        const auto *impl = static_cast<Impl *>(data);
        GESTrack *track = TrackOf(element);
        const auto direct = impl->direct.find(track);
        TuneSourceElement(
            element, {impl->stretchedAlone.count(track) > 0,
                      direct != impl->direct.end() && PrefersSliceThreads(direct->second.picture)});
    }

    HRESULT Fail(HRESULT hr, std::string text)
    {
        lastError = std::move(text);
        return hr;
    }

    HRESULT CheckSources()
    {
        long groups = 0;
        timeline->GetGroupCount(&groups);
        for (long g = 0; g < groups; ++g) {
            std::shared_ptr<TimelineNode> group;
            timeline->GetGroup(&group, g);
            for (const auto &track : group->Tracks()) {
                for (const auto &source : track->Sources()) {
                    std::string path;
                    source->GetMediaName(&path);
                    std::error_code ec;
                    if (!std::filesystem::is_regular_file(path, ec))
                        return Fail(HRESULT_FILE_NOT_FOUND,
                                    "The media file \"" + path + "\" does not exist.");
                }
                for (const auto &transition : track->Transitions()) {
                    REFERENCE_TIME start = 0, stop = 0;
                    transition->GetStartStop(&start, &stop);
                    if (stop > start)
                        return Fail(E_NOTIMPL, "Transitions that last cannot be rendered.");
                }
            }
        }
        return S_OK;
    }

    HRESULT Connect()
    {
        std::string reason;
        if (!InitializeMediaPlatform(&reason, MediaServices::All))
            return Fail(E_FAIL, reason);
        if (HRESULT hr = CheckSources(); FAILED(hr))
            return hr;

        ges.reset(GES_TIMELINE(gst_object_ref_sink(ges_timeline_new())));
        g_signal_connect(ges.get(), "select-tracks-for-object", G_CALLBACK(OnSelectTracks), this);
        g_signal_connect(ges.get(), "deep-element-added", G_CALLBACK(OnDeepElementAdded), this);

        long groups = 0;
        timeline->GetGroupCount(&groups);
        FrameGrid grid;
        for (long g = 0; g < groups && grid.num == 0; ++g) {
            std::shared_ptr<TimelineNode> group;
            AM_MEDIA_TYPE type;
            double fps = 0;
            timeline->GetGroup(&group, g);
            if (SUCCEEDED(group->GetMediaType(&type)) && type.majortype == MEDIATYPE_Video
                && SUCCEEDED(group->GetOutputFPS(&fps)))
                FrameRateFraction(fps, &grid.num, &grid.den);
        }

        ClipAssets assets;
        for (long g = 0; g < groups; ++g) {
            std::shared_ptr<TimelineNode> group;
            timeline->GetGroup(&group, g);
            if (HRESULT hr = AddGroup(*group, grid, &assets); FAILED(hr))
                return hr;
        }
        if (!ges_timeline_commit_sync(ges.get()))
            return Fail(E_FAIL, "The timeline could not be prepared.");

        if (!pipeline)
            pipeline = gst::Adopt(gst_pipeline_new("render"));
        if (!pipeline || !gst_bin_add(GST_BIN(pipeline.get()), GST_ELEMENT(ges.get())))
            return Fail(E_FAIL, "The timeline could not be added to the graph.");
        for (auto &[track, scaling] : direct) {
            scaling.scaler = gst::Adopt(CreateFrameScaler(scaling.layout));
            // A reference of ours, whatever its annotation says: GES refs the pad it returns.
            gst::Pad out(ges_timeline_get_pad_for_track(ges.get(), track));
            if (!scaling.scaler || !out
                || !gst_bin_add(GST_BIN(pipeline.get()), scaling.scaler.get()))
                return Fail(E_FAIL, "The scaler could not be added to the graph.");
            gst::Pad in(gst_element_get_static_pad(scaling.scaler.get(), "sink"));
            if (gst_pad_link(out.get(), in.get()) != GST_PAD_LINK_OK)
                return Fail(E_FAIL, "The scaler could not be connected to the timeline.");
        }
        return S_OK;
    }

    HRESULT AddGroup(const TimelineNode &group, const FrameGrid &grid, ClipAssets *assets)
    {
        AM_MEDIA_TYPE type;
        if (FAILED(group.GetMediaType(&type)))
            return Fail(E_FAIL, "A group has no media type.");
        const bool video = type.majortype == MEDIATYPE_Video;
        int outW = 0, outH = 0;
        gst::Caps restriction;
        GESTrack *track = nullptr;
        if (video) {
            VIDEOINFOHEADER vih;
            type.VideoInfo(&vih);
            outW = vih.bmiHeader.biWidth;
            outH = std::abs(vih.bmiHeader.biHeight);
            track = MakePictureTrack(group, grid, outW, outH, assets, &restriction);
        } else {
            track = GES_TRACK(ges_audio_track_new());
        }
        if (!ges_timeline_add_track(ges.get(), track))
            return Fail(E_FAIL, "A group could not be added to the timeline.");
        tracks.push_back(track);
        if (HRESULT hr = PlaceClips(group, track, video, outW, outH, grid, assets); FAILED(hr))
            return hr;
        if (restriction)
            StateColours(track, restriction);
        return S_OK;
    }

    // A picture track of the group's size and rate: scaled straight from a lone source where
    // that can be planned, else made by the timeline's mixer (left out where one layer needs
    // none).
    GESTrack *MakePictureTrack(const TimelineNode &group, const FrameGrid &grid, int outW, int outH,
                               ClipAssets *assets, gst::Caps *restriction)
    {
        double fps = 0;
        int num = grid.num, den = grid.den;
        if (SUCCEEDED(group.GetOutputFPS(&fps)))
            FrameRateFraction(fps, &num, &den);
        GESTrack *track = GES_TRACK(ges_video_track_new());
        const auto &tracks = group.Tracks();
        const bool single = tracks.size() == 1 && tracks[0]->Sources().size() <= 1;
        DirectScaling plan;
        if (single && !tracks[0]->Sources().empty()
            && PlanDirect(*tracks[0]->Sources()[0], outW, outH, assets, &plan)) {
            const StoredPicture &picture = plan.picture;
            *restriction = VideoRestriction(picture.width, picture.height, num, den, picture.parN,
                                            picture.parD);
            ges_track_set_restriction_caps(track, restriction->get());
            ges_track_set_mixing(track, FALSE);
            direct.emplace(track, std::move(plan));
            return track;
        }
        *restriction = VideoRestriction(outW, outH, num, den, 1, 1);
        // Before the clips: their placement in the frame follows the track's size.
        ges_track_set_restriction_caps(track, restriction->get());
        // One layer that letterboxes or stretches needs no mixer: the source's own scaler adds
        // the borders or fills the frame.
        int mode = RESIZEF_STRETCH;
        if (single && !tracks[0]->Sources().empty())
            tracks[0]->Sources()[0]->GetStretchMode(&mode);
        if (single && (mode == RESIZEF_PRESERVEASPECTRATIO || mode == RESIZEF_STRETCH))
            ges_track_set_mixing(track, FALSE);
        if (single && mode == RESIZEF_STRETCH)
            stretchedAlone.insert(track);
        return track;
    }

    // Later tracks on top: layers are made top first. Tracks are opaque, so a clip that an
    // upper clip covers entirely is never seen and is left out.
    HRESULT PlaceClips(const TimelineNode &group, GESTrack *track, bool video, int outW, int outH,
                       const FrameGrid &grid, ClipAssets *assets)
    {
        const auto &groupTracks = group.Tracks();
        const bool backed = video && groupTracks.size() > 1;
        std::vector<Span> above;
        for (auto it = groupTracks.rbegin(); it != groupTracks.rend(); ++it) {
            GESLayer *layer = ges_timeline_append_layer(ges.get());
            GESLayer *backing = nullptr;
            std::vector<Span> placed;
            for (const auto &source : (*it)->Sources()) {
                REFERENCE_TIME start = 0, stop = 0;
                source->GetStartStop(&start, &stop);
                Span span{grid.Snap(ToNanoseconds(start)), grid.Snap(ToNanoseconds(stop))};
                if (std::any_of(above.begin(), above.end(), [&span](const Span &upper) {
                        return upper.begin <= span.begin && upper.end >= span.end;
                    }))
                    continue;
                HRESULT hr
                    = AddSource(*source, layer, track, video, outW, outH, grid, assets, &span);
                if (FAILED(hr))
                    return hr;
                if (span.end <= span.begin)
                    continue;
                placed.push_back(span);
                // Borders around a fitted picture are black, not the tracks below.
                int mode = RESIZEF_STRETCH;
                source->GetStretchMode(&mode);
                if (backed && (mode == RESIZEF_PRESERVEASPECTRATIO || mode == RESIZEF_CROP)) {
                    if (!backing)
                        backing = ges_timeline_append_layer(ges.get());
                    if (HRESULT hr = AddBlack(backing, track, span); FAILED(hr))
                        return hr;
                }
            }
            above.insert(above.end(), placed.begin(), placed.end());
        }
        return S_OK;
    }

    void StateColours(GESTrack *track, const gst::Caps &restriction)
    {
        const std::string colours
            = keepSourceColours && !sourceColours.empty() ? sourceColours : "bt601";
        if (auto scaled = direct.find(track); scaled != direct.end()) {
            // Our scaler converts, after the pictures are made small, from the colorimetry the
            // decoder states: a file's own often states none (motion JPEG), and the timeline's
            // converter leaves the range of I420 as it is (full-range pictures would come out
            // too harsh).
            scaled->second.layout.colorimetry = colours;
            GST_INFO("picture track, scaled directly from the source: %" GST_PTR_FORMAT
                     ", colours %s",
                     restriction.get(), colours.c_str());
            return;
        }
        // Stating the colorimetry lets the scaler keep the source's matrix instead of converting
        // every picture to the default of the output size. The size is the same, so the clips
        // stay where they were placed.
        gst::Caps stated(gst_caps_copy(restriction.get())); // the track holds the first
        gst_caps_set_simple(stated.get(), "colorimetry", G_TYPE_STRING, colours.c_str(), nullptr);
        ges_track_set_restriction_caps(track, stated.get());
        GST_INFO("picture track, mixed: %" GST_PTR_FORMAT, stated.get());
    }

    // The track renders the source's rate and channels; the encoder's converters do the rest.
    static void KeepSoundShape(GESTrack *track, const SoundShape &shape)
    {
        if (shape.rate <= 0 || shape.channels <= 0)
            return;
        gst::Caps caps(gst_caps_new_simple("audio/x-raw", "rate", G_TYPE_INT, shape.rate,
                                           "channels", G_TYPE_INT, shape.channels, nullptr));
        // Beyond stereo the positions must be said, or no converter can place the channels.
        if (shape.channels > 2 && shape.channelMask != 0)
            gst_caps_set_simple(caps.get(), "channel-mask", GST_TYPE_BITMASK, shape.channelMask,
                                nullptr);
        else if (shape.channels > 2)
            return;
        ges_track_update_restriction_caps(track, caps.get());
        GST_INFO("sound track keeps the source's shape: %" GST_PTR_FORMAT, caps.get());
    }

    HRESULT AddBlack(GESLayer *layer, GESTrack *track, const Span &span)
    {
        GESTestClip *black = ges_test_clip_new();
        if (!black)
            return Fail(E_FAIL, "A black background could not be made.");
        ges_test_clip_set_vpattern(black, GES_VIDEO_TEST_PATTERN_BLACK);
        GESTimelineElement *element = GES_TIMELINE_ELEMENT(black);
        ges_timeline_element_set_start(element, span.begin);
        ges_timeline_element_set_duration(element, span.end - span.begin);
        clipTrack[GES_CLIP(black)] = track;
        if (!ges_layer_add_clip(layer, GES_CLIP(black)))
            return Fail(E_FAIL, "A black background could not be placed.");
        return S_OK;
    }

    // Whether the one clip of a track can leave GES unscaled (see PlanDirectScaling).
    bool PlanDirect(const TimelineNode &source, int outW, int outH, ClipAssets *assets,
                    DirectScaling *plan)
    {
        std::string path;
        int mode = RESIZEF_STRETCH;
        source.GetMediaName(&path);
        source.GetStretchMode(&mode);
        std::string unread; // AddSource reports it
        GESUriClipAsset *asset = assets->Get(path, &unread);
        return asset && PlanDirectScaling(asset, mode, outW, outH, plan);
    }

    HRESULT AddSource(const TimelineNode &source, GESLayer *layer, GESTrack *track, bool video,
                      int outW, int outH, const FrameGrid &grid, ClipAssets *assets, Span *span)
    {
        std::string path;
        REFERENCE_TIME mediaStart = 0, mediaStop = 0;
        int mode = RESIZEF_STRETCH;
        source.GetMediaName(&path);
        source.GetMediaTimes(&mediaStart, &mediaStop);
        source.GetStretchMode(&mode);

        std::string unread;
        GESUriClipAsset *asset = assets->Get(path, &unread);
        if (!asset)
            return Fail(VFW_E_CANNOT_RENDER, unread);

        const guint64 begin = span->begin;
        guint64 &end = span->end;
        if (end <= begin)
            return S_OK; // nothing of this clip falls on a frame
        const guint64 inPoint = ToNanoseconds(mediaStart);
        const GstClockTime fileLength = FileLengthOf(asset, path);
        EndWithTheFile(fileLength, inPoint, span);
        if (end <= begin)
            return S_OK;

        if (leftOutFiles.insert(path).second)
            for (const std::string &stream : LeftOutStreamsOf(asset))
                leftOut.push_back(stream);
        if (!video && keepSourceSound && soundShaped.insert(track).second)
            KeepSoundShape(track, SoundShapeOf(asset));

        GESClip *clip = GES_CLIP(ges_asset_extract(GES_ASSET(asset), nullptr));
        if (!clip)
            return Fail(E_FAIL, "A clip of \"" + path + "\" could not be made.");
        GESTimelineElement *element = GES_TIMELINE_ELEMENT(clip);
        ges_timeline_element_set_inpoint(element, inPoint);
        ges_timeline_element_set_duration(element, end - begin);
        ges_timeline_element_set_start(element, begin);
        clipTrack[clip] = track;
        // Only a source of the track's kind: the editing services never free one that reaches
        // no track (the other kind's), nor the decoder bin it makes, which a batch piled up.
        ges_clip_set_supported_formats(clip, video ? GES_TRACK_TYPE_VIDEO : GES_TRACK_TYPE_AUDIO);
        if (!ges_layer_add_clip(layer, clip))
            return Fail(E_FAIL, "A clip of \"" + path + "\" could not be placed.");
        GST_INFO("%s clip of %s from %" GST_TIME_FORMAT
                 ", placed on the frame grid at %" GST_TIME_FORMAT ", length %" GST_TIME_FORMAT,
                 video ? "picture" : "sound", path.c_str(), GST_TIME_ARGS(inPoint),
                 GST_TIME_ARGS(begin), GST_TIME_ARGS(end - begin));
        // A measured length beyond the discovered one: the clip's sources, made as it was
        // placed, may reach it.
        const GstClockTime discovered = ges_uri_clip_asset_get_max_duration(asset);
        if (GST_CLOCK_TIME_IS_VALID(fileLength)
            && (!GST_CLOCK_TIME_IS_VALID(discovered) || fileLength > discovered)) {
            SetMaxDuration(clip, fileLength);
            ges_timeline_element_set_duration(element, end - begin);
        }

        if (video)
            PlacePicture(clip, asset, track, mode, outW, outH);
        return S_OK;
    }

    // A file that ends before the span leaves the rest of it black or silent.
    static void EndWithTheFile(GstClockTime fileLength, guint64 inPoint, Span *span)
    {
        if (!GST_CLOCK_TIME_IS_VALID(fileLength) || fileLength == 0)
            return;
        span->end = inPoint >= fileLength
                        ? span->begin
                        : std::min(span->end, span->begin + (fileLength - inPoint));
    }

    // Where the clip's picture sits in the track's frame.
    void PlacePicture(GESClip *clip, GESUriClipAsset *asset, GESTrack *track, int mode, int outW,
                      int outH)
    {
        if (sourceColours.empty())
            sourceColours = ColorimetryOf(asset);
        Placement p = PlaceInFrame(mode, DisplaySizeOf(asset), outW, outH);
        if (auto scaled = direct.find(track); scaled != direct.end())
            p = {0, 0, scaled->second.picture.width, scaled->second.picture.height};
        GList *children = ges_container_get_children(GES_CONTAINER(clip), FALSE);
        for (GList *l = children; l; l = l->next) {
            if (GES_IS_VIDEO_SOURCE(l->data))
                ges_timeline_element_set_child_properties(GES_TIMELINE_ELEMENT(l->data), "posx",
                                                          p.x, "posy", p.y, "width", p.width,
                                                          "height", p.height, nullptr);
        }
        g_list_free_full(children, g_object_unref);
    }

    void Scrap()
    {
        for (auto &[track, scaling] : direct) {
            GstElement *scaler = scaling.scaler.get();
            if (scaler && pipeline && GST_OBJECT_PARENT(scaler) == GST_OBJECT(pipeline.get())) {
                gst_element_set_state(scaler, GST_STATE_NULL);
                gst_bin_remove(GST_BIN(pipeline.get()), scaler);
            }
        }
        direct.clear();
        stretchedAlone.clear();
        if (ges && pipeline && GST_OBJECT_PARENT(ges.get()) == GST_OBJECT(pipeline.get())) {
            gst_element_set_state(GST_ELEMENT(ges.get()), GST_STATE_NULL);
            gst_bin_remove(GST_BIN(pipeline.get()), GST_ELEMENT(ges.get()));
        }
        if (ges)
            g_signal_handlers_disconnect_by_data(ges.get(), this);
        tracks.clear();
        clipTrack.clear();
        clipElement.clear();
        sourceColours.clear();
        ges.reset();
    }
};

RenderEngine::RenderEngine()
    : m_impl(std::make_unique<Impl>())
{
}

RenderEngine::~RenderEngine()
{
    m_impl->Scrap();
}

HRESULT RenderEngine::Create(std::unique_ptr<RenderEngine> *engine)
{
    if (!engine)
        return E_POINTER;
    engine->reset(new RenderEngine);
    return S_OK;
}

HRESULT RenderEngine::SetTimelineObject(std::shared_ptr<Timeline> timeline)
{
    if (!timeline)
        return E_POINTER;
    if (m_impl->ges)
        return E_UNEXPECTED;
    m_impl->timeline = std::move(timeline);
    return S_OK;
}

HRESULT RenderEngine::GetTimelineObject(std::shared_ptr<Timeline> *timeline) const
{
    if (!timeline)
        return E_POINTER;
    if (!m_impl->timeline)
        return E_UNEXPECTED;
    *timeline = m_impl->timeline;
    return S_OK;
}

HRESULT RenderEngine::SetDynamicReconnectLevel(long level)
{
    return level < 0 ? E_INVALIDARG : S_OK;
}

HRESULT RenderEngine::SetKeepSourceSound(bool keep)
{
    if (m_impl->ges)
        return E_UNEXPECTED;
    m_impl->keepSourceSound = keep;
    return S_OK;
}

std::vector<std::string> RenderEngine::LeftOutStreams() const
{
    return m_impl->leftOut;
}

HRESULT RenderEngine::SetKeepSourceColours(bool keep)
{
    if (m_impl->ges)
        return E_UNEXPECTED;
    m_impl->keepSourceColours = keep;
    return S_OK;
}

HRESULT RenderEngine::SetFilterGraph(GstElement *pipeline)
{
    if (!pipeline)
        return E_POINTER;
    if (!GST_IS_BIN(pipeline))
        return E_INVALIDARG;
    if (m_impl->ges)
        return E_UNEXPECTED;
    m_impl->pipeline = gst::Ref(pipeline);
    return S_OK;
}

HRESULT RenderEngine::GetFilterGraph(GstElement **pipeline) const
{
    if (!pipeline)
        return E_POINTER;
    if (!m_impl->pipeline)
        return E_UNEXPECTED;
    *pipeline = GST_ELEMENT(gst_object_ref(m_impl->pipeline.get()));
    return S_OK;
}

HRESULT RenderEngine::ConnectFrontEnd()
{
    if (!m_impl->timeline || m_impl->ges)
        return m_impl->Fail(E_UNEXPECTED, "No timeline to render.");
    m_impl->lastError.clear();
    HRESULT hr = m_impl->Connect();
    if (FAILED(hr))
        m_impl->Scrap();
    return hr;
}

HRESULT RenderEngine::GetGroupOutputPin(long group, GstPad **pad) const
{
    if (!pad)
        return E_POINTER;
    if (!m_impl->ges)
        return E_UNEXPECTED;
    if (group < 0 || group >= static_cast<long>(m_impl->tracks.size()))
        return E_INVALIDARG;
    GESTrack *track = m_impl->tracks[group];
    if (auto scaled = m_impl->direct.find(track); scaled != m_impl->direct.end()) {
        *pad = gst_element_get_static_pad(scaled->second.scaler.get(), "src");
        return *pad ? S_OK : E_FAIL;
    }
    // Already the caller's reference (see Connect).
    *pad = ges_timeline_get_pad_for_track(m_impl->ges.get(), track);
    return *pad ? S_OK : E_FAIL;
}

HRESULT RenderEngine::ScrapIt()
{
    m_impl->Scrap();
    return S_OK;
}

const std::string &RenderEngine::LastError() const
{
    return m_impl->lastError;
}

} // namespace media
