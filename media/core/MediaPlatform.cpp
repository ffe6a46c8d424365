#include "media/core/MediaPlatform.h"

#include "media/core/GstHandles.h"
#include "media/elements/EncoderElements.h"

#include <ges/ges.h>

#include <mutex>

namespace media {

namespace {

struct Started
{
    std::once_flag once;
    bool ok = false;
    std::string reason;
};

} // namespace

bool InitializeMediaPlatform(std::string *error, MediaServices services)
{
    static Started core;
    static Started editing;
    std::call_once(core.once, [] {
        GError *raw = nullptr;
        if (!gst_init_check(nullptr, nullptr, &raw)) {
            gst::Error failure(raw);
            core.reason = failure ? failure->message : "GStreamer could not be initialised";
            return;
        }
        core.ok = true;
        // Our own WMV, WMA and MPEG-4 Part 2 encoders; if they fail they are just not installed.
        RegisterEncoderElements();
    });
    if (!core.ok) {
        if (error)
            *error = core.reason;
        return false;
    }
    if (services == MediaServices::Playback)
        return true;
    // The editing services take a good part of start-up; only timelines need them.
    std::call_once(editing.once, [] {
        editing.ok = ges_init();
        if (!editing.ok)
            editing.reason = "GStreamer Editing Services could not be initialised";
    });
    if (!editing.ok && error)
        *error = editing.reason;
    return editing.ok;
}

} // namespace media
