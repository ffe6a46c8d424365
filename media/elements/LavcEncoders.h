#pragma once

#include <gst/gst.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

// Registration of the libavcodec encoder element families into one plugin.
namespace media::lavc {

bool RegisterVideoEncoders(GstPlugin *plugin);
bool RegisterAudioEncoders(GstPlugin *plugin);

// The GObject type of one element family: its base class, sizes and initialisers.
struct ElementType
{
    GType parent;
    guint16 classSize;
    guint16 instanceSize;
    GClassInitFunc classInit;
    GInstanceInitFunc instanceInit;
};

// Registers the element factory for one codec of a family, its type made once per process with
// classData (the family's codec entry) given to classInit. False when libavcodec lacks the
// codec or the registration failed.
bool RegisterCodecElement(GstPlugin *plugin, const ElementType &family, AVCodecID id,
                          const char *typeName, const char *factory, const void *classData);

} // namespace media::lavc
