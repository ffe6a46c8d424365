#include "media/core/FilterInternal.h"

#include "media/core/MediaPlatform.h"
#include "media/core/PropertyValues.h"

#include <algorithm>

namespace media {

namespace {

using props::Describe;
using props::EditableDefinitions;
using props::FindEditable;
using props::FromGValue;
using props::ToGValue;
using props::Value;

struct StructureFree
{
    void operator()(GstStructure *s) const
    {
        if (s)
            gst_structure_free(s);
    }
};
using Structure = std::unique_ptr<GstStructure, StructureFree>;

} // namespace

Filter::Impl::~Impl()
{
    // A graph of its own is stopped before its last reference goes; an element inside a
    // graph belongs to that graph's state.
    if (element && !GST_OBJECT_PARENT(element.get()) && GST_STATE(element.get()) != GST_STATE_NULL)
        gst_element_set_state(element.get(), GST_STATE_NULL);
}

Filter WrapElement(gst::Element element)
{
    if (!element)
        return Filter();
    return Filter(std::make_shared<Filter::Impl>(std::move(element)));
}

GstElement *ElementOf(const Filter &filter)
{
    return filter ? filter.GetImpl()->element.get() : nullptr;
}

std::string Filter::Name() const
{
    if (!m_impl)
        return {};
    gst::String name(gst_element_get_name(m_impl->element.get()));
    return name ? name.get() : "";
}

std::string Filter::FactoryName() const
{
    if (!m_impl)
        return {};
    GstElementFactory *factory = gst_element_get_factory(m_impl->element.get());
    return factory ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : "";
}

std::vector<PropertyInfo> Filter::EditableProperties() const
{
    std::vector<PropertyInfo> result;
    if (!m_impl)
        return result;
    for (GParamSpec *definition : EditableDefinitions(m_impl->element.get()))
        result.push_back(Describe(definition));
    return result;
}

bool Filter::HasEditableProperties() const
{
    return m_impl && !EditableDefinitions(m_impl->element.get()).empty();
}

HRESULT Filter::GetProperty(const std::string &name, PropertyValue *value) const
{
    if (!m_impl || !value)
        return E_POINTER;
    GParamSpec *definition = FindEditable(m_impl->element.get(), name);
    if (!definition)
        return E_INVALIDARG;
    Value current(definition->value_type);
    g_object_get_property(G_OBJECT(m_impl->element.get()), definition->name, current.get());
    *value = FromGValue(definition, current.get());
    return S_OK;
}

HRESULT Filter::SetProperty(const std::string &name, const PropertyValue &value)
{
    if (!m_impl)
        return E_POINTER;
    GParamSpec *definition = FindEditable(m_impl->element.get(), name);
    if (!definition)
        return E_INVALIDARG;
    Value wanted;
    if (!ToGValue(definition, value, wanted.get()))
        return E_INVALIDARG;
    // Validation changes a value that is out of range; such a value is refused, not clamped.
    if (g_param_value_validate(definition, wanted.get()))
        return E_INVALIDARG;
    g_object_set_property(G_OBJECT(m_impl->element.get()), definition->name, wanted.get());
    return S_OK;
}

std::string Filter::SaveState() const
{
    if (!m_impl)
        return {};
    GstElement *element = m_impl->element.get();
    Structure state(gst_structure_new_empty(FactoryName().c_str()));
    if (!state)
        return {};
    for (GParamSpec *definition : EditableDefinitions(element)) {
        Value current(definition->value_type);
        g_object_get_property(G_OBJECT(element), definition->name, current.get());
        if (g_param_value_defaults(definition, current.get()))
            continue;
        gst::String text(gst_value_serialize(current.get()));
        if (text)
            gst_structure_set(state.get(), definition->name, G_TYPE_STRING, text.get(), nullptr);
    }
    gst::String text(gst_structure_to_string(state.get()));
    return text ? text.get() : "";
}

std::string Filter::StateFactoryName(const std::string &state)
{
    Structure parsed(gst_structure_from_string(state.c_str(), nullptr));
    return parsed ? gst_structure_get_name(parsed.get()) : "";
}

HRESULT Filter::LoadState(const std::string &state)
{
    if (!m_impl)
        return E_POINTER;
    Structure parsed(gst_structure_from_string(state.c_str(), nullptr));
    if (!parsed || FactoryName() != gst_structure_get_name(parsed.get()))
        return E_INVALIDARG;
    GstElement *element = m_impl->element.get();
    HRESULT result = S_OK;
    for (GParamSpec *definition : EditableDefinitions(element)) {
        Value wanted(definition->value_type);
        const gchar *text = gst_structure_get_string(parsed.get(), definition->name);
        if (text) {
            if (!gst_value_deserialize_with_pspec(wanted.get(), text, definition)
                || g_param_value_validate(definition, wanted.get())) {
                result = S_FALSE;
                continue;
            }
        } else {
            Value current(definition->value_type);
            g_object_get_property(G_OBJECT(element), definition->name, current.get());
            if (g_param_value_defaults(definition, current.get()))
                continue;
            g_param_value_set_default(definition, wanted.get());
        }
        g_object_set_property(G_OBJECT(element), definition->name, wanted.get());
    }
    return result;
}

HRESULT Filter::Duplicate(Filter *copy) const
{
    if (!copy)
        return E_POINTER;
    *copy = Filter();
    if (!m_impl)
        return E_POINTER;
    GstElementFactory *factory = gst_element_get_factory(m_impl->element.get());
    if (!factory)
        return E_FAIL;
    Filter made = WrapElement(gst::Adopt(gst_element_factory_create(factory, nullptr)));
    if (!made)
        return E_FAIL;
    if (FAILED(made.LoadState(SaveState())))
        return E_FAIL;
    *copy = std::move(made);
    return S_OK;
}

HRESULT Filter::Children(std::vector<Filter> *children) const
{
    if (!children)
        return E_POINTER;
    children->clear();
    if (!m_impl || !GST_IS_BIN(m_impl->element.get()))
        return E_NOINTERFACE;
    GstIterator *it = gst_bin_iterate_sorted(GST_BIN(m_impl->element.get()));
    if (!it)
        return E_FAIL;
    std::vector<Filter> sorted;
    bool done = false;
    while (!done) {
        GValue item = G_VALUE_INIT;
        switch (gst_iterator_next(it, &item)) {
        case GST_ITERATOR_OK:
            sorted.push_back(WrapElement(gst::Ref(GST_ELEMENT(g_value_get_object(&item)))));
            g_value_unset(&item);
            break;
        case GST_ITERATOR_RESYNC:
            sorted.clear();
            gst_iterator_resync(it);
            break;
        case GST_ITERATOR_ERROR:
            gst_iterator_free(it);
            return E_FAIL;
        case GST_ITERATOR_DONE:
            done = true;
            break;
        }
    }
    gst_iterator_free(it);
    // The bin sorts sinks first; a person reads a graph the way its data flows.
    std::reverse(sorted.begin(), sorted.end());
    *children = std::move(sorted);
    return S_OK;
}

HRESULT CreateGraphFromDescription(const std::string &description, Filter *graph)
{
    if (!graph)
        return E_POINTER;
    *graph = Filter();
    if (!InitializeMediaPlatform(nullptr, MediaServices::Playback))
        return E_FAIL;
    GError *raw = nullptr;
    GstElement *made
        = gst_parse_launch_full(description.c_str(), nullptr, GST_PARSE_FLAG_PLACE_IN_BIN, &raw);
    gst::Error error(raw);
    gst::Element element = gst::Adopt(made);
    if (!element || error)
        return VFW_E_CANNOT_RENDER;
    *graph = WrapElement(std::move(element));
    return S_OK;
}

} // namespace media
