#pragma once

#include "media/core/GraphEvents.h"
#include "media/core/GstHandles.h"
#include "media/playback/PlaybackGraph.h"
#include "media/probe/FrameTimes.h"

#include <gst/app/gstappsink.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The inside of a playback graph, shared by its render (PlaybackRender.cpp: building the
// graph for a file and prerolling it) and its control (PlaybackGraph.cpp: positions, rate,
// measurements, state and events).
namespace media {

struct PlaybackGraph::Impl
{
    // Some demuxers learn the duration only just after preroll.
    static constexpr int kDurationTries = 10;

    gst::Element pipeline;
    std::unique_ptr<GraphEvents> events;
    RenderOptions options;

    std::mutex streamsMutex; // pad-added runs on a streaming thread
    gst::Pad videoPad;       // the decoder's pad of the first video stream
    bool hasAudio = false;

    // Paused from playing: the sink prerolls on the next picture, which must not replace the
    // one on screen (the one the user paused at and marks). A seek or play lets it through.
    std::atomic<bool> holdPreroll{false};

    bool rendered = false;
    double rate = 1.0;
    REFERENCE_TIME stop = -1;             // set stop position; -1 = the end of the media
    REFERENCE_TIME measuredDuration = -1; // our own measure where the demuxer only estimates
    std::string path;                     // the rendered file
    std::optional<FrameRate> frameRate;   // read from the frames' stamps when first asked

    ~Impl()
    {
        if (pipeline)
            events->SetState(GST_STATE_NULL);
        events.reset();
    }

    // Building and prerolling (PlaybackRender.cpp).

    // Back to the empty graph Create made, so a failed render leaves nothing behind that
    // could spoil the next one.
    void Clear();
    static void OnPadAdded(GstElement *, GstPad *pad, gpointer self);
    void AddBranch(GstPad *pad);
    void LinkChain(GstPad *pad, const std::vector<GstElement *> &chain);
    GstElement *MakeVideoFrameSink();
    static GstFlowReturn OnPreroll(GstAppSink *sink, gpointer self);
    static GstFlowReturn OnSample(GstAppSink *sink, gpointer self);
    void DeliverFrame(GstSample *sample);
    // Goes to paused and waits until the sinks have their first data, an error arrives, the
    // graph stops moving, or the bounded wait ends.
    HRESULT Preroll();

    // Control and measurement (PlaybackGraph.cpp).

    HRESULT SetState(GstState state);
    HRESULT Seek(double newRate, REFERENCE_TIME current, REFERENCE_TIME newStop,
                 bool accurate = true);
    // The length of the media: our own measure where the demuxer only estimates, otherwise the
    // demuxer's, which some learn only just after preroll (asked up to tries times).
    std::optional<REFERENCE_TIME> Length(int tries = kDurationTries) const;
    bool HasVideo();
    // The first structure of the video stream's negotiated caps, kept alive by holder;
    // nullptr before negotiation.
    const GstStructure *VideoStructure(gst::Caps *holder);
};

} // namespace media
