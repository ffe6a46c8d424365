#pragma once

#include "media/render/Timeline.h"
#include "platform/Status.h"

#include <memory>
#include <string>
#include <vector>

typedef struct _GstElement GstElement;
typedef struct _GstPad GstPad;

// Turns an editing timeline into the front end of a GStreamer pipeline: one source pad per
// timeline group, in group order, from which the caller builds the rest of the graph
// (encoders, muxer, file sink).
//
// Use:
//   RenderEngine::Create(&engine);
//   engine->SetTimelineObject(timeline);
//   engine->SetFilterGraph(pipeline);  // optional: else the engine makes a pipeline
//   engine->ConnectFrontEnd();         // adds the timeline element to the pipeline
//   engine->GetGroupOutputPin(g, &pad) // for each group; link pad -> encoder -> muxer
//   ... set the pipeline to PLAYING, wait for EOS on its bus, set it to NULL ...
//   engine.reset();                    // or ScrapIt(): takes the element out again
//
// What each group's pad carries:
// - a video group (MEDIATYPE_Video): raw video "video/x-raw", format I420, the group's frame
//   size (biWidth x |biHeight|), pixel-aspect-ratio 1/1, a colorimetry (BT.601, or the
//   source's: SetKeepSourceColours) and the group's output rate as a
//   fraction (23.976 -> 24000/1001, 29.97 -> 30000/1001, 25 -> 25/1), every frame stamped on
//   that rate's grid. Put no videorate behind it: the rate is already fixed, and a videorate
//   loses the frame it holds when caps change.
// - an audio group (MEDIATYPE_Audio): raw audio "audio/x-raw", the platform's mixing format
//   (S32LE, 44100 Hz, stereo); put audioconvert/audioresample before an encoder.
// Each pad runs from time 0 to the end of the edit and then sends EOS.
//
// How the timeline is rendered:
// - each track is a layer; within a group later tracks lie on top of earlier ones and are
//   opaque: a clip that an upper clip covers for its whole span is never seen and is not
//   even opened; where a fitted picture leaves borders they are black, not the track below;
// - a group of one clip is scaled into its frame in one pass by our scaler (bicubic, as
//   ffmpeg's), which also converts the colours from what the decoder states; several clips
//   (and a picture a tag turns) go through GES's own scaler and mixer;
// - a source plays its file from its media start at normal speed for its span (the media
//   stop is not used to change speed); a file shorter than the span leaves the rest black or
//   silent;
// - its video is placed in the frame by its stretch mode (RESIZEF_*): 0 fills the frame, 2
//   fits it inside with black borders, 3 covers the frame and cuts the overflow, 1 keeps the
//   picture's own size, centred;
// - where a video track has no clip the frame is black, an audio track is silent, also for a
//   file without that kind of stream;
// - spans are put on the first video group's frame grid (rounded down, within 100 ns of a
//   frame counting as that frame), so a span of L holds exactly L x rate frames and every
//   group ends at the same time;
// - a transition of zero length changes nothing; transitions that last are not rendered
//   (ConnectFrontEnd fails with E_NOTIMPL).
namespace media {

constexpr long CONNECTF_DYNAMIC_NONE = 0;
constexpr long CONNECTF_DYNAMIC_SOURCES = 1;
constexpr long CONNECTF_DYNAMIC_EFFECTS = 2;

class RenderEngine
{
public:
    static HRESULT Create(std::unique_ptr<RenderEngine> *engine);
    ~RenderEngine();

    RenderEngine(const RenderEngine &) = delete;
    RenderEngine &operator=(const RenderEngine &) = delete;

    HRESULT SetTimelineObject(std::shared_ptr<Timeline> timeline);
    HRESULT GetTimelineObject(std::shared_ptr<Timeline> *timeline) const;
    // Accepted for every level; sources are always opened when the graph starts.
    HRESULT SetDynamicReconnectLevel(long level);

    // Whether the output file states the colour matrix of its pictures. Then the video groups
    // keep the first video source's colorimetry and no picture is converted for it; otherwise
    // (the default) they are converted to BT.601, which readers assume when nothing is stated.
    // Must come before ConnectFrontEnd.
    HRESULT SetKeepSourceColours(bool keep);
    // Whether the audio groups keep the rate and channels of their first sound source instead
    // of the platform's mixing format (44.1 kHz stereo), which an encoder converts from.
    // Must come before ConnectFrontEnd.
    HRESULT SetKeepSourceSound(bool keep);
    // After ConnectFrontEnd: the streams of the sources that the groups do not take, each
    // file's named as LeftOutStreamsOf names them; empty when nothing is left out.
    std::vector<std::string> LeftOutStreams() const;

    // The pipeline (a GstBin) to build into; the engine keeps a reference. Must come before
    // ConnectFrontEnd. Without it ConnectFrontEnd makes a pipeline of its own.
    HRESULT SetFilterGraph(GstElement *pipeline);
    // A new reference to the pipeline; the caller unrefs it.
    HRESULT GetFilterGraph(GstElement **pipeline) const;

    // Builds the timeline's element inside the pipeline. Failures:
    // E_UNEXPECTED no timeline set, or connected already;
    // HRESULT_FILE_NOT_FOUND a clip's file does not exist (deleted since it was chosen);
    // VFW_E_CANNOT_RENDER a clip's file cannot be read as media;
    // E_NOTIMPL a transition that lasts; E_FAIL the framework refused a step.
    // LastError() then says which file or step, in words for the user.
    HRESULT ConnectFrontEnd();

    // A new reference to group g's source pad (the caller unrefs it); E_INVALIDARG for a group
    // that does not exist, E_UNEXPECTED before ConnectFrontEnd.
    HRESULT GetGroupOutputPin(long group, GstPad **pad) const;

    // Takes the timeline's element out of the pipeline (set the pipeline to NULL first).
    HRESULT ScrapIt();

    const std::string &LastError() const;

    struct Impl;

private:
    RenderEngine();
    std::unique_ptr<Impl> m_impl;
};

// The output rate of a group as a fraction: near-NTSC rates become n*1000/1001.
void FrameRateFraction(double fps, int *num, int *den);

} // namespace media
