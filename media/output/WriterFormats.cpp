#include "media/output/WriterFormats.h"

#include "media/core/FilterInternal.h"
#include "media/core/GstHandles.h"

namespace media {

namespace {

// Whether one of the muxer's inputs can take caps.
bool MuxerInputTakes(GstElementFactory *muxer, GstCaps *caps)
{
    for (const GList *l = gst_element_factory_get_static_pad_templates(muxer); l; l = l->next) {
        auto *templ = static_cast<GstStaticPadTemplate *>(l->data);
        if (templ->direction != GST_PAD_SINK)
            continue;
        gst::Caps accepted(gst_static_pad_template_get_caps(templ));
        if (gst_caps_can_intersect(accepted.get(), caps))
            return true;
    }
    return false;
}

} // namespace

bool WriterTakes(const std::string &muxerFactory, const Filter &encoder, bool video)
{
    gst::Object<GstElementFactory> factory(gst_element_factory_find(muxerFactory.c_str()));
    if (!factory)
        return true;
    gst::Caps output;
    if (GstElement *element = ElementOf(encoder)) {
        gst::Pad src(gst_element_get_static_pad(element, "src"));
        if (!src)
            return true;
        output = gst::Caps(gst_pad_query_caps(src.get(), nullptr));
    } else {
        output = gst::Caps(video ? gst_caps_from_string("video/x-raw")
                                 : gst_caps_from_string("audio/x-raw, format=S16LE"));
    }
    return MuxerInputTakes(factory.get(), output.get());
}

bool WriterTakesEncoder(const std::string &muxerFactory, const std::string &encoderFactory)
{
    gst::Object<GstElementFactory> muxer(gst_element_factory_find(muxerFactory.c_str()));
    gst::Object<GstElementFactory> encoder(gst_element_factory_find(encoderFactory.c_str()));
    if (!muxer || !encoder)
        return false;
    for (const GList *e = gst_element_factory_get_static_pad_templates(encoder.get()); e;
         e = e->next) {
        auto *out = static_cast<GstStaticPadTemplate *>(e->data);
        if (out->direction != GST_PAD_SRC)
            continue;
        gst::Caps written(gst_static_pad_template_get_caps(out));
        if (written && !gst_caps_is_any(written.get()) && !gst_caps_is_empty(written.get())
            && MuxerInputTakes(muxer.get(), written.get()))
            return true;
    }
    return false;
}

} // namespace media
