#include "media/core/Diagnostics.h"

GST_DEBUG_CATEGORY(cw_core_debug);
GST_DEBUG_CATEGORY(cw_probe_debug);
GST_DEBUG_CATEGORY(cw_playback_debug);
GST_DEBUG_CATEGORY(cw_render_debug);
GST_DEBUG_CATEGORY(cw_output_debug);
GST_DEBUG_CATEGORY(cw_encoders_debug);
GST_DEBUG_CATEGORY(cw_copy_debug);

namespace media {

void InitDiagnostics()
{
    GST_DEBUG_CATEGORY_INIT(cw_core_debug, "clipwright-core", 0, "decoders and graph events");
    GST_DEBUG_CATEGORY_INIT(cw_probe_debug, "clipwright-probe", 0, "probing and reading back");
    GST_DEBUG_CATEGORY_INIT(cw_playback_debug, "clipwright-playback", 0, "the preview");
    GST_DEBUG_CATEGORY_INIT(cw_render_debug, "clipwright-render", 0, "timelines and tracks");
    GST_DEBUG_CATEGORY_INIT(cw_output_debug, "clipwright-output", 0, "writers, encoders, stops");
    GST_DEBUG_CATEGORY_INIT(cw_encoders_debug, "clipwright-encoders", 0, "installed encoders");
    GST_DEBUG_CATEGORY_INIT(cw_copy_debug, "clipwright-copy", 0, "section copies");
}

} // namespace media
