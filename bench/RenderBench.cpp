// Renders the marked section of a file through the timeline builder and the render engine into
// discarding sinks, as fast as it can, and prints the frames and the time taken. render-bench
// runs it beside ffmpeg decoding and scaling the same section.
#include "convert/TimelineBuilder.h"
#include "media/core/MediaPlatform.h"
#include "media/render/RenderEngine.h"

#include <gst/gst.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

std::atomic<long> g_frames{0};

GstPadProbeReturn CountFrame(GstPad *, GstPadProbeInfo *, gpointer)
{
    ++g_frames;
    return GST_PAD_PROBE_OK;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: render-bench-tool FILE START END WIDTH HEIGHT FPS\n");
        return 2;
    }
    std::string error;
    if (!media::InitializeMediaPlatform(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    auto dlg = std::make_unique<ConversionJob>();
    dlg->m_nPhotoCount = dlg->m_nMusicCount = 1;
    dlg->m_szPhotoFile[0] = dlg->m_szMusicFile[0] = argv[1];
    dlg->m_llStartTime = static_cast<REFERENCE_TIME>(std::atof(argv[2]) * UNITS);
    dlg->m_llEndTime = static_cast<REFERENCE_TIME>(std::atof(argv[3]) * UNITS);
    dlg->m_llPhotoDuration[0] = dlg->m_llEndTime - dlg->m_llStartTime;
    dlg->m_nOutputWidth = std::atoi(argv[4]);
    dlg->m_nOutputHeight = std::atoi(argv[5]);
    dlg->m_dOutputFrameRate = std::atof(argv[6]);
    dlg->m_nStretchMode = ResizePreserveAspectRatio;

    auto begin = std::chrono::steady_clock::now();
    std::shared_ptr<media::Timeline> pTimeline;
    if (FAILED(BuildTimeline(*dlg, pTimeline)))
        return 1;
    std::unique_ptr<media::RenderEngine> engine;
    media::RenderEngine::Create(&engine);
    engine->SetTimelineObject(pTimeline);
    engine->SetKeepSourceColours(true); // as for an H.264 output; ffmpeg keeps the matrix too
    if (FAILED(engine->ConnectFrontEnd())) {
        std::fprintf(stderr, "%s\n", engine->LastError().c_str());
        return 1;
    }
    GstElement *pipeline = nullptr;
    engine->GetFilterGraph(&pipeline);
    long groups = 0;
    pTimeline->GetGroupCount(&groups);
    for (long g = 0; g < groups; ++g) {
        GstPad *pad = nullptr;
        engine->GetGroupOutputPin(g, &pad);
        GstElement *sink = gst_element_factory_make("fakesink", nullptr);
        g_object_set(sink, "sync", FALSE, nullptr);
        gst_bin_add(GST_BIN(pipeline), sink);
        GstPad *sinkPad = gst_element_get_static_pad(sink, "sink");
        gst_pad_link(pad, sinkPad);
        if (g == 0)
            gst_pad_add_probe(sinkPad, GST_PAD_PROBE_TYPE_BUFFER, CountFrame, nullptr, nullptr);
        gst_object_unref(sinkPad);
        gst_object_unref(pad);
    }
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus *bus = gst_element_get_bus(pipeline);
    GstMessage *msg = gst_bus_timed_pop_filtered(
        bus, GST_CLOCK_TIME_NONE, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    bool ok = GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS;
    gst_message_unref(msg);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now()
                                                                    - begin)
                  .count();
    engine.reset();
    gst_object_unref(pipeline);
    std::printf("frames=%ld ms=%lld\n", g_frames.load(), static_cast<long long>(ms));
    return ok ? 0 : 1;
}
