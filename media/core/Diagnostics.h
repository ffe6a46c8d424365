#pragma once

#include <gst/gst.h>

// One debug category per media room, for a maintainer to switch on when a user reports a
// failure: GST_DEBUG=clipwright*:5. Nothing is written unless it is switched on.
GST_DEBUG_CATEGORY_EXTERN(cw_core_debug);
GST_DEBUG_CATEGORY_EXTERN(cw_probe_debug);
GST_DEBUG_CATEGORY_EXTERN(cw_playback_debug);
GST_DEBUG_CATEGORY_EXTERN(cw_render_debug);
GST_DEBUG_CATEGORY_EXTERN(cw_output_debug);
GST_DEBUG_CATEGORY_EXTERN(cw_encoders_debug);
GST_DEBUG_CATEGORY_EXTERN(cw_copy_debug);

namespace media {

// An element's factory name for the log ("none" without an element, "-" for one made by hand).
inline const char *FactoryNameOf(GstElement *element)
{
    GstElementFactory *factory = element ? gst_element_get_factory(element) : nullptr;
    return factory ? GST_OBJECT_NAME(factory) : element ? "-" : "none";
}

// Registers the categories; GStreamer must be initialised.
void InitDiagnostics();

} // namespace media
