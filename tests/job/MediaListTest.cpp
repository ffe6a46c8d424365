#include "support/TestEnvironment.h"

#include "job/MediaList.h"
#include "job/MediaProbe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

TEST(MediaList, RandomTransitionsSpreadOverTheTableAndUnknownModesLeaveTheType)
{
    MediaList list;
    list.m_nTransitionMode = TransitionRandom;
    std::set<int> seen;
    for (int i = 0; i < 2000; ++i) {
        list.AssignTransition(0);
        ASSERT_GE(list.m_nTransitionType[0], 0);
        ASSERT_LT(list.m_nTransitionType[0], 47);
        seen.insert(list.m_nTransitionType[0]);
    }
    EXPECT_GT(seen.size(), 40u);

    list.m_nTransitionType[3] = 9;
    list.m_nTransitionMode = 5;
    list.AssignTransition(3);
    EXPECT_EQ(list.m_nTransitionType[3], 9);
    list.m_nTransitionMode = TransitionSequence;
    list.AssignTransition(3);
    EXPECT_EQ(list.m_nTransitionType[3], 3);
    // Out-of-range items are refused rather than written past the list: nothing changes, in
    // the list or in the fields on either side of it.
    list.m_nTransitionMode = TransitionSame;
    list.m_nSameTransition = 12;
    list.m_llPhotoDuration.back() = 0x0123456789ABCDEF;
    list.m_llTransitionDuration.front() = 0x0FEDCBA987654321;
    list.m_nTransitionType.back() = 46;
    const MediaList before = list;
    for (int index : {kMaxPhotoItems, kMaxPhotoItems + 1, -1, -1000}) {
        list.AssignTransition(index);
        EXPECT_EQ(list.m_nTransitionType, before.m_nTransitionType) << index;
        EXPECT_EQ(list.m_llPhotoDuration, before.m_llPhotoDuration) << index;
        EXPECT_EQ(list.m_llTransitionDuration, before.m_llTransitionDuration) << index;
    }
    // The last item in range is still taken.
    list.AssignTransition(kMaxPhotoItems - 1);
    EXPECT_EQ(list.m_nTransitionType.back(), 12);
    list.AssignTransition(0);
    EXPECT_EQ(list.m_nTransitionType.front(), 12);
}

TEST(MediaList, DurationProbeMeasuresPlayableFilesAndMarksOthers)
{
    EXPECT_NEAR(static_cast<double>(DurationProbe(Fixture("h264_aac.mp4"))), 20000000.0, 400000.0);
    // Sound alone still has a length.
    EXPECT_NEAR(static_cast<double>(DurationProbe(Fixture("pcm_audio.wav"))), 15000000.0, 10000.0);
    EXPECT_EQ(DurationProbe(Fixture("text_renamed.avi")), -1);
    EXPECT_EQ(DurationProbe(Fixture("empty.mp4")), -1);
}

TEST(MediaProbe, UnknownOrBrokenFrameTimesNeverGiveAnEndlessRate)
{
    EXPECT_DOUBLE_EQ(FrameRateFromTimePerFrame(0.04), 25.0);
    EXPECT_NEAR(FrameRateFromTimePerFrame(1001.0 / 30000.0), 29.97003, 1e-5);
    for (double broken : {0.0, -0.04, std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity(), 1e-9}) {
        const double rate = FrameRateFromTimePerFrame(broken);
        EXPECT_TRUE(std::isfinite(rate));
        EXPECT_DOUBLE_EQ(rate, kUnknownFrameRateFallback);
    }
}

TEST(MediaProbe, MeasuresEveryPlayableFixture)
{
    AppTestEnvironment env;
    struct Case
    {
        const char *name;
        int width;
        int height;
        double fps;
        double seconds;
    };
    const Case cases[] = {
        {"h264_aac.mp4", 320, 240, 25.0, 2.0},
        {"mpeg4_mp3.avi", 321, 239, 29.97, 2.002},
        {"vp8_vorbis.mkv", 176, 144, 25.0, 2.0},
        {"theora_vorbis.ogg", 160, 120, 25.0, 2.0},
        {"wmv2_wma2.wmv", 320, 240, 25.0, 2.0},
        {"mpeg2_mp2.mpg", 352, 288, 25.0, 2.0},
        {"video_only_640x480.mp4", 640, 480, 29.97, 2.002},
        {"long_95_7.mp4", 64, 48, 10.0, 95.7},
        {"vp8_alpha.webm", 160, 120, 30.0, 2.0}, // decoded by a pair of decoders
    };
    for (const Case &c : cases) {
        MediaProbeResult result;
        ASSERT_TRUE(RunMediaProbe(Fixture(c.name), &result)) << c.name;
        EXPECT_EQ(result.sourceWidth, c.width) << c.name;
        EXPECT_EQ(result.sourceHeight, c.height) << c.name;
        EXPECT_NEAR(result.sourceFrameRate, c.fps, 0.001) << c.name;
        // Within one frame of the true length.
        EXPECT_NEAR(result.stopPosition / 1e7, c.seconds, 1.0 / c.fps) << c.name;
    }
    EXPECT_TRUE(env.boxes.Boxes().empty());
}

// "Original frame rate" is the rate ffprobe reads: 24 fps WebM, also without a declared rate
// (its demuxer says 0/1), WMV at 12 and 29.97 fps (its demuxer says 25), and the average of a
// variable rate.
TEST(MediaProbe, OriginalFrameRateIsTheRateFfprobeReads)
{
    AppTestEnvironment env;
    struct Case
    {
        const char *name;
        double fps;
        const char *ffprobeEntry; // the figure of ffprobe's that ours must match
    };
    const Case cases[] = {
        {"vp9_24fps.webm", 24.0, "r_frame_rate"},
        {"av1_24fps.webm", 24.0, "r_frame_rate"},
        {"vp9_24fps_norate.webm", 24.0, "r_frame_rate"},
        {"wmv2_12fps.wmv", 12.0, "r_frame_rate"},
        {"wmv2_2997fps.wmv", 30000.0 / 1001, "r_frame_rate"},
        {"vfr_h264.mp4", 3600.0 / 179, "avg_frame_rate"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MediaProbeResult result;
        ASSERT_TRUE(RunMediaProbe(Fixture(c.name), &result));
        EXPECT_NEAR(result.sourceFrameRate, c.fps, 0.001);
        const std::string theirs
            = Shell(std::string("ffprobe -v error -select_streams v:0 -show_entries stream=")
                    + c.ffprobeEntry + " -of default=nw=1:nk=1 '" + Fixture(c.name) + "'");
        int num = 0;
        int den = 0;
        ASSERT_EQ(std::sscanf(theirs.c_str(), "%d/%d", &num, &den), 2) << theirs;
        EXPECT_NEAR(result.sourceFrameRate, static_cast<double>(num) / den, 0.001) << theirs;
    }
    EXPECT_TRUE(env.boxes.Boxes().empty());
}
