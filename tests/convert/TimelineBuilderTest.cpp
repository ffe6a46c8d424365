#include "convert/TimelineBuilder.h"
#include "convert/TransitionTable.h"
#include "localisation/ReportTexts.h"
#include "media/RenderTestSupport.h"
#include "media/core/MediaPlatform.h"
#include "media/render/RenderEngine.h"
#include "media/render/TransitionEffects.h"
#include "platform/Choosers.h"
#include "platform/MessageBoxes.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <memory>
#include <string>

using namespace media;

namespace {

// The timeline each test built last.
std::shared_ptr<Timeline> pTimeline;

// The state after opening a video: the file is photo item 0 and music item 0, marked from
// start to end, at 320x240 and 25 fps.
std::unique_ptr<ConversionJob> OpenedVideo(const std::string &path, REFERENCE_TIME start,
                                           REFERENCE_TIME end)
{
    auto dlg = std::make_unique<ConversionJob>();
    dlg->m_nPhotoCount = 1;
    dlg->m_szPhotoFile[0] = path;
    dlg->m_llPhotoDuration[0] = end - start;
    dlg->m_nMusicCount = 1;
    dlg->m_szMusicFile[0] = path;
    dlg->m_llStartTime = start;
    dlg->m_llEndTime = end;
    dlg->m_nOutputWidth = 320;
    dlg->m_nOutputHeight = 240;
    dlg->m_dOutputFrameRate = 25.0;
    dlg->m_nStretchMode = ResizeStretch;
    return dlg;
}

std::shared_ptr<TimelineNode> Group(long index)
{
    std::shared_ptr<TimelineNode> group;
    EXPECT_EQ(pTimeline->GetGroup(&group, index), S_OK);
    return group;
}

long GroupCount()
{
    long count = -1;
    EXPECT_EQ(pTimeline->GetGroupCount(&count), S_OK);
    return count;
}

class TimelineBuilder : public ::testing::Test
{
protected:
    void TearDown() override { pTimeline.reset(); }
    platform::MessageBoxRecorder boxes;
};

TEST_F(TimelineBuilder, GroupsFollowTheMediaAndMusicLists)
{
    auto dlg = OpenedVideo(Fixture("h264_aac.mp4"), 0, UNITS);
    dlg->m_nPhotoCount = 0;
    dlg->m_nMusicCount = 0;
    ASSERT_EQ(BuildTimeline(*dlg, pTimeline), S_OK);
    auto first = pTimeline;
    EXPECT_EQ(GroupCount(), 0);

    // No music: the video group only. An odd width pads each RGB row to 4 bytes.
    dlg->m_nPhotoCount = 1;
    dlg->m_nOutputWidth = 321;
    dlg->m_nOutputHeight = -239;
    dlg->m_dOutputFrameRate = 29.97;
    ASSERT_EQ(BuildTimeline(*dlg, pTimeline), S_OK);
    EXPECT_NE(pTimeline, first);
    ASSERT_EQ(GroupCount(), 1);
    AM_MEDIA_TYPE type;
    ASSERT_EQ(Group(0)->GetMediaType(&type), S_OK);
    EXPECT_EQ(type.majortype, MEDIATYPE_Video);
    EXPECT_EQ(type.subtype, MEDIASUBTYPE_RGB24);
    EXPECT_EQ(type.formattype, FORMAT_VideoInfo);
    EXPECT_TRUE(type.bFixedSizeSamples);
    EXPECT_FALSE(type.bTemporalCompression);
    ASSERT_EQ(type.format.size(), 88u);
    VIDEOINFOHEADER vih;
    ASSERT_TRUE(type.VideoInfo(&vih));
    EXPECT_EQ(vih.bmiHeader.biSize, 40u);
    EXPECT_EQ(vih.bmiHeader.biWidth, 321);
    EXPECT_EQ(vih.bmiHeader.biHeight, -239);
    EXPECT_EQ(vih.bmiHeader.biBitCount, 24);
    EXPECT_EQ(vih.bmiHeader.biSizeImage, 964u * 239u);
    EXPECT_EQ(type.lSampleSize, 964u * 239u);
    double fps = 0;
    ASSERT_EQ(Group(0)->GetOutputFPS(&fps), S_OK);
    EXPECT_DOUBLE_EQ(fps, 29.97);

    // Both lists: the audio group follows, with one clip from music item 0 only.
    dlg->m_nMusicCount = 2;
    dlg->m_szMusicFile[1] = Fixture("pcm_audio.wav");
    ASSERT_EQ(BuildTimeline(*dlg, pTimeline), S_OK);
    ASSERT_EQ(GroupCount(), 2);
    ASSERT_EQ(Group(1)->GetMediaType(&type), S_OK);
    EXPECT_EQ(type.majortype, MEDIATYPE_Audio);
    EXPECT_EQ(type.lSampleSize, 1u);
    EXPECT_TRUE(type.format.empty());
    ASSERT_EQ(Group(1)->Tracks().size(), 1u);
    ASSERT_EQ(Group(1)->Tracks()[0]->Sources().size(), 1u);
    std::string name;
    Group(1)->Tracks()[0]->Sources()[0]->GetMediaName(&name);
    EXPECT_EQ(name, Fixture("h264_aac.mp4"));
    EXPECT_TRUE(boxes.Boxes().empty()) << boxes.Texts().front();
}

TEST_F(TimelineBuilder, EveryItemGetsATrackCoveringTheMarkedSection)
{
    auto dlg = OpenedVideo(Fixture("h264_aac.mp4"), 5000000, 15000000);
    const char *files[] = {"h264_aac.mp4", "vp8_vorbis.mkv", "theora_vorbis.ogg"};
    dlg->m_nPhotoCount = 3;
    for (int i = 0; i < 3; ++i) {
        dlg->m_szPhotoFile[i] = Fixture(files[i]);
        dlg->m_llPhotoDuration[i] = (i + 1) * UNITS;
        dlg->m_llTransitionDuration[i] = 12345;
    }
    dlg->m_llPhotoDuration[3] = 99 * UNITS; // past the count: not summed
    dlg->m_nStretchMode = ResizePreserveAspectRatio;
    ASSERT_EQ(BuildTimeline(*dlg, pTimeline), S_OK);
    EXPECT_EQ(dlg->m_llTotalDuration, 6 * UNITS);

    const auto &tracks = Group(0)->Tracks();
    ASSERT_EQ(tracks.size(), 3u); // later items on the later (upper) tracks
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(dlg->m_llTransitionDuration[i], 0);
        ASSERT_EQ(tracks[i]->Sources().size(), 1u);
        const auto &source = tracks[i]->Sources()[0];
        REFERENCE_TIME a = -1, b = -1;
        source->GetStartStop(&a, &b);
        EXPECT_EQ(a, 0);
        EXPECT_EQ(b, 10000000);
        source->GetMediaTimes(&a, &b);
        EXPECT_EQ(a, 5000000);
        EXPECT_EQ(b, 15000000);
        std::string name;
        source->GetMediaName(&name);
        EXPECT_EQ(name, Fixture(files[i]));
        int mode = -1;
        source->GetStretchMode(&mode);
        EXPECT_EQ(mode, RESIZEF_PRESERVEASPECTRATIO);
    }
}

TEST_F(TimelineBuilder, TransitionNodesFollowTheTable)
{
    auto dlg = OpenedVideo(Fixture("h264_aac.mp4"), 0, UNITS);
    const int types[] = {0, 17, 50, 3, 46, -4};
    dlg->m_nPhotoCount = 6;
    for (int i = 0; i < 6; ++i) {
        dlg->m_szPhotoFile[i] = Fixture("h264_aac.mp4");
        dlg->m_nTransitionType[i] = types[i];
        dlg->m_llTransitionDuration[i] = 2 * UNITS;
    }
    ASSERT_EQ(BuildTimeline(*dlg, pTimeline), S_OK);
    EXPECT_TRUE(boxes.Boxes().empty()) << boxes.Texts().front();
    const auto &tracks = Group(0)->Tracks();
    ASSERT_EQ(tracks.size(), 6u);

    auto transitionOf = [&](int i) {
        EXPECT_EQ(dlg->m_llTransitionDuration[i], 0);
        return tracks[i]->Transitions().empty() ? nullptr : tracks[i]->Transitions()[0];
    };
    auto maskOf = [](const std::shared_ptr<TimelineNode> &t) {
        std::vector<PropertySetter::Point> values;
        auto setter = t->GetPropertySetter();
        if (!setter || !setter->GetProp("MaskNum", &values))
            return -1;
        EXPECT_EQ(values.size(), 1u);
        EXPECT_EQ(values[0].time, 0);
        EXPECT_EQ(values[0].interpolation, DEXTERF_JUMP);
        return static_cast<int>(std::get<std::int32_t>(values[0].value));
    };
    GUID smpte, fade, effect;
    ASSERT_TRUE(GuidFromString(kSmpteWipeClsid, &smpte));
    ASSERT_TRUE(GuidFromString("{16B280C5-EE70-11D1-9066-00C04FD9189D}", &fade));

    EXPECT_EQ(transitionOf(0), nullptr);
    for (int i : {1, 2, 3, 4, 5}) {
        SCOPED_TRACE(types[i]);
        auto t = transitionOf(i);
        ASSERT_NE(t, nullptr);
        REFERENCE_TIME a = -1, b = -1;
        t->GetStartStop(&a, &b);
        EXPECT_EQ(a, 0); // transitions are built with no length
        EXPECT_EQ(b, 0);
        ASSERT_EQ(t->GetSubObjectGUID(&effect), S_OK);
        EXPECT_EQ(effect, types[i] == 3 ? fade : smpte);
    }
    EXPECT_EQ(maskOf(transitionOf(1)), 1);
    EXPECT_EQ(maskOf(transitionOf(2)), -1); // outside the table: default pattern
    EXPECT_EQ(transitionOf(2)->GetPropertySetter(), nullptr);
    EXPECT_EQ(maskOf(transitionOf(3)), -1);
    EXPECT_EQ(maskOf(transitionOf(4)), 301);
    EXPECT_EQ(maskOf(transitionOf(5)), -1);
}

TEST_F(TimelineBuilder, TableRowsAreRenderableEffects)
{
    EXPECT_STREQ(kTransitionTable[0].name, "None");
    EXPECT_EQ(kTransitionTable[0].clsid, nullptr);
    EXPECT_STREQ(kTransitionTable[16].name, "RandomDissolve");
    EXPECT_STREQ(kTransitionTable[46].name, "Matrix, horizontal");
    for (int type = 1; type < kTransitionTableRows; ++type) {
        SCOPED_TRACE(type);
        const TransitionRow &row = kTransitionTable[type];
        GUID g;
        ASSERT_TRUE(GuidFromString(row.clsid, &g));
        EXPECT_TRUE(KnownEffect(g));
        EXPECT_EQ(row.maskNum.has_value(), type >= 17);
        EXPECT_EQ(std::string(row.clsid) == kSmpteWipeClsid, type >= 17);
        auto pattern = StandardTransitionType(g, row.maskNum);
        ASSERT_TRUE(pattern.has_value());
        // Patterns the platform has keep their number.
        if (type >= 17 && (*row.maskNum <= 64 || *row.maskNum == 101 || *row.maskNum >= 224)
            && *row.maskNum != 301) {
            EXPECT_EQ(*pattern, *row.maskNum);
        }
    }
    GUID smpte;
    ASSERT_TRUE(GuidFromString(kSmpteWipeClsid, &smpte));
    EXPECT_EQ(StandardTransitionType(smpte, std::nullopt), 1);
    EXPECT_EQ(StandardTransitionType(smpte, 119), 101); // circle: the rectangular iris
    GUID unknown;
    ASSERT_TRUE(GuidFromString("{00000000-1111-2222-3333-444444444444}", &unknown));
    EXPECT_FALSE(KnownEffect(unknown));
}

TEST_F(TimelineBuilder, FailingStepsShowTheirMessagesAndTheBuildGoesOn)
{
    auto dlg = OpenedVideo(Fixture("h264_aac.mp4"), 0, UNITS);
    dlg->m_nOutputWidth = 0;
    ASSERT_EQ(BuildTimeline(*dlg, pTimeline), S_OK);
    EXPECT_EQ(boxes.Texts(),
              std::vector<std::string>{"Could not pVideoGroup->SetMediaType(&mtGroup)"});
    EXPECT_EQ(boxes.Boxes()[0].kind, platform::BoxKind::Application);
    ASSERT_EQ(GroupCount(), 1); // the audio group still comes
    AM_MEDIA_TYPE type;
    Group(0)->GetMediaType(&type);
    EXPECT_EQ(type.majortype, MEDIATYPE_Audio);

    boxes.Clear();
    dlg->m_nOutputWidth = 320;
    dlg->m_dOutputFrameRate = 0;
    BuildTimeline(*dlg, pTimeline);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Could not SetOutputFPS"});

    // End mark before the start mark, an unknown stretch mode, an empty sound path.
    boxes.Clear();
    dlg->m_dOutputFrameRate = 25;
    dlg->m_llStartTime = 2 * UNITS;
    dlg->m_llEndTime = UNITS;
    BuildTimeline(*dlg, pTimeline);
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Could not configure media source",
                                                       "Could not set audio start and eng time!"}));
    ASSERT_EQ(GroupCount(), 2);
    EXPECT_TRUE(Group(0)->Tracks()[0]->Sources().empty());

    boxes.Clear();
    dlg->m_llEndTime = 3 * UNITS;
    dlg->m_nStretchMode = 7;
    dlg->m_szMusicFile[0].clear();
    BuildTimeline(*dlg, pTimeline);
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Could not configure media source",
                                                       "Could not configure pSource3Src"}));

    // A transition longer than the clip is refused; one within it is limited to the total.
    boxes.Clear();
    dlg->m_nStretchMode = 0;
    dlg->m_nTransitionType[0] = 3;
    dlg->m_llTotalDuration = 500 * 10000;
    std::shared_ptr<Timeline> timeline;
    std::shared_ptr<TimelineNode> group;
    ASSERT_EQ(Timeline::Create(&timeline), S_OK);
    ASSERT_EQ(timeline->CreateEmptyNode(&group, TIMELINE_MAJOR_TYPE_GROUP), S_OK);
    EXPECT_EQ(AddItemTrack(*dlg, *timeline, *group, Fixture("h264_aac.mp4"), 1001, 0), S_OK);
    EXPECT_EQ(AddItemTrack(*dlg, *timeline, *group, Fixture("h264_aac.mp4"), 1000, 0), S_OK);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Transition time should be less than"});
    ASSERT_EQ(group->Tracks().size(), 2u);
    EXPECT_TRUE(group->Tracks()[0]->Transitions().empty());
    ASSERT_EQ(group->Tracks()[1]->Transitions().size(), 1u);
    REFERENCE_TIME a = -1, b = -1;
    group->Tracks()[1]->Transitions()[0]->GetStartStop(&a, &b);
    EXPECT_EQ(b, 500 * 10000);
}

TEST_F(TimelineBuilder, DeletedSourceIsReportedBeforeRendering)
{
    QTemporaryDir dir;
    const std::string path = (dir.path() + "/clip.mp4").toStdString();
    std::filesystem::copy_file(Fixture("h264_aac.mp4"), path);
    auto dlg = OpenedVideo(path, 0, UNITS);
    std::filesystem::remove(path);
    platform::ChooserRecorder choosers;

    // The user declines to look for it: one question for the file of both groups, and the
    // render engine refuses it by name.
    boxes.QueueAnswer(platform::BoxAnswer::No);
    ASSERT_EQ(BuildTimeline(*dlg, pTimeline, true, AskToLocate), S_OK);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_NE(boxes.Boxes()[0].text.find(path), std::string::npos) << boxes.Boxes()[0].text;
    EXPECT_EQ(boxes.Boxes()[0].buttons, platform::BoxButtons::YesNo);
    EXPECT_TRUE(choosers.OpenRequests().empty());
    EXPECT_EQ(pTimeline->MissingSources(), std::vector<std::string>{path});
    std::unique_ptr<RenderEngine> engine;
    ASSERT_EQ(RenderEngine::Create(&engine), S_OK);
    ASSERT_EQ(engine->SetTimelineObject(pTimeline), S_OK);
    EXPECT_EQ(engine->ConnectFrontEnd(), HRESULT_FILE_NOT_FOUND);
    EXPECT_NE(engine->LastError().find(path), std::string::npos);

    // Looks, then cancels: still missing.
    boxes.Clear();
    boxes.QueueAnswer(platform::BoxAnswer::Yes);
    choosers.QueueAnswer(std::nullopt);
    ASSERT_EQ(BuildTimeline(*dlg, pTimeline, true, AskToLocate), S_OK);
    ASSERT_EQ(choosers.OpenRequests().size(), 1u);
    EXPECT_EQ(choosers.OpenRequests()[0].initialFolder, dir.path().toStdString());
    EXPECT_EQ(pTimeline->MissingSources(), std::vector<std::string>{path});

    // Finds it elsewhere: both clips play the file found.
    const std::string moved = Fixture("vp8_vorbis.mkv");
    boxes.QueueAnswer(platform::BoxAnswer::Yes);
    choosers.QueueAnswer(moved);
    ASSERT_EQ(BuildTimeline(*dlg, pTimeline, true, AskToLocate), S_OK);
    EXPECT_TRUE(pTimeline->MissingSources().empty());
    for (long g = 0; g < 2; ++g) {
        std::string name;
        Group(g)->Tracks()[0]->Sources()[0]->GetMediaName(&name);
        EXPECT_EQ(name, moved);
    }
}

TEST_F(TimelineBuilder, BuiltTimelineRendersTheMarkedSection)
{
    std::string error;
    ASSERT_TRUE(InitializeMediaPlatform(&error)) << error;
    QTemporaryDir dir;
    const std::string out = (dir.path() + "/out.mkv").toStdString();
    auto dlg = OpenedVideo(Fixture("numbered_25fps.mp4"), 2 * UNITS, 5 * UNITS);
    dlg->m_nTransitionType[0] = 17; // no length: renders as a cut
    ASSERT_EQ(BuildTimeline(*dlg, pTimeline), S_OK);
    ASSERT_EQ(rendertest::RenderToFile(pTimeline, out), S_OK);
    EXPECT_EQ(rendertest::Probe(out, "v", "nb_read_frames"), "75");
    EXPECT_EQ(rendertest::FrameNumber(rendertest::GreyFrame(out, 0), 320, 240), 50);
    EXPECT_NEAR(rendertest::AudioEnd(out), 3.0, 0.020);
}

} // namespace
