#pragma once

#include <gst/gst.h>

#include <initializer_list>

namespace media {

// The always "sink" and "src" pad templates of a filter that takes and gives the same caps.
inline void AddFilterPadTemplates(GstElementClass *klass, const char *caps)
{
    for (const char *name : {"sink", "src"}) {
        GstCaps *parsed = gst_caps_from_string(caps);
        gst_element_class_add_pad_template(
            klass,
            gst_pad_template_new(name, g_str_equal(name, "sink") ? GST_PAD_SINK : GST_PAD_SRC,
                                 GST_PAD_ALWAYS, parsed));
        gst_caps_unref(parsed);
    }
}

} // namespace media
