#include "media/core/GraphEvents.h"
#include "media/core/MediaPlatform.h"
#include "media/core/StreamingTasks.h"

#include <gst/check/gsttestclock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>

namespace {

using namespace std::chrono_literals;
using media::GraphEvents;
namespace gst = media::gst;

// An element that offers the pipeline a clock, as a sound sink does. The clock is a test clock
// that never moves unless told, so a pipeline left on it after losing it stalls for good.
struct ClockProvider
{
    GstElement parent;
};
struct ClockProviderClass
{
    GstElementClass parent_class;
};

GstClock *g_providedClock = nullptr;

G_DEFINE_TYPE(ClockProvider, clock_provider, GST_TYPE_ELEMENT)

GstClock *clock_provider_provide_clock(GstElement *)
{
    return GST_CLOCK(gst_object_ref(g_providedClock));
}

void clock_provider_class_init(ClockProviderClass *klass)
{
    GstElementClass *element = GST_ELEMENT_CLASS(klass);
    element->provide_clock = &clock_provider_provide_clock;
    gst_element_class_set_static_metadata(element, "Clock provider", "Testing",
                                          "Offers a clock that stands still", "Clipwright");
}

void clock_provider_init(ClockProvider *self)
{
    GST_OBJECT_FLAG_SET(self, GST_ELEMENT_FLAG_PROVIDE_CLOCK);
}

gst::Element Make(const char *factory)
{
    return gst::Adopt(gst_element_factory_make(factory, nullptr));
}

// One second of tiny pictures played in step with the clock, beside an element that offers a
// clock standing still.
struct ClockedPipeline
{
    gst::Object<GstClock> frozen{gst_test_clock_new()};
    gst::Element pipeline = gst::Adopt(gst_pipeline_new(nullptr));
    gst::Element provider
        = gst::Adopt(GST_ELEMENT(g_object_new(clock_provider_get_type(), nullptr)));

    ClockedPipeline()
    {
        g_providedClock = frozen.get();
        gst::Element source = Make("videotestsrc");
        gst::Element filter = Make("capsfilter");
        gst::Element sink = Make("fakesink");
        g_object_set(source.get(), "num-buffers", 25, nullptr);
        gst::Caps caps(gst_caps_from_string("video/x-raw,width=32,height=24,framerate=25/1"));
        g_object_set(filter.get(), "caps", caps.get(), nullptr);
        g_object_set(sink.get(), "sync", TRUE, nullptr);
        for (GstElement *e : {source.get(), filter.get(), sink.get(), provider.get()})
            gst_bin_add(GST_BIN(pipeline.get()), GST_ELEMENT(gst_object_ref(e)));
        gst_element_link_many(source.get(), filter.get(), sink.get(), nullptr);
    }
    ~ClockedPipeline()
    {
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        g_providedClock = nullptr;
    }

    // The state once the pipeline has settled (bounded wait).
    GstState Settled() const
    {
        GstState state = GST_STATE_VOID_PENDING;
        if (gst_element_get_state(pipeline.get(), &state, nullptr, 20 * GST_SECOND)
            != GST_STATE_CHANGE_SUCCESS)
            return GST_STATE_VOID_PENDING;
        return state;
    }

    // Until the sink waits on the frozen clock for its next picture (bounded).
    bool SinkWaitsOnTheClock() const
    {
        return gst_test_clock_timed_wait_for_multiple_pending_ids(GST_TEST_CLOCK(frozen.get()), 1,
                                                                  20000, nullptr);
    }

    bool OnFrozenClock() const
    {
        gst::Object<GstClock> clock(gst_pipeline_get_clock(GST_PIPELINE(pipeline.get())));
        return clock.get() == frozen.get();
    }

    // As a sound sink leaves the pipeline when its stream goes away.
    void RemoveProvider()
    {
        gst_element_set_state(provider.get(), GST_STATE_NULL);
        gst_bin_remove(GST_BIN(pipeline.get()), provider.get());
    }
};

TEST(GraphEvents, ALostClockIsReplacedAndPlaybackGoesOn)
{
    ASSERT_TRUE(media::InitializeMediaPlatform(nullptr, media::MediaServices::Playback));
    ClockedPipeline p;
    GraphEvents events(p.pipeline.get());
    const GraphEvents::Mark start = events.Now();
    ASSERT_NE(events.SetState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    ASSERT_EQ(p.Settled(), GST_STATE_PLAYING);
    ASSERT_TRUE(p.OnFrozenClock());
    // On a clock that stands still the second picture never comes.
    ASSERT_TRUE(p.SinkWaitsOnTheClock());
    EXPECT_EQ(events.WaitForEnd(start, 100ms), GraphEvents::Outcome::TimedOut);

    p.RemoveProvider();
    EXPECT_EQ(events.WaitForEnd(start, 30s), GraphEvents::Outcome::Done);
    EXPECT_EQ(events.Now().clocksLost, 1u);
    EXPECT_FALSE(p.OnFrozenClock());
    long code = 0;
    std::intptr_t p1 = 0;
    std::intptr_t p2 = 0;
    ASSERT_EQ(events.GetEvent(&code, &p1, &p2), S_OK);
    EXPECT_EQ(code, media::EC_COMPLETE);
}

TEST(GraphEvents, AClockLostWhilePausedIsReplacedAtTheNextPlay)
{
    ASSERT_TRUE(media::InitializeMediaPlatform(nullptr, media::MediaServices::Playback));
    ClockedPipeline p;
    GraphEvents events(p.pipeline.get());
    const GraphEvents::Mark start = events.Now();
    ASSERT_NE(events.SetState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    ASSERT_EQ(p.Settled(), GST_STATE_PLAYING);
    ASSERT_TRUE(p.SinkWaitsOnTheClock());
    ASSERT_NE(events.SetState(GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
    ASSERT_EQ(p.Settled(), GST_STATE_PAUSED);

    p.RemoveProvider();
    // The user paused: losing the clock must not start the graph again.
    EXPECT_EQ(events.WaitForEnd(start, 500ms), GraphEvents::Outcome::TimedOut);
    EXPECT_EQ(p.Settled(), GST_STATE_PAUSED);
    EXPECT_EQ(events.Now().clocksLost, 1u);

    ASSERT_NE(events.SetState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    EXPECT_EQ(events.WaitForEnd(start, 30s), GraphEvents::Outcome::Done);
    EXPECT_FALSE(p.OnFrozenClock());
}

} // namespace

// A graph that stopped without saying so (parsebin drops a demuxer's error while plugging it)
// must not be waited for forever; one still streaming is waited for to its end.
TEST(GraphEvents, AGraphWithNothingRunningIsNoticedInsteadOfAwaited)
{
    ASSERT_TRUE(media::InitializeMediaPlatform(nullptr, media::MediaServices::Playback));
    const auto types = GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR);

    // A graph with no source: no task runs and no message comes. (A pipeline of its own: a
    // lone element from gst_parse_launch would have no bus to wait on.)
    GstElement *idle = gst_pipeline_new(nullptr);
    GstElement *sink = gst_element_factory_make("fakesink", nullptr);
    ASSERT_NE(sink, nullptr);
    g_object_set(sink, "async", FALSE, nullptr);
    gst_bin_add(GST_BIN(idle), sink);
    gst_element_set_state(idle, GST_STATE_PLAYING);
    EXPECT_FALSE(media::AnyStreamingTaskRunning(idle));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(media::PopUnlessStalled(idle, types), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    gst_element_set_state(idle, GST_STATE_NULL);
    gst_object_unref(idle);

    // Two seconds of pictures in real time: longer than any stall check, and running all along.
    GstElement *busy = gst_parse_launch(
        "videotestsrc num-buffers=50 is-live=true ! video/x-raw,framerate=25/1 ! fakesink",
        nullptr);
    ASSERT_NE(busy, nullptr);
    gst_element_set_state(busy, GST_STATE_PLAYING);
    GstMessage *end = media::PopUnlessStalled(busy, types);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(GST_MESSAGE_TYPE(end), GST_MESSAGE_EOS);
    gst_message_unref(end);
    gst_element_set_state(busy, GST_STATE_NULL);
    gst_object_unref(busy);
}
