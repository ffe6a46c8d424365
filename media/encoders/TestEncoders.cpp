#include "media/encoders/TestEncoders.h"

#include "media/core/GstHandles.h"
#include "media/core/MediaPlatform.h"

namespace media::testing {

namespace {

void ClassInit(gpointer klass, gpointer data)
{
    const auto *encoder = static_cast<const TestEncoder *>(data);
    auto *elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_set_metadata(elementClass, encoder->longName.c_str(), encoder->klass.c_str(),
                                   "Stand-in encoder for tests", "Clipwright");
    // The templates take their own reference to the caps.
    const gst::Caps sink(gst_caps_from_string(encoder->sinkCaps.c_str()));
    const gst::Caps src(gst_caps_from_string(encoder->srcCaps.c_str()));
    gst_element_class_add_pad_template(
        elementClass, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, sink.get()));
    gst_element_class_add_pad_template(
        elementClass, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, src.get()));
}

void InstanceInit(GTypeInstance *instance, gpointer klass)
{
    auto *element = GST_ELEMENT(instance);
    auto *elementClass = GST_ELEMENT_CLASS(klass);
    for (const char *name : {"sink", "src"}) {
        GstPadTemplate *templ = gst_element_class_get_pad_template(elementClass, name);
        gst_element_add_pad(element, gst_pad_new_from_template(templ, name));
    }
}

} // namespace

bool RegisterTestEncoder(const TestEncoder &encoder)
{
    if (!InitializeMediaPlatform(nullptr, MediaServices::Playback))
        return false;
    const std::string typeName = "CwTestEncoder_" + encoder.factoryName;
    GType type = g_type_from_name(typeName.c_str());
    if (!type) {
        // The class keeps reading its description, so it lives as long as the process.
        auto *kept = new TestEncoder(encoder);
        const GTypeInfo info
            = {sizeof(GstElementClass), nullptr, nullptr,      ClassInit, nullptr, kept,
               sizeof(GstElement),      0,       InstanceInit, nullptr};
        type = g_type_register_static(GST_TYPE_ELEMENT, typeName.c_str(), &info,
                                      static_cast<GTypeFlags>(0));
    }
    // Registering the same type again (after RemoveFactory) puts it back.
    return gst_element_register(nullptr, encoder.factoryName.c_str(), encoder.rank, type);
}

bool RemoveFactory(const std::string &factoryName)
{
    if (!InitializeMediaPlatform(nullptr, MediaServices::Playback))
        return false;
    gst::Object<GstPluginFeature> feature(
        gst_registry_lookup_feature(gst_registry_get(), factoryName.c_str()));
    if (!feature)
        return false;
    gst_registry_remove_feature(gst_registry_get(), feature.get());
    return true;
}

} // namespace media::testing
