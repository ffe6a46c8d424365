#include "media/core/DecoderPlugging.h"

namespace media {

namespace {

// Only a template's ANY reaches here as ANY: a pad's own caps are fixed before it is asked
// about. FALSE for it means "no raw output promised", so the decoder is not turned away.
gboolean ContinueUnlessAny(GstElement *, GstPad *, GstCaps *caps, gpointer)
{
    return caps && gst_caps_is_any(caps) ? FALSE : TRUE;
}

} // namespace

void AcceptDecodersOfAnyOutput(GstElement *decodebin)
{
    GstElementFactory *factory = decodebin ? gst_element_get_factory(decodebin) : nullptr;
    if (!factory)
        return;
    const gchar *name = GST_OBJECT_NAME(factory);
    if (g_str_equal(name, "uridecodebin") || g_str_equal(name, "decodebin"))
        g_signal_connect(decodebin, "autoplug-continue", G_CALLBACK(ContinueUnlessAny), nullptr);
}

} // namespace media
