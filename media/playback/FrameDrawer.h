#pragma once

#include "media/playback/PlaybackGraph.h"

#include <cstdint>
#include <memory>

namespace media {

// Draws the decoded pictures a playback graph hands over into rows of 32-bit pixels (bytes
// B, G, R, 255), converting the colours and scaling to the target's size in one pass. The
// converter is kept while the pictures' format and the target's size stay the same. One
// thread at a time.
class FrameDrawer
{
public:
    FrameDrawer();
    ~FrameDrawer();
    FrameDrawer(const FrameDrawer &) = delete;
    FrameDrawer &operator=(const FrameDrawer &) = delete;

    // False when the frame holds no picture or cannot be converted; the target is then
    // left as it was.
    bool Draw(const VideoFrame &frame, std::uint8_t *target, int stride, int width, int height);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace media
