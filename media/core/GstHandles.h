#pragma once

#include <gst/gst.h>

#include <memory>

// Owning handles for GLib and GStreamer objects: every reference the media layer takes is held
// by one of these, so no path forgets an unref or frees twice.
namespace media::gst {

struct ObjectUnref
{
    void operator()(gpointer p) const
    {
        if (p)
            gst_object_unref(p);
    }
};
struct GObjectUnref
{
    void operator()(gpointer p) const
    {
        if (p)
            g_object_unref(p);
    }
};
struct MiniObjectUnref
{
    void operator()(gpointer p) const
    {
        if (p)
            gst_mini_object_unref(GST_MINI_OBJECT_CAST(p));
    }
};
struct ErrorFree
{
    void operator()(GError *e) const
    {
        if (e)
            g_error_free(e);
    }
};
struct StringFree
{
    void operator()(gchar *s) const { g_free(s); }
};

template<typename T>
using Object = std::unique_ptr<T, ObjectUnref>;
template<typename T>
using GObject = std::unique_ptr<T, GObjectUnref>;
template<typename T>
using MiniObject = std::unique_ptr<T, MiniObjectUnref>;

using Element = Object<GstElement>;
using Pad = Object<GstPad>;
using Bus = Object<GstBus>;
using Caps = MiniObject<GstCaps>;
using Message = MiniObject<GstMessage>;
using Sample = MiniObject<GstSample>;
using Query = MiniObject<GstQuery>;
using Error = std::unique_ptr<GError, ErrorFree>;
using String = std::unique_ptr<gchar, StringFree>;

// Takes ownership of a newly made object, whose reference is floating (element factories,
// gst_pipeline_new). Objects returned with a full reference go straight into Object<T>.
template<typename T>
Object<T> Adopt(T *object)
{
    if (object)
        gst_object_ref_sink(object);
    return Object<T>(object);
}

// A second owning reference to an object someone else also holds.
template<typename T>
Object<T> Ref(T *object)
{
    if (object)
        gst_object_ref(object);
    return Object<T>(object);
}

} // namespace media::gst
