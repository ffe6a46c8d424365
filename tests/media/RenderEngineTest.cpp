#include "media/render/RenderEngine.h"
#include "media/RenderTestSupport.h"
#include "media/core/MediaPlatform.h"
#include "media/probe/StreamLanguages.h"
#include "media/render/RenderLayout.h"
#include "support/TestSupport.h"

#include <ges/ges.h>
#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace media;
using namespace rendertest;

namespace {

std::shared_ptr<Timeline> OneClipTimeline(const std::string &path, REFERENCE_TIME start,
                                          REFERENCE_TIME stop, int width, int height, double fps,
                                          int stretch, bool withAudio = true)
{
    std::shared_ptr<Timeline> timeline;
    EXPECT_EQ(Timeline::Create(&timeline), S_OK);
    auto addGroup = [&](bool video) {
        std::shared_ptr<TimelineNode> group, track, source;
        timeline->CreateEmptyNode(&group, TIMELINE_MAJOR_TYPE_GROUP);
        AM_MEDIA_TYPE type;
        type.majortype = video ? MEDIATYPE_Video : MEDIATYPE_Audio;
        if (video) {
            type.formattype = FORMAT_VideoInfo;
            VIDEOINFOHEADER vih;
            vih.bmiHeader.biWidth = width;
            vih.bmiHeader.biHeight = height;
            type.SetVideoInfo(vih);
        }
        EXPECT_EQ(group->SetMediaType(type), S_OK);
        if (video) {
            EXPECT_EQ(group->SetOutputFPS(fps), S_OK);
        }
        EXPECT_EQ(timeline->AddGroup(group), S_OK);
        timeline->CreateEmptyNode(&track, TIMELINE_MAJOR_TYPE_TRACK);
        EXPECT_EQ(group->VTrackInsBefore(track, -1), S_OK);
        timeline->CreateEmptyNode(&source, TIMELINE_MAJOR_TYPE_SOURCE);
        EXPECT_EQ(source->SetStartStop(0, stop - start), S_OK);
        EXPECT_EQ(source->SetMediaTimes(start, stop), S_OK);
        EXPECT_EQ(source->SetMediaName(path), S_OK);
        if (video) {
            EXPECT_EQ(source->SetStretchMode(stretch), S_OK);
        }
        EXPECT_EQ(track->SrcAdd(source), S_OK);
    };
    addGroup(true);
    if (withAudio)
        addGroup(false);
    return timeline;
}

class RenderEngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(InitializeMediaPlatform(&error)) << error;
        ASSERT_TRUE(dir.isValid());
    }
    std::string Out(const char *name) const { return (dir.path() + "/" + name).toStdString(); }
    QTemporaryDir dir;
};

TEST_F(RenderEngineTest, TrimHoldsExactlyItsFramesFromTheStartMark)
{
    const std::string out = Out("trim.mkv");
    auto timeline = OneClipTimeline(Fixture("numbered_25fps.mp4"), 2 * UNITS, 5 * UNITS, 320, 240,
                                    25.0, RESIZEF_STRETCH);
    ASSERT_EQ(RenderToFile(timeline, out), S_OK);

    EXPECT_EQ(Probe(out, "v", "nb_read_frames"), "75");
    EXPECT_EQ(Probe(out, "v", "width,height"), "320\n240");
    EXPECT_EQ(Probe(out, "v", "r_frame_rate"), "25/1");
    EXPECT_EQ(FrameNumber(GreyFrame(out, 0), 320, 240), 50);
    EXPECT_EQ(FrameNumber(GreyFrame(out, 74), 320, 240), 124);

    // PCM in Matroska: the sound's length from its packets.
    EXPECT_NEAR(AudioEnd(out), 3.0, 0.020);
}

TEST_F(RenderEngineTest, RestrictionSizeAndRateAndStretchModes)
{
    // The numbered clip's first second placed by a stretch mode in a w x h frame at 30 fps:
    // the grey levels of output frame n.
    auto placed = [this](const char *name, int w, int h, int mode, int n) {
        const std::string file = Out(name);
        EXPECT_EQ(RenderToFile(OneClipTimeline(Fixture("numbered_25fps.mp4"), 0, UNITS, w, h, 30.0,
                                               mode, false),
                               file),
                  S_OK);
        return GreyFrame(file, n);
    };

    // 4:3 source into a 16:9 frame: letterboxed with black borders left and right.
    auto grey = placed("boxed.mkv", 640, 360, RESIZEF_PRESERVEASPECTRATIO, 0);
    ASSERT_EQ(grey.size(), 640u * 360u);
    const std::string boxed = Out("boxed.mkv");
    EXPECT_EQ(Probe(boxed, "v", "width,height"), "640\n360");
    EXPECT_EQ(Probe(boxed, "v", "r_frame_rate"), "30/1");
    EXPECT_EQ(Probe(boxed, "v", "nb_read_frames"), "30");
    const std::size_t lower = 270 * 640; // a row in the grey lower half of the picture
    EXPECT_LT(grey[lower + 30], 30);     // left border
    EXPECT_LT(grey[lower + 610], 30);    // right border
    EXPECT_GT(grey[lower + 100], 170);   // picture (480 wide, from x = 80)
    EXPECT_GT(grey[lower + 540], 170);

    // Stretch fills the whole frame.
    grey = placed("filled.mkv", 640, 360, RESIZEF_STRETCH, 0);
    ASSERT_EQ(grey.size(), 640u * 360u);
    EXPECT_GT(grey[lower + 10], 170);
    EXPECT_GT(grey[lower + 630], 170);

    // Cropping covers the frame: 640x480, its top and bottom 60 rows cut. Row 10 shows source
    // row 35 (the bars), row 350 source row 205 (grey), edge to edge.
    grey = placed("cropped.mkv", 640, 360, RESIZEF_PRESERVEASPECTRATIO_NOLETTERBOX, 0);
    ASSERT_EQ(grey.size(), 640u * 360u);
    EXPECT_GT(grey[350 * 640 + 4], 170);
    EXPECT_GT(grey[350 * 640 + 636], 170);
    EXPECT_LT(grey[10 * 640 + 320], 100); // frame 0 sets no bit: its bars are black

    // At its own size a larger picture shows its middle: 320x240 in 160x120 keeps source
    // columns 80-239 and rows 60-179. Frame 5 (source frame 4) lights bar 2 alone, columns 64-95:
    // it shows at the left edge; squeezed whole, bar 0 would be there and bar 2 at x = 40.
    grey = placed("middle.mkv", 160, 120, RESIZEF_CROP, 5);
    ASSERT_EQ(grey.size(), 160u * 120u);
    EXPECT_GT(grey[110 * 160 + 2], 170); // grey lower half, no border
    EXPECT_GT(grey[110 * 160 + 157], 170);
    EXPECT_GT(grey[20 * 160 + 8], 170);
    EXPECT_LT(grey[20 * 160 + 40], 100);
}

TEST_F(RenderEngineTest, UpperTracksCoverLowerOnesWithTheirBorders)
{
    // Track 0: the numbered clip stretched over 0-2 s. Track 1, on top: the same clip
    // letterboxed over 0-1 s, in a 16:9 frame. Its borders must be black, not track 0.
    std::shared_ptr<Timeline> timeline;
    ASSERT_EQ(Timeline::Create(&timeline), S_OK);
    std::shared_ptr<TimelineNode> group;
    timeline->CreateEmptyNode(&group, TIMELINE_MAJOR_TYPE_GROUP);
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Video;
    type.formattype = FORMAT_VideoInfo;
    VIDEOINFOHEADER vih;
    vih.bmiHeader.biWidth = 640;
    vih.bmiHeader.biHeight = 360;
    type.SetVideoInfo(vih);
    ASSERT_EQ(group->SetMediaType(type), S_OK);
    ASSERT_EQ(group->SetOutputFPS(25), S_OK);
    ASSERT_EQ(timeline->AddGroup(group), S_OK);
    for (int t = 0; t < 2; ++t) {
        std::shared_ptr<TimelineNode> track, source;
        timeline->CreateEmptyNode(&track, TIMELINE_MAJOR_TYPE_TRACK);
        ASSERT_EQ(group->VTrackInsBefore(track, -1), S_OK);
        timeline->CreateEmptyNode(&source, TIMELINE_MAJOR_TYPE_SOURCE);
        REFERENCE_TIME length = t == 0 ? 2 * UNITS : UNITS;
        ASSERT_EQ(source->SetStartStop(0, length), S_OK);
        ASSERT_EQ(source->SetMediaTimes(4 * UNITS, 4 * UNITS + length), S_OK);
        ASSERT_EQ(source->SetMediaName(Fixture("numbered_25fps.mp4")), S_OK);
        ASSERT_EQ(source->SetStretchMode(t == 0 ? RESIZEF_STRETCH : RESIZEF_PRESERVEASPECTRATIO),
                  S_OK);
        ASSERT_EQ(track->SrcAdd(source), S_OK);
    }
    const std::string out = Out("layers.mkv");
    ASSERT_EQ(RenderToFile(timeline, out), S_OK);
    EXPECT_EQ(Probe(out, "v", "nb_read_frames"), "50");

    const std::size_t lower = 270 * 640;
    auto top = GreyFrame(out, 10);
    ASSERT_EQ(top.size(), 640u * 360u);
    EXPECT_LT(top[lower + 30], 30);   // border of the upper track
    EXPECT_GT(top[lower + 320], 170); // its picture
    auto below = GreyFrame(out, 40);  // after the upper clip: the lower track, stretched
    ASSERT_EQ(below.size(), 640u * 360u);
    EXPECT_GT(below[lower + 30], 170);
    EXPECT_EQ(FrameNumber(below, 640, 360), 140);
}

TEST_F(RenderEngineTest, MissingStreamsGiveBlackPicturesOrSilence)
{
    // A file without sound in the audio group: silence of the clip's length.
    const std::string silent = Out("silent.mkv");
    ASSERT_EQ(RenderToFile(OneClipTimeline(Fixture("video_only_640x480.mp4"), 0, UNITS, 320, 240,
                                           25.0, RESIZEF_STRETCH),
                           silent),
              S_OK);
    EXPECT_EQ(Probe(silent, "v", "nb_read_frames"), "25");
    EXPECT_NEAR(AudioEnd(silent), 1.0, 0.020);

    // A sound file in the video group: black frames of the clip's length.
    const std::string black = Out("black.mkv");
    ASSERT_EQ(RenderToFile(OneClipTimeline(Fixture("pcm_audio.wav"), 0, UNITS, 320, 240, 25.0,
                                           RESIZEF_PRESERVEASPECTRATIO),
                           black),
              S_OK);
    EXPECT_EQ(Probe(black, "v", "nb_read_frames"), "25");
    auto grey = GreyFrame(black, 12);
    ASSERT_EQ(grey.size(), 320u * 240u);
    EXPECT_LT(grey[120 * 320 + 160], 30);
    EXPECT_NEAR(AudioEnd(black), 1.0, 0.020);
}

TEST_F(RenderEngineTest, NtscRateKeepsAWholeNumberOfFrames)
{
    // 31 frames at 29.97 is 1.0343667 s, which 100-ns marks round up.
    const REFERENCE_TIME length = (31 * 1001 * UNITS + 29999) / 30000;
    const std::string out = Out("ntsc.mkv");
    ASSERT_EQ(RenderToFile(OneClipTimeline(Fixture("numbered_25fps.mp4"), 0, length, 320, 240,
                                           29.97, RESIZEF_STRETCH),
                           out),
              S_OK);
    EXPECT_EQ(Probe(out, "v", "r_frame_rate"), "30000/1001");
    EXPECT_EQ(Probe(out, "v", "nb_read_frames"), "31");
}

TEST_F(RenderEngineTest, MissingFileAndEmptyTimeline)
{
    // A clip whose file was deleted after it was chosen.
    const std::string gone = Out("gone.mp4");
    std::filesystem::copy_file(Fixture("h264_aac.mp4"), gone);
    auto timeline = OneClipTimeline(gone, 0, UNITS, 320, 240, 25.0, RESIZEF_STRETCH);
    std::filesystem::remove(gone);
    std::string error;
    EXPECT_EQ(RenderToFile(timeline, Out("none.mkv"), &error), HRESULT_FILE_NOT_FOUND);
    EXPECT_NE(error.find(gone), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(Out("none.mkv")));

    // Not media at all.
    timeline
        = OneClipTimeline(Fixture("text_renamed.avi"), 0, UNITS, 320, 240, 25.0, RESIZEF_STRETCH);
    EXPECT_EQ(RenderToFile(timeline, Out("none.mkv"), &error), VFW_E_CANNOT_RENDER);
    EXPECT_NE(error.find("text_renamed.avi"), std::string::npos) << error;

    // No groups: the front end connects and has no pads.
    std::shared_ptr<Timeline> empty;
    ASSERT_EQ(Timeline::Create(&empty), S_OK);
    std::unique_ptr<RenderEngine> engine;
    ASSERT_EQ(RenderEngine::Create(&engine), S_OK);
    GstPad *pad = nullptr;
    EXPECT_EQ(engine->ConnectFrontEnd(), E_UNEXPECTED);
    ASSERT_EQ(engine->SetTimelineObject(empty), S_OK);
    ASSERT_EQ(engine->ConnectFrontEnd(), S_OK);
    EXPECT_EQ(engine->GetGroupOutputPin(0, &pad), E_INVALIDARG);
    GstElement *graph = nullptr;
    ASSERT_EQ(engine->GetFilterGraph(&graph), S_OK);
    EXPECT_TRUE(GST_IS_PIPELINE(graph));
    gst_object_unref(graph);
}

TEST_F(RenderEngineTest, EachClipReachesOnlyTheTrackOfItsGroup)
{
    // A file with picture and sound in both groups: each group's clip must give one source to
    // its own track. A sound source in both tracks plays twice, 6 dB too loud.
    for (int mode : {RESIZEF_PRESERVEASPECTRATIO, RESIZEF_STRETCH}) {
        SCOPED_TRACE(mode);
        auto timeline
            = OneClipTimeline(Fixture("h264_aac.mp4"), 0, 2 * UNITS, 640, 480, 25.0, mode);
        std::unique_ptr<RenderEngine> engine;
        ASSERT_EQ(RenderEngine::Create(&engine), S_OK);
        ASSERT_EQ(engine->SetTimelineObject(timeline), S_OK);
        ASSERT_EQ(engine->ConnectFrontEnd(), S_OK);
        GstElement *graph = nullptr;
        ASSERT_EQ(engine->GetFilterGraph(&graph), S_OK);
        GESTimeline *ges = nullptr;
        for (GList *l = GST_BIN_CHILDREN(GST_BIN(graph)); l; l = l->next)
            if (GES_IS_TIMELINE(l->data))
                ges = GES_TIMELINE(l->data);
        ASSERT_NE(ges, nullptr);
        GList *tracks = ges_timeline_get_tracks(ges);
        EXPECT_EQ(g_list_length(tracks), 2u);
        for (GList *t = tracks; t; t = t->next) {
            GESTrack *track = GES_TRACK(t->data);
            int own = 0, other = 0;
            GList *elements = ges_track_get_elements(track);
            for (GList *e = elements; e; e = e->next) {
                if (!GES_IS_SOURCE(e->data))
                    continue;
                if (ges_track_element_get_track_type(GES_TRACK_ELEMENT(e->data)) == track->type)
                    ++own;
                else
                    ++other;
            }
            g_list_free_full(elements, gst_object_unref);
            EXPECT_EQ(own, 1) << ges_track_type_name(track->type);
            EXPECT_EQ(other, 0) << ges_track_type_name(track->type);
        }
        g_list_free_full(tracks, gst_object_unref);
        // Nor does a clip keep a source outside every track: the editing services never free
        // one, nor the decoder bin it made, and a batch of files piles them up.
        GList *layers = ges_timeline_get_layers(ges);
        for (GList *l = layers; l; l = l->next) {
            GList *clips = ges_layer_get_clips(GES_LAYER(l->data));
            for (GList *c = clips; c; c = c->next) {
                GList *children = ges_container_get_children(GES_CONTAINER(c->data), FALSE);
                for (GList *e = children; e; e = e->next)
                    if (GES_IS_SOURCE(e->data))
                        EXPECT_NE(ges_track_element_get_track(GES_TRACK_ELEMENT(e->data)), nullptr)
                            << G_OBJECT_TYPE_NAME(e->data);
                g_list_free_full(children, gst_object_unref);
            }
            g_list_free_full(clips, gst_object_unref);
        }
        g_list_free_full(layers, gst_object_unref);
        gst_object_unref(graph);
    }
}

TEST_F(RenderEngineTest, LeftOutStreamsAreNamedWithTheirLanguages)
{
    const std::string tracks = Fixture("tracks.mkv");
    auto timeline = OneClipTimeline(tracks, 0, UNITS, 320, 240, 25.0, RESIZEF_STRETCH);
    std::unique_ptr<RenderEngine> engine;
    ASSERT_EQ(RenderEngine::Create(&engine), S_OK);
    ASSERT_EQ(engine->SetTimelineObject(timeline), S_OK);
    ASSERT_EQ(engine->ConnectFrontEnd(), S_OK);
    EXPECT_EQ(engine->LeftOutStreams(),
              (std::vector<std::string>{"sound track 2 (de)", "subtitle track 1 (en)"}));

    // Where the discoverer had no language yet: read by the ids the discoverer gives.
    GstDiscoverer *discoverer = gst_discoverer_new(10 * GST_SECOND, nullptr);
    ASSERT_NE(discoverer, nullptr);
    gchar *uri = gst_filename_to_uri(tracks.c_str(), nullptr);
    GstDiscovererInfo *info = gst_discoverer_discover_uri(discoverer, uri, nullptr);
    g_free(uri);
    ASSERT_NE(info, nullptr);
    std::vector<std::string> ids;
    GList *sound = gst_discoverer_info_get_audio_streams(info);
    GList *subtitles = gst_discoverer_info_get_subtitle_streams(info);
    for (GList *list : {sound, subtitles})
        for (GList *l = list; l; l = l->next)
            if (const gchar *id
                = gst_discoverer_stream_info_get_stream_id(GST_DISCOVERER_STREAM_INFO(l->data)))
                ids.push_back(id);
    gst_discoverer_stream_info_list_free(sound);
    gst_discoverer_stream_info_list_free(subtitles);
    gst_discoverer_info_unref(info);
    g_object_unref(discoverer);
    ASSERT_EQ(ids.size(), 3u);
    const auto languages = ReadStreamLanguages(tracks, {ids.begin(), ids.end()});
    EXPECT_EQ(languages,
              (std::map<std::string, std::string>{{ids[0], "en"}, {ids[1], "de"}, {ids[2], "en"}}));

    // A stream the file does not have, a file of one stream without a language, and a file
    // that is not media: nothing, and the read ends with the file.
    EXPECT_EQ(ReadStreamLanguages(tracks, {ids[1], "no such stream"}),
              (std::map<std::string, std::string>{{ids[1], "de"}}));
    EXPECT_TRUE(ReadStreamLanguages(Fixture("vp8_vorbis.mkv"), {"no such stream"}).empty());
    EXPECT_TRUE(ReadStreamLanguages(Fixture("text_renamed.avi"), {"no such stream"}).empty());
    EXPECT_TRUE(ReadStreamLanguages(Out("missing.mkv"), {"no such stream"}).empty());
}

TEST(FrameRateFraction, NearNtscRatesBecomeExactFractions)
{
    int num = 0, den = 0;
    FrameRateFraction(23.976, &num, &den);
    EXPECT_EQ(num, 24000);
    EXPECT_EQ(den, 1001);
    FrameRateFraction(29.97, &num, &den);
    EXPECT_EQ(num, 30000);
    EXPECT_EQ(den, 1001);
    FrameRateFraction(25.0, &num, &den);
    EXPECT_EQ(num, 25);
    EXPECT_EQ(den, 1);
    FrameRateFraction(12.5, &num, &den);
    EXPECT_EQ(num, 25);
    EXPECT_EQ(den, 2);
}

TEST(RenderLayout, StretchModesPlaceThePicture)
{
    const DisplaySize fourByThree{320, 240};
    auto same = [](Placement p, Placement q) {
        return p.x == q.x && p.y == q.y && p.width == q.width && p.height == q.height;
    };
    EXPECT_TRUE(same(PlaceInFrame(RESIZEF_STRETCH, fourByThree, 640, 360), {0, 0, 640, 360}));
    EXPECT_TRUE(
        same(PlaceInFrame(RESIZEF_PRESERVEASPECTRATIO, fourByThree, 640, 360), {80, 0, 480, 360}));
    EXPECT_TRUE(same(PlaceInFrame(RESIZEF_PRESERVEASPECTRATIO_NOLETTERBOX, fourByThree, 640, 360),
                     {0, -60, 640, 480}));
    EXPECT_TRUE(same(PlaceInFrame(RESIZEF_CROP, fourByThree, 640, 360), {160, 60, 320, 240}));
    // A file without a picture size fills the frame.
    EXPECT_TRUE(same(PlaceInFrame(RESIZEF_PRESERVEASPECTRATIO, {}, 640, 360), {0, 0, 640, 360}));

    // 31 frames at 29.97 from a length rounded up to 100 ns; 75 at 25 from exactly 3 s.
    FrameGrid ntsc{30000, 1001};
    EXPECT_EQ(ntsc.Frames(1034366700), 31u);
    EXPECT_EQ(ntsc.Snap(1034366700), 1034366666u);
    EXPECT_EQ(ntsc.Frames(1034366666), 31u);
    FrameGrid pal{25, 1};
    EXPECT_EQ(pal.Snap(3 * GST_SECOND), 3 * GST_SECOND);
    EXPECT_EQ(pal.Snap(3 * GST_SECOND - 1000), 3 * GST_SECOND - 40 * GST_MSECOND);
    EXPECT_EQ(FrameGrid{}.Snap(12345), 12345u);
}

} // namespace
