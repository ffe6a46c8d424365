#include "convert/media/MediaPlatform.h"
#include "convert/media/RenderEngine.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace media;

namespace {

std::string Fixture(const char *name)
{
    return std::string(CW_FIXTURE_DIR) + "/" + name;
}

std::string Shell(const std::string &command)
{
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        return out;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0)
        out.append(buffer.data(), n);
    return out;
}

std::string Probe(const std::string &file, const std::string &stream, const std::string &entry)
{
    std::string out = Shell("ffprobe -v error -count_frames -select_streams " + stream
                          + " -show_entries stream=" + entry
                          + " -of default=noprint_wrappers=1:nokey=1 '" + file + "'");
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

// Frame n of the file's video as 8-bit grey rows.
std::vector<unsigned char> GreyFrame(const std::string &file, int n)
{
    std::string raw = Shell("ffmpeg -v error -i '" + file + "' -vf 'select=eq(n\\," + std::to_string(n)
                          + ")' -frames:v 1 -f rawvideo -pix_fmt gray -");
    return std::vector<unsigned char>(raw.begin(), raw.end());
}

// The number a frame of the numbered fixture shows, read from its ten bars across the top
// half of a picture of the given size.
int FrameNumber(const std::vector<unsigned char> &grey, int width, int height)
{
    int n = 0;
    for (int bit = 0; bit < 10; ++bit) {
        int x = static_cast<int>((bit + 0.5) * width / 10);
        if (grey.at(std::size_t(height / 4) * width + x) > 128)
            n |= 1 << bit;
    }
    return n;
}

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

// Renders every group of the timeline into a Matroska file: video as H.264, audio as PCM.
// Returns the engine's result; EOS must arrive for success.
HRESULT RenderToFile(const std::shared_ptr<Timeline> &timeline, const std::string &out,
                     std::string *error = nullptr)
{
    std::unique_ptr<RenderEngine> engine;
    EXPECT_EQ(RenderEngine::Create(&engine), S_OK);
    GstElement *pipeline = gst_pipeline_new(nullptr);
    gst_object_ref_sink(pipeline);
    EXPECT_EQ(engine->SetTimelineObject(timeline), S_OK);
    EXPECT_EQ(engine->SetDynamicReconnectLevel(CONNECTF_DYNAMIC_SOURCES), S_OK);
    EXPECT_EQ(engine->SetFilterGraph(pipeline), S_OK);
    HRESULT hr = engine->ConnectFrontEnd();
    if (error)
        *error = engine->LastError();
    if (FAILED(hr)) {
        gst_object_unref(pipeline);
        return hr;
    }
    GstElement *mux = gst_element_factory_make("matroskamux", nullptr);
    GstElement *sink = gst_element_factory_make("filesink", nullptr);
    g_object_set(sink, "location", out.c_str(), nullptr);
    gst_bin_add_many(GST_BIN(pipeline), mux, sink, nullptr);
    gst_element_link(mux, sink);
    long groups = 0;
    timeline->GetGroupCount(&groups);
    for (long g = 0; g < groups; ++g) {
        GstPad *pad = nullptr;
        EXPECT_EQ(engine->GetGroupOutputPin(g, &pad), S_OK);
        GstCaps *caps = gst_pad_query_caps(pad, nullptr);
        bool video = g_str_has_prefix(
            gst_structure_get_name(gst_caps_get_structure(caps, 0)), "video/");
        gst_caps_unref(caps);
        const char *chain = video ? "videoconvert ! x264enc speed-preset=ultrafast ! queue"
                                  : "audioconvert ! audio/x-raw,format=S16LE ! queue";
        GstElement *bin = gst_parse_bin_from_description(chain, TRUE, nullptr);
        gst_bin_add(GST_BIN(pipeline), bin);
        GstPad *binSink = gst_element_get_static_pad(bin, "sink");
        EXPECT_EQ(gst_pad_link(pad, binSink), GST_PAD_LINK_OK);
        gst_object_unref(binSink);
        gst_object_unref(pad);
        EXPECT_TRUE(gst_element_link(bin, mux));
    }
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus *bus = gst_element_get_bus(pipeline);
    GstMessage *msg = gst_bus_timed_pop_filtered(bus, 180 * GST_SECOND,
                                                 GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    hr = msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS ? S_OK : E_FAIL;
    if (msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_ERROR) {
        GError *e = nullptr;
        gst_message_parse_error(msg, &e, nullptr);
        ADD_FAILURE() << "render error: " << e->message;
        g_error_free(e);
    }
    if (msg)
        gst_message_unref(msg);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    engine.reset();
    gst_object_unref(pipeline);
    return hr;
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
    auto timeline = OneClipTimeline(Fixture("numbered_25fps.mp4"), 2 * UNITS, 5 * UNITS, 320,
                                    240, 25.0, RESIZEF_STRETCH);
    ASSERT_EQ(RenderToFile(timeline, out), S_OK);

    EXPECT_EQ(Probe(out, "v", "nb_read_frames"), "75");
    EXPECT_EQ(Probe(out, "v", "width,height"), "320\n240");
    EXPECT_EQ(Probe(out, "v", "r_frame_rate"), "25/1");
    EXPECT_EQ(FrameNumber(GreyFrame(out, 0), 320, 240), 50);
    EXPECT_EQ(FrameNumber(GreyFrame(out, 74), 320, 240), 124);

    // PCM in Matroska: the sound's length from its packets.
    std::string last = Shell("ffprobe -v error -select_streams a -show_entries packet=pts_time,"
                           "duration_time -of csv=p=0 '" + out + "' | tail -1");
    double pts = 0, duration = 0;
    ASSERT_EQ(std::sscanf(last.c_str(), "%lf,%lf", &pts, &duration), 2) << last;
    EXPECT_NEAR(pts + duration, 3.0, 0.020);
}

TEST_F(RenderEngineTest, RestrictionSizeAndRateAndStretchModes)
{
    // 4:3 source into a 16:9 frame: letterboxed with black borders left and right.
    const std::string boxed = Out("boxed.mkv");
    ASSERT_EQ(RenderToFile(OneClipTimeline(Fixture("numbered_25fps.mp4"), 0, UNITS, 640, 360,
                                           30.0, RESIZEF_PRESERVEASPECTRATIO, false),
                           boxed),
              S_OK);
    EXPECT_EQ(Probe(boxed, "v", "width,height"), "640\n360");
    EXPECT_EQ(Probe(boxed, "v", "r_frame_rate"), "30/1");
    EXPECT_EQ(Probe(boxed, "v", "nb_read_frames"), "30");
    auto grey = GreyFrame(boxed, 0);
    ASSERT_EQ(grey.size(), 640u * 360u);
    const std::size_t lower = 270 * 640; // a row in the grey lower half of the picture
    EXPECT_LT(grey[lower + 30], 30);     // left border
    EXPECT_LT(grey[lower + 610], 30);    // right border
    EXPECT_GT(grey[lower + 100], 170);   // picture (480 wide, from x = 80)
    EXPECT_GT(grey[lower + 540], 170);

    // Stretch fills the whole frame.
    const std::string filled = Out("filled.mkv");
    ASSERT_EQ(RenderToFile(OneClipTimeline(Fixture("numbered_25fps.mp4"), 0, UNITS, 640, 360,
                                           30.0, RESIZEF_STRETCH, false),
                           filled),
              S_OK);
    grey = GreyFrame(filled, 0);
    ASSERT_EQ(grey.size(), 640u * 360u);
    EXPECT_GT(grey[lower + 10], 170);
    EXPECT_GT(grey[lower + 630], 170);
}

TEST_F(RenderEngineTest, NtscRateKeepsAWholeNumberOfFrames)
{
    // 31 frames at 29.97 is 1.0343333 s, which 100-ns marks round up.
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
    timeline = OneClipTimeline(Fixture("text_renamed.avi"), 0, UNITS, 320, 240, 25.0,
                               RESIZEF_STRETCH);
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

} // namespace
