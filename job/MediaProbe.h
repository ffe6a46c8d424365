#pragma once

#include "platform/Status.h"

#include <string>

namespace media {
struct SourceStreams;
}

// What the probe measures of a file.
struct MediaProbeResult
{
    REFERENCE_TIME stopPosition = 0;
    int sourceWidth = 0;
    int sourceHeight = 0;
    double sourceFrameRate = 0;
    // Which of these were reached before a failure: the size is kept even when a later
    // step fails.
    bool haveSize = false;
    bool haveFrameRate = false;
};

// Rate used when a file does not declare its frame rate: the program's rate before any video
// is known, so an output never gets an infinite or undefined rate.
constexpr double kUnknownFrameRateFallback = 23.976;

// Measures length, frame size and frame rate with a playback graph, reporting the step that
// fails. Returns false on the first failing step.
bool RunMediaProbe(const std::string &path, MediaProbeResult *result);

// The same facts for a conversion, read from the discovery of the file that its render then
// reuses, so the source is opened and decoded once before the render. A file the discovery
// cannot answer for is probed as above, which says what is wrong with it.
bool ProbeForConversion(const std::string &path, MediaProbeResult *result);

// The same facts for a copy, from the demuxer and parsers alone: nothing is decoded, and the
// streams read are kept for the copy. Falls back to the conversion's probe where they do not
// say the size or length.
bool ProbeForCopy(const std::string &path, MediaProbeResult *result, media::SourceStreams *streams);

// The facts without decoding a picture, as a reader of many files wants them; files whose
// parsers leave a fact open, whose container states no length (MPEG program and transport
// streams) or whose picture no installed decoder reads are probed by playing (RunMediaProbe),
// which says what is wrong.
bool ProbeWithoutDecoding(const std::string &path, MediaProbeResult *result);

// Frames per second from the average time per frame, with the fallback above for a time that
// gives no finite, positive rate.
double FrameRateFromTimePerFrame(double secondsPerFrame);
