#include "media/playback/PlaybackGraph.h"
#include "media/playback/FrameDrawer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using media::PlaybackGraph;

std::unique_ptr<PlaybackGraph> NewGraph()
{
    std::unique_ptr<PlaybackGraph> graph;
    EXPECT_EQ(PlaybackGraph::Create(&graph), S_OK);
    return graph;
}

struct Clip
{
    const char *name;
    int width;
    int height;
    double fps;
    double seconds;
};

TEST(PlaybackGraph, EveryPlayableFixtureReportsItsLengthSizeAndRate)
{
    std::string error;
    ASSERT_TRUE(media::InitializeMediaPlatform(&error)) << error;
    ASSERT_TRUE(media::InitializeMediaPlatform());

    const Clip clips[] = {
        {"h264_aac.mp4", 320, 240, 25.0, 2.0},
        {"mpeg4_mp3.avi", 321, 239, 30000.0 / 1001, 2.002},
        {"vp8_vorbis.mkv", 176, 144, 25.0, 2.0},
        {"theora_vorbis.ogg", 160, 120, 25.0, 2.0},
        {"wmv2_wma2.wmv", 320, 240, 25.0, 2.0},
        {"mpeg2_mp2.mpg", 352, 288, 25.0, 2.0},
        {"video_only_640x480.mp4", 640, 480, 30000.0 / 1001, 2.002},
        {"long_95_7.mp4", 64, 48, 10.0, 95.7},
        // MPEG clocks from 10 s, from 3600 s, from 0 and across the 33-bit wrap.
        {"mpeg2_mp2_10s.mpg", 352, 288, 25.0, 3.0},
        {"mpeg2_mp2_wrap.mpg", 352, 288, 25.0, 3.0},
        {"h264_aac_3600s.ts", 160, 120, 25.0, 3.0},
        {"h264_aac_0s.ts", 160, 120, 25.0, 3.0},
        {"h264_aac_10s.ts", 160, 120, 25.0, 3.0},
        {"h264_aac_wrap.ts", 160, 120, 25.0, 3.0},
        // Rates the demuxers do not state: WebM without a default duration (0/1), ASF (25).
        {"vp9_24fps_norate.webm", 160, 120, 24.0, 3.0},
        {"wmv2_12fps.wmv", 160, 120, 12.0, 3.0},
        {"wmv2_2997fps.wmv", 160, 120, 30000.0 / 1001, 3.003},
    };
    for (const Clip &clip : clips) {
        SCOPED_TRACE(clip.name);
        auto graph = NewGraph();
        ASSERT_TRUE(graph);
        ASSERT_EQ(graph->RenderFile(Fixture(clip.name)), S_OK);
        EXPECT_EQ(graph->QuerySeeking(), S_OK);

        REFERENCE_TIME stop = 0;
        ASSERT_EQ(graph->GetStopPosition(&stop), S_OK);
        EXPECT_NEAR(static_cast<double>(stop), clip.seconds * UNITS, UNITS / clip.fps);

        ASSERT_EQ(graph->QueryBasicVideo(), S_OK);
        int width = 0;
        int height = 0;
        ASSERT_EQ(graph->GetVideoSize(&width, &height), S_OK);
        EXPECT_EQ(width, clip.width);
        EXPECT_EQ(height, clip.height);
        double perFrame = 0.0;
        ASSERT_EQ(graph->GetAvgTimePerFrame(&perFrame), S_OK);
        ASSERT_GT(perFrame, 0.0);
        EXPECT_NEAR(1.0 / perFrame, clip.fps, 0.001);
    }
}

TEST(PlaybackGraph, TheLongClipEndsAfterNinetyFiveWholeSeconds)
{
    auto graph = NewGraph();
    ASSERT_EQ(graph->RenderFile(Fixture("long_95_7.mp4")), S_OK);
    REFERENCE_TIME stop = 0;
    ASSERT_EQ(graph->GetStopPosition(&stop), S_OK);
    EXPECT_EQ(stop / UNITS, 95);
}

TEST(PlaybackGraph, AudioOnlyFilesRenderWithoutBasicVideo)
{
    const Clip clips[] = {{"vorbis_audio.ogg", 0, 0, 0, 2.0}, {"pcm_audio.wav", 0, 0, 0, 1.5}};
    for (const Clip &clip : clips) {
        SCOPED_TRACE(clip.name);
        auto graph = NewGraph();
        ASSERT_EQ(graph->RenderFile(Fixture(clip.name)), S_OK);
        REFERENCE_TIME stop = 0;
        ASSERT_EQ(graph->GetStopPosition(&stop), S_OK);
        EXPECT_NEAR(static_cast<double>(stop), clip.seconds * UNITS, UNITS / 100);

        EXPECT_EQ(graph->QueryBasicVideo(), E_NOINTERFACE);
        int width = -1;
        int height = -1;
        EXPECT_EQ(graph->GetVideoSize(&width, &height), E_NOINTERFACE);
        double perFrame = -1.0;
        EXPECT_EQ(graph->GetAvgTimePerFrame(&perFrame), E_NOINTERFACE);
    }
}

TEST(PlaybackGraph, FilesThatAreNotMediaFailToRenderAndLeaveAnInertGraph)
{
    for (const char *name :
         {"text_renamed.avi", "empty.mp4", "truncated.mp4", "random.mkv", "no_such_file.mp4"}) {
        SCOPED_TRACE(name);
        auto graph = NewGraph();
        EXPECT_EQ(graph->RenderFile(Fixture(name)), VFW_E_CANNOT_RENDER);

        REFERENCE_TIME stop = 0;
        EXPECT_TRUE(FAILED(graph->GetStopPosition(&stop)));
        EXPECT_EQ(graph->QuerySeeking(), E_NOINTERFACE);
        EXPECT_EQ(graph->QueryBasicVideo(), E_NOINTERFACE);
        EXPECT_TRUE(FAILED(graph->Run()));
        EXPECT_TRUE(FAILED(graph->SetPositions(0, -1)));
        long code = 0;
        std::intptr_t p1 = 0;
        std::intptr_t p2 = 0;
        EXPECT_EQ(graph->GetEvent(&code, &p1, &p2), E_ABORT);
    }
    // A folder is not a file.
    auto graph = NewGraph();
    EXPECT_EQ(graph->RenderFile(CW_FIXTURE_DIR), VFW_E_CANNOT_RENDER);
}

TEST(PlaybackGraph, AGraphWhoseRenderFailedRendersTheNextFile)
{
    auto graph = NewGraph();
    for (const char *name : {"text_renamed.avi", "truncated.mp4", "random.mkv"})
        EXPECT_EQ(graph->RenderFile(Fixture(name)), VFW_E_CANNOT_RENDER) << name;

    ASSERT_EQ(graph->RenderFile(Fixture("h264_aac.mp4")), S_OK);
    REFERENCE_TIME stop = 0;
    ASSERT_EQ(graph->GetStopPosition(&stop), S_OK);
    EXPECT_NEAR(static_cast<double>(stop), 2.0 * UNITS, UNITS / 25);
    int width = 0;
    int height = 0;
    ASSERT_EQ(graph->GetVideoSize(&width, &height), S_OK);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    // Nothing of the failed attempts is left: no event, and the file plays to its end.
    long code = 0;
    std::intptr_t p1 = 0;
    std::intptr_t p2 = 0;
    EXPECT_EQ(graph->GetEvent(&code, &p1, &p2), E_ABORT);
    ASSERT_EQ(graph->SetPositions(19 * UNITS / 10, -1), S_OK);
    ASSERT_EQ(graph->Run(), S_OK);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    HRESULT hr = E_ABORT;
    while ((hr = graph->GetEvent(&code, &p1, &p2)) == E_ABORT
           && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(code, media::EC_COMPLETE);

    // A graph that rendered keeps its file.
    EXPECT_EQ(graph->RenderFile(Fixture("vp8_vorbis.mkv")), VFW_E_WRONG_STATE);
}

TEST(PlaybackGraph, PositionsAtTheEndsOfTheRangeAreHeldToTheMedia)
{
    constexpr REFERENCE_TIME kMax = std::numeric_limits<REFERENCE_TIME>::max();
    constexpr REFERENCE_TIME kMin = std::numeric_limits<REFERENCE_TIME>::min();
    auto graph = NewGraph();
    ASSERT_EQ(graph->RenderFile(Fixture("h264_aac.mp4")), S_OK);

    // A stop "at the very end" is the end of the media.
    ASSERT_EQ(graph->SetPositions(0, kMax), S_OK);
    REFERENCE_TIME stop = 0;
    ASSERT_EQ(graph->GetStopPosition(&stop), S_OK);
    EXPECT_NEAR(static_cast<double>(stop), 2.0 * UNITS, UNITS / 25);
    // A negative stop, however large, keeps it.
    ASSERT_EQ(graph->SetPositions(UNITS, kMin), S_OK);
    ASSERT_EQ(graph->GetStopPosition(&stop), S_OK);
    EXPECT_NEAR(static_cast<double>(stop), 2.0 * UNITS, UNITS / 25);
    REFERENCE_TIME current = -1;
    ASSERT_EQ(graph->GetCurrentPosition(&current), S_OK);
    EXPECT_NEAR(static_cast<double>(current), 1.0 * UNITS, UNITS / 25);

    // A start past the end is the end.
    ASSERT_EQ(graph->SetPositions(kMax, -1), S_OK);
    ASSERT_EQ(graph->GetCurrentPosition(&current), S_OK);
    EXPECT_GE(current, 0);
    EXPECT_LE(current, 2 * UNITS);
    EXPECT_EQ(graph->SetPositions(kMin, -1), E_INVALIDARG);

    // The graph still seeks normally afterwards.
    ASSERT_EQ(graph->SetPositions(UNITS / 2, 3 * UNITS / 2), S_OK);
    ASSERT_EQ(graph->GetCurrentPosition(&current), S_OK);
    EXPECT_NEAR(static_cast<double>(current), 0.5 * UNITS, UNITS / 25);
    ASSERT_EQ(graph->GetStopPosition(&stop), S_OK);
    EXPECT_EQ(stop, 3 * UNITS / 2);
}

TEST(PlaybackGraph, ACompletionQueuedBeforeASeekNeverArrivesAfterIt)
{
    auto graph = NewGraph();
    std::mutex mutex;
    std::condition_variable notified;
    int calls = 0;
    graph->SetNotifyCallback([&] {
        std::lock_guard lock(mutex);
        ++calls;
        notified.notify_all();
    });
    const auto waitForCalls = [&](int count) {
        std::unique_lock lock(mutex);
        return notified.wait_for(lock, std::chrono::seconds(20), [&] { return calls >= count; });
    };
    ASSERT_EQ(graph->RenderFile(Fixture("h264_aac.mp4")), S_OK);
    ASSERT_EQ(graph->SetPositions(19 * UNITS / 10, -1), S_OK);
    ASSERT_EQ(graph->Run(), S_OK);
    // The end is queued, but the receiver has not taken it when the user stops and seeks back.
    ASSERT_TRUE(waitForCalls(1));
    ASSERT_EQ(graph->Stop(), S_OK);
    ASSERT_EQ(graph->SetPositions(0, -1), S_OK);
    long code = 0;
    std::intptr_t p1 = 0;
    std::intptr_t p2 = 0;
    EXPECT_EQ(graph->GetEvent(&code, &p1, &p2), E_ABORT);

    // Ends that do belong to the new position still come, once each.
    ASSERT_EQ(graph->SetPositions(19 * UNITS / 10, -1), S_OK);
    ASSERT_EQ(graph->Run(), S_OK);
    ASSERT_TRUE(waitForCalls(2));
    ASSERT_EQ(graph->GetEvent(&code, &p1, &p2), S_OK);
    EXPECT_EQ(code, media::EC_COMPLETE);
    EXPECT_EQ(graph->GetEvent(&code, &p1, &p2), E_ABORT);
}

TEST(PlaybackGraph, PlayingToTheEndPostsCompleteThroughTheCallback)
{
    auto graph = NewGraph();
    std::mutex mutex;
    std::condition_variable notified;
    int calls = 0;
    graph->SetNotifyCallback([&] {
        std::lock_guard lock(mutex);
        ++calls;
        notified.notify_all();
    });
    ASSERT_EQ(graph->RenderFile(Fixture("h264_aac.mp4")), S_OK);

    long code = 0;
    std::intptr_t p1 = -1;
    std::intptr_t p2 = -1;
    EXPECT_EQ(graph->GetEvent(&code, &p1, &p2), E_ABORT);
    EXPECT_EQ(graph->GetEvent(nullptr, &p1, &p2), E_POINTER);

    ASSERT_EQ(graph->Run(), S_OK);
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(notified.wait_for(lock, std::chrono::seconds(20), [&] { return calls > 0; }));
    }
    ASSERT_EQ(graph->GetEvent(&code, &p1, &p2), S_OK);
    EXPECT_EQ(code, media::EC_COMPLETE);
    EXPECT_EQ(p1, 0);
    EXPECT_EQ(p2, 0);
    EXPECT_EQ(graph->GetEvent(&code, &p1, &p2), E_ABORT);

    // The usual stop: pause, back to the start; the graph can play to the end again.
    EXPECT_EQ(graph->Stop(), S_OK);
    EXPECT_EQ(graph->SetPositions(0, -1), S_OK);
    REFERENCE_TIME current = -1;
    ASSERT_EQ(graph->GetCurrentPosition(&current), S_OK);
    EXPECT_EQ(current, 0);
    EXPECT_EQ(graph->SetPositions(19 * UNITS / 10, -1), S_OK);
    ASSERT_EQ(graph->Run(), S_OK);
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(notified.wait_for(lock, std::chrono::seconds(20), [&] { return calls > 1; }));
    }
    ASSERT_EQ(graph->GetEvent(&code, &p1, &p2), S_OK);
    EXPECT_EQ(code, media::EC_COMPLETE);
}

TEST(PlaybackGraph, SeeksAreAccurateAndStopAndRateStick)
{
    auto graph = NewGraph();
    ASSERT_EQ(graph->RenderFile(Fixture("long_95_7.mp4")), S_OK);

    // Frames are 0.1 s apart and key frames far rarer: only an accurate seek lands here.
    ASSERT_EQ(graph->SetPositions(503 * UNITS / 10, -1), S_OK);
    REFERENCE_TIME current = 0;
    ASSERT_EQ(graph->GetCurrentPosition(&current), S_OK);
    EXPECT_NEAR(static_cast<double>(current), 50.3 * UNITS, UNITS / 10);

    ASSERT_EQ(graph->SetPositions(10 * UNITS, 60 * UNITS), S_OK);
    REFERENCE_TIME stop = 0;
    ASSERT_EQ(graph->GetStopPosition(&stop), S_OK);
    EXPECT_EQ(stop, 60 * UNITS);
    // A negative stop keeps the one set before.
    ASSERT_EQ(graph->SetPositions(20 * UNITS, -1), S_OK);
    ASSERT_EQ(graph->GetStopPosition(&stop), S_OK);
    EXPECT_EQ(stop, 60 * UNITS);

    EXPECT_EQ(graph->SetRate(2.0), S_OK);
    EXPECT_EQ(graph->SetRate(1.0), S_OK);
    EXPECT_EQ(graph->SetRate(0.0), E_INVALIDARG);
    EXPECT_EQ(graph->SetRate(-1.0), E_INVALIDARG);
    ASSERT_EQ(graph->GetCurrentPosition(&current), S_OK);
    EXPECT_NEAR(static_cast<double>(current), 20.0 * UNITS, UNITS / 10);
    EXPECT_EQ(graph->SetPositions(-1, -1), E_INVALIDARG);
}

TEST(PlaybackGraph, AFrameReceiverGetsThePrerolledPicture)
{
    for (const Clip &clip : {Clip{"h264_aac.mp4", 320, 240, 25.0, 2.0},
                             Clip{"mpeg4_mp3.avi", 321, 239, 29.97, 2.002}}) {
        SCOPED_TRACE(clip.name);
        std::atomic<int> frames = 0;
        std::atomic<int> width = 0;
        std::atomic<int> height = 0;
        std::atomic<bool> wellFormed = true;
        media::RenderOptions options;
        // Drawn on the streaming thread at half size into rows with a gap at their end: the
        // gap stays, every pixel is opaque.
        media::FrameDrawer drawer;
        options.onVideoFrame = [&](const media::VideoFrame &frame) {
            ++frames;
            width = frame.width;
            height = frame.height;
            const int w = frame.width / 2;
            const int h = frame.height / 2;
            std::vector<std::uint8_t> rows(static_cast<std::size_t>(w * 4 + 8) * h, 0);
            if (!drawer.Draw(frame, rows.data(), w * 4 + 8, w, h))
                wellFormed = false;
            for (int y = 0; y < h; ++y) {
                const std::uint8_t *row
                    = rows.data() + static_cast<std::ptrdiff_t>(y) * (w * 4 + 8);
                for (int x = 0; x < w; ++x)
                    wellFormed = wellFormed && row[x * 4 + 3] == 255;
                for (int gap = w * 4; gap < w * 4 + 8; ++gap)
                    wellFormed = wellFormed && row[gap] == 0;
            }
        };
        auto graph = NewGraph();
        graph->SetRenderOptions(options);
        ASSERT_EQ(graph->RenderFile(Fixture(clip.name)), S_OK);
        EXPECT_GE(frames.load(), 1);
        EXPECT_EQ(width.load(), clip.width);
        EXPECT_EQ(height.load(), clip.height);
        EXPECT_TRUE(wellFormed.load());
        // The geometry still comes from the decoded stream, not from the receiver's format.
        int w = 0;
        int h = 0;
        ASSERT_EQ(graph->GetVideoSize(&w, &h), S_OK);
        EXPECT_EQ(w, clip.width);
        EXPECT_EQ(h, clip.height);
    }
}

} // namespace
