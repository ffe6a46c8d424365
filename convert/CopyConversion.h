#pragma once

#include "convert/Conversion.h"
#include "media/copy/SectionCopy.h"

#include <string>

// A conversion that keeps the source's picture or sound (or both) as they are instead of
// encoding them: planned before anything is written, then run like every conversion graph.

// Starts it; false when it did not start (the reason was said, or the user declined to copy
// from a key frame).
bool StartCopy(ConversionJob &dlg, Conversion &conversion, bool withSound);

// "starts 0.84 s (21 frames) before the mark, at a key frame".
std::string KeyFrameNote(REFERENCE_TIME before, int frames);
