#include "convert/media/MediaPlatform.h"

#include "convert/media/GstHandles.h"

#include <ges/ges.h>

#include <mutex>

namespace media {

bool InitializeMediaPlatform(std::string *error)
{
    static std::once_flag once;
    static bool started = false;
    static std::string reason;
    std::call_once(once, [] {
        GError *raw = nullptr;
        if (!gst_init_check(nullptr, nullptr, &raw)) {
            gst::Error failure(raw);
            reason = failure ? failure->message : "GStreamer could not be initialised";
            return;
        }
        if (!ges_init()) {
            reason = "GStreamer Editing Services could not be initialised";
            return;
        }
        started = true;
    });
    if (!started && error)
        *error = reason;
    return started;
}

} // namespace media
