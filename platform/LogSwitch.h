#pragma once

namespace platform {

// The program writes no log of its own. A maintainer who asks GStreamer for our categories
// (GST_DEBUG=clipwright*:5) gets the front ends' decisions too: their Qt logging categories
// ("clipwright.convert", "clipwright.cli", ...) are switched on at the matching level.
void FollowMediaDebugSetting();

} // namespace platform
