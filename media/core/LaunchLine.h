#pragma once

#include "platform/Status.h"

#include <string>

namespace media {

// A part of the input to run instead of all of it, in 100-ns units.
struct LaunchSection
{
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = -1; // -1: to the end
};

// Runs a pipeline written in gst-launch syntax, with the layer started (so our own elements are
// there), until it ends. With a section, the sources are first sought to it (accurately) while
// everything before the encoders waits, so nothing from outside the section is encoded.
// S_OK at end of stream; E_INVALIDARG when the description does not parse; E_FAIL with the
// reason on an error or when timeoutSeconds pass first. Used by tests and benchmarks.
HRESULT RunLaunchLine(const std::string &description, std::string *error = nullptr,
                      const LaunchSection *section = nullptr, int timeoutSeconds = 600);

} // namespace media
