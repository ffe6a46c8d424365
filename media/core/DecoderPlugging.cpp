#include "media/core/DecoderPlugging.h"

namespace media {

namespace {

// decodebin's answers to autoplug-select (GstAutoplugSelectResult).
constexpr gint kAutoplugTry = 0;
constexpr gint kAutoplugSkip = 2;

// Only a template's ANY reaches here as ANY: a pad's own caps are fixed before it is asked
// about. FALSE for it means "no raw output promised", so the stream is not turned away.
gboolean ContinueUnlessAny(GstElement *, GstPad *, GstCaps *caps, gpointer)
{
    return caps && gst_caps_is_any(caps) ? FALSE : TRUE;
}

gint SkipAlphaBins(GstElement *, GstPad *, GstCaps *, GstElementFactory *factory, gpointer)
{
    const gchar *name = GST_OBJECT_NAME(factory);
    return name && g_str_has_suffix(name, "alphadecodebin") ? kAutoplugSkip : kAutoplugTry;
}

} // namespace

void DecodeWithoutAlphaBins(GstElement *decodebin)
{
    GstElementFactory *factory = decodebin ? gst_element_get_factory(decodebin) : nullptr;
    if (!factory)
        return;
    const gchar *name = GST_OBJECT_NAME(factory);
    if (!g_str_equal(name, "uridecodebin") && !g_str_equal(name, "decodebin"))
        return;
    g_signal_connect(decodebin, "autoplug-continue", G_CALLBACK(ContinueUnlessAny), nullptr);
    g_signal_connect(decodebin, "autoplug-select", G_CALLBACK(SkipAlphaBins), nullptr);
}

} // namespace media
