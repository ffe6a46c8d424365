#pragma once

// Rendering a timeline to a file through a plain encoder and muxer, and reading the result
// back with ffprobe/ffmpeg, for the render tests.
#include "media/render/RenderEngine.h"
#include "support/TestSupport.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace rendertest {

using namespace media;

inline std::string Probe(const std::string &file, const std::string &stream,
                         const std::string &entry)
{
    std::string out = Shell("ffprobe -v error -count_frames -select_streams " + stream
                            + " -show_entries stream=" + entry
                            + " -of default=noprint_wrappers=1:nokey=1 '" + file + "'");
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

// Frame n of the file's video as 8-bit grey rows.
inline std::vector<unsigned char> GreyFrame(const std::string &file, int n)
{
    std::string raw = Shell("ffmpeg -v error -i '" + file + "' -vf 'select=eq(n\\,"
                            + std::to_string(n) + ")' -frames:v 1 -f rawvideo -pix_fmt gray -");
    return std::vector<unsigned char>(raw.begin(), raw.end());
}

// The number a frame of the numbered fixture shows, read from its ten bars across the top
// half of a picture of the given size.
inline int FrameNumber(const std::vector<unsigned char> &grey, int width, int height)
{
    int n = 0;
    for (int bit = 0; bit < 10; ++bit) {
        int x = static_cast<int>((bit + 0.5) * width / 10);
        if (grey.at(std::size_t(height / 4) * width + x) > 128)
            n |= 1 << bit;
    }
    return n;
}

// Renders every group of the timeline into a Matroska file: video as H.264, audio as PCM.
// Returns the engine's result; EOS must arrive for success.
inline HRESULT RenderToFile(const std::shared_ptr<Timeline> &timeline, const std::string &out,
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
        bool video
            = g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps, 0)), "video/");
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
    // The timeline's outputs must go with the engine and the graph (a batch renders hundreds).
    // Static: an output freed after this returns must not write into a stack long gone.
    static int outputsLeft;
    outputsLeft = 0;
    GstIterator *children = gst_bin_iterate_elements(GST_BIN(pipeline));
    GValue child = G_VALUE_INIT;
    while (gst_iterator_next(children, &child) == GST_ITERATOR_OK) {
        auto *element = GST_ELEMENT(g_value_get_object(&child));
        if (g_type_is_a(G_OBJECT_TYPE(element), g_type_from_name("GESTimeline")))
            for (GList *l = element->srcpads; l; l = l->next, ++outputsLeft)
                g_object_weak_ref(
                    G_OBJECT(l->data),
                    [](gpointer left, GObject *) { --*static_cast<int *>(left); }, &outputsLeft);
        g_value_reset(&child);
    }
    g_value_unset(&child);
    gst_iterator_free(children);
    EXPECT_GT(outputsLeft, 0);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus *bus = gst_element_get_bus(pipeline);
    GstMessage *msg = gst_bus_timed_pop_filtered(
        bus, 180 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
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
    EXPECT_EQ(outputsLeft, 0);
    return hr;
}

// Where the last audio packet ends, in seconds; -1 when there is none.
inline double AudioEnd(const std::string &file)
{
    std::string last = Shell("ffprobe -v error -select_streams a -show_entries packet=pts_time,"
                             "duration_time -of csv=p=0 '"
                             + file + "' | tail -1");
    double pts = 0, duration = 0;
    if (std::sscanf(last.c_str(), "%lf,%lf", &pts, &duration) != 2)
        return -1;
    return pts + duration;
}

} // namespace rendertest
