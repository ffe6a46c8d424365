#include "media/core/MediaPlatform.h"

#include "media/core/Diagnostics.h"
#include "media/core/GstHandles.h"
#include "media/core/LibraryMessages.h"
#include "media/elements/EncoderElements.h"

#include <ges/ges.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace media {

namespace {

struct Started
{
    std::once_flag once;
    bool ok = false;
    std::string reason;
};

// GES picks the highest-ranked compositor, but to find it loads every element whose class
// names one, the OpenGL mixer with libGL, EGL and Wayland among them (2 MB of every
// conversion). The lower-ranked ones can never be picked, so they leave the registry of this
// process; nothing else here makes them.
void KeepOnlyTheBestCompositor()
{
    GstRegistry *registry = gst_registry_get();
    GList *features = gst_registry_feature_filter(
        registry,
        [](GstPluginFeature *feature, gpointer) -> gboolean {
            if (!GST_IS_ELEMENT_FACTORY(feature))
                return FALSE;
            const gchar *klass = gst_element_factory_get_metadata(GST_ELEMENT_FACTORY(feature),
                                                                  GST_ELEMENT_METADATA_KLASS);
            return klass && std::strstr(klass, "Compositor");
        },
        FALSE, nullptr);
    guint best = 0;
    for (GList *l = features; l; l = l->next)
        best = std::max(best, gst_plugin_feature_get_rank(GST_PLUGIN_FEATURE(l->data)));
    for (GList *l = features; l; l = l->next) {
        auto *feature = GST_PLUGIN_FEATURE(l->data);
        if (best > GST_RANK_NONE && gst_plugin_feature_get_rank(feature) < best)
            gst_registry_remove_feature(registry, feature);
    }
    gst_plugin_feature_list_free(features);
}

// gst-libav brings libavformat and libavfilter with a hundred libraries behind them, all bound
// at once (Debian links them so): some 50 ms of processor time before the first picture is
// decoded, which GStreamer spends when a decoder is first plugged, on the streaming thread.
// Opened on a thread of its own as soon as GStreamer has started, the binding overlaps the rest
// of the start (the editing services, the settings, the source's discovery); GStreamer's own
// opening of the plug-in later finds it in place. A plug-in that is not installed is left alone.
void OpenLibavAhead()
{
    gst::Object<GstPlugin> plugin(gst_registry_find_plugin(gst_registry_get(), "libav"));
    const gchar *file = plugin ? gst_plugin_get_filename(plugin.get()) : nullptr;
    if (!file || gst_plugin_is_loaded(plugin.get()))
        return;
    // Kept open: GStreamer never unloads a plug-in either.
    std::thread([path = std::string(file)] {
        dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }).detach();
}

// GES makes an element of each time effect it knows at its start to read its rate property,
// loading the sound effect plug-ins (audiofx with forty elements, SoundTouch) that no job here
// uses. They are out of the registry while GES starts and back after it, for anyone who asks.
std::vector<GstPluginFeature *> HideTimeEffects()
{
    std::vector<GstPluginFeature *> hidden;
    GstRegistry *registry = gst_registry_get();
    for (const char *name : {"scaletempo", "pitch"}) {
        GstPluginFeature *feature = gst_registry_lookup_feature(registry, name);
        if (!feature)
            continue;
        gst_registry_remove_feature(registry, feature); // the registry's reference goes
        hidden.push_back(feature);                      // ours stays
    }
    return hidden;
}

void RestoreTimeEffects(const std::vector<GstPluginFeature *> &hidden)
{
    for (GstPluginFeature *feature : hidden) {
        gst_registry_add_feature(gst_registry_get(), feature);
        gst_object_unref(feature);
    }
}

// GES's Python, kept running after its search for the timeline format found nothing (its first
// import fails without `site`, so no class of it was registered): 2 MB of heap that nothing here
// uses. Called on the thread that started it.
void StopEmbeddedPython()
{
    auto hold = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "PyGILState_Ensure"));
    auto finish = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "Py_FinalizeEx"));
    if (!hold || !finish)
        return;
    hold(); // GES let go of the interpreter's lock; finishing needs it
    finish();
}

} // namespace

bool InitializeMediaPlatform(std::string *error, MediaServices services)
{
    static Started core;
    static Started editing;
    std::call_once(core.once, [] {
#ifdef __GLIBC__
        // A pipeline runs a score of threads, and glibc gives each its own heap up to eight per
        // core; the pictures freed in one stay there, which cost a conversion a fifth of its
        // memory. Two heaps shared by all cost no measurable time.
        mallopt(M_ARENA_MAX, 2);
#endif
        GError *raw = nullptr;
        if (!gst_init_check(nullptr, nullptr, &raw)) {
            gst::Error failure(raw);
            core.reason = failure ? failure->message : "GStreamer could not be initialised";
            return;
        }
        core.ok = true;
        InitDiagnostics();
        ApplyLibraryMessageRoute();
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
        // GES starts an embedded Python at init only to look for an optional timeline format we
        // never read or write. Without `site` that search stops at its first import instead of
        // loading GObject's and GStreamer's bindings: 8 MB and 80 ms of every conversion.
        auto *noSite = static_cast<int *>(dlsym(RTLD_DEFAULT, "Py_NoSiteFlag"));
        auto running = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "Py_IsInitialized"));
        // Only an interpreter GES starts here, without `site`, is stopped again.
        const bool keepPython = !noSite || !running || running();
        if (noSite)
            *noSite = 1;
        KeepOnlyTheBestCompositor();
        const std::vector<GstPluginFeature *> timeEffects = HideTimeEffects();
        editing.ok = ges_init();
        RestoreTimeEffects(timeEffects);
        if (!keepPython && running())
            StopEmbeddedPython();
        if (!editing.ok)
            editing.reason = "GStreamer Editing Services could not be initialised";
    });
    if (!editing.ok && error)
        *error = editing.reason;
    return editing.ok;
}

void PrepareDecoders()
{
    static std::once_flag once;
    if (InitializeMediaPlatform(nullptr, MediaServices::Playback))
        std::call_once(once, OpenLibavAhead);
}

void ReleaseFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace media
