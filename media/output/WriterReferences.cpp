#include "media/output/WriterReferences.h"

#include "media/core/GstHandles.h"

#include <mutex>

namespace media {

namespace {

const char *const kOriginalEvent = "cw-writer-event";

bool IsLibavWriter(GstElement *element)
{
    GstElementFactory *factory = gst_element_get_factory(element);
    return factory && g_str_has_prefix(GST_OBJECT_NAME(factory), "avmux_");
}

// How many references one caps event leaves on a libav writer: tried on an ASF writer of our
// own that no other thread can touch, so its count changes only by the event.
guint KeptPerCapsEvent()
{
    static std::once_flag once;
    static guint kept = 0;
    std::call_once(once, [] {
        GstElement *writer = gst_element_factory_make("avmux_asf", nullptr);
        if (!writer)
            return;
        gst_object_ref_sink(writer);
        GstPad *pad = gst_element_request_pad_simple(writer, "video_%u");
        if (pad && gst_pad_set_active(pad, TRUE)) {
            gst_pad_send_event(pad, gst_event_new_stream_start("writer-references"));
            const guint before = GST_OBJECT_REFCOUNT_VALUE(writer);
            gst::Caps caps(gst_caps_new_simple("video/x-wmv", "wmvversion", G_TYPE_INT, 2, "width",
                                               G_TYPE_INT, 64, "height", G_TYPE_INT, 48,
                                               "framerate", GST_TYPE_FRACTION, 25, 1, nullptr));
            gst_pad_send_event(pad, gst_event_new_caps(caps.get()));
            const guint after = GST_OBJECT_REFCOUNT_VALUE(writer);
            // More than one would be a different fault; then nothing is given back.
            kept = after == before + 1 ? 1 : 0;
            for (guint i = before; i < after; ++i)
                gst_object_unref(writer);
            gst_pad_set_active(pad, FALSE);
        }
        if (pad) {
            gst_element_release_request_pad(writer, pad);
            gst_object_unref(pad);
        }
        gst_object_unref(writer);
    });
    return kept;
}

gboolean OnWriterInputEvent(GstPad *pad, GstObject *parent, GstEvent *event)
{
    auto original
        = reinterpret_cast<GstPadEventFunction>(g_object_get_data(G_OBJECT(pad), kOriginalEvent));
    const bool caps = GST_EVENT_TYPE(event) == GST_EVENT_CAPS;
    const gboolean handled = original(pad, parent, event);
    // The caller holds parent for the call, so the writer lives on after this.
    if (caps && parent)
        gst_object_unref(parent);
    return handled;
}

void OnWriterPadAdded(GstElement *, GstPad *pad, gpointer)
{
    GstPadEventFunction original = GST_PAD_EVENTFUNC(pad);
    if (GST_PAD_IS_SINK(pad) && original) {
        g_object_set_data(G_OBJECT(pad), kOriginalEvent, reinterpret_cast<gpointer>(original));
        gst_pad_set_event_function(pad, OnWriterInputEvent);
    }
}

} // namespace

void MendWriterReferences(GstElement *muxer)
{
    if (muxer && IsLibavWriter(muxer) && KeptPerCapsEvent() == 1)
        g_signal_connect(muxer, "pad-added", G_CALLBACK(OnWriterPadAdded), nullptr);
}

} // namespace media
