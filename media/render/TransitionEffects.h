#pragma once

#include "media/core/MediaTypes.h"

#include <optional>

// The transition effects the render engine knows and the standard transition each becomes.
// SMPTE wipe patterns keep their SMPTE number where the platform has that pattern; other
// patterns and the older transform effects get the closest one it has.
namespace media {

struct TransitionEffect
{
    const char *clsid; // "{...}" of the effect
    int standardType;  // the rendered pattern (SMPTE number, 512 = crossfade)
};

// The effects other than the SMPTE wipe, in a fixed order.
const TransitionEffect *TransformEffects(std::size_t *count);

// The pattern that renders an effect; maskNum is the SMPTE wipe's "MaskNum" when it has one.
// nullopt for an unknown effect.
std::optional<int> StandardTransitionType(const GUID &effect, std::optional<int> maskNum);

} // namespace media
