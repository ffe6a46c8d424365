#pragma once

#include "media/core/MediaPlatform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace media {

// One decoded picture for a frame receiver, in the decoder's own format and held by reference
// for as long as a copy of memory is held, so a receiver can show it later without copying
// it. A FrameDrawer turns it into pixels where it is shown.
struct VideoFrame
{
    int width = 0;
    int height = 0;
    REFERENCE_TIME position = 0;
    std::shared_ptr<const void> memory;
};

// Where the streams of a rendered file go. The defaults discard them in step with the clock,
// which is all a probe needs; a player supplies a frame receiver and asks for sound.
struct RenderOptions
{
    // Called on a streaming thread with the prerolled frame and with every frame played.
    std::function<void(const VideoFrame &)> onVideoFrame;
    // Sound to the desktop's audio output instead of being discarded.
    bool playAudio = false;
};

// A playback graph for one file: rendered (built and prerolled to paused) by RenderFile, then
// measured, played, paused, stopped and seeked.
class PlaybackGraph
{
public:
    // Creating the graph object; fails with E_OUTOFMEMORY/E_FAIL when the framework cannot.
    static HRESULT Create(std::unique_ptr<PlaybackGraph> *graph);
    ~PlaybackGraph();

    PlaybackGraph(const PlaybackGraph &) = delete;
    PlaybackGraph &operator=(const PlaybackGraph &) = delete;

    // Builds the complete playback graph for a local path with the installed decoders and
    // waits until it has prerolled. VFW_E_CANNOT_RENDER when the file cannot be played.
    HRESULT RenderFile(const std::string &path);
    // Takes effect for the next RenderFile.
    void SetRenderOptions(RenderOptions options);

    // Seeking interface: available once the file is rendered.
    HRESULT QuerySeeking() const;
    HRESULT GetStopPosition(REFERENCE_TIME *stop) const;
    HRESULT GetCurrentPosition(REFERENCE_TIME *current) const;
    // Accurate, flushing; a negative stop leaves the stop position as it is. Waits (bounded)
    // until the new position has prerolled.
    HRESULT SetPositions(REFERENCE_TIME current, REFERENCE_TIME stop);
    // Quick: to the key frame nearest to current, for following a dragged slider.
    HRESULT SeekKeyFrame(REFERENCE_TIME current);
    HRESULT SetRate(double rate);

    // Basic-video interface: E_NOINTERFACE when the file has no video stream.
    HRESULT QueryBasicVideo() const;
    // Decoded frame size in pixels.
    HRESULT GetVideoSize(int *width, int *height) const;
    // Average time per frame in seconds, as the first frames' stamps show it (a demuxer's
    // declared rate only where they agree); 0 when there is no rate to be had.
    HRESULT GetAvgTimePerFrame(double *seconds) const;

    HRESULT Run();
    HRESULT Pause();
    HRESULT Stop();

    // Graph events. The callback runs on a streaming thread whenever an event is queued; the
    // receiver posts itself a message and drains the queue with GetEvent on its own thread.
    void SetNotifyCallback(std::function<void()> callback);
    // Takes the next queued event without waiting; E_ABORT when none is queued.
    HRESULT GetEvent(long *code, std::intptr_t *param1, std::intptr_t *param2);

    struct Impl;

private:
    PlaybackGraph();
    std::unique_ptr<Impl> m_impl;
};

} // namespace media
