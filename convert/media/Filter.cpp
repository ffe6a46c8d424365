#include "convert/media/FilterInternal.h"

#include "convert/media/MediaPlatform.h"

#include <algorithm>
#include <limits>

namespace media {

namespace {

struct ValueUnset
{
    void operator()(GValue *v) const
    {
        if (G_IS_VALUE(v))
            g_value_unset(v);
    }
};

// A GValue on the stack that is always unset.
struct Value
{
    GValue value = G_VALUE_INIT;
    Value() = default;
    explicit Value(GType type) { g_value_init(&value, type); }
    ~Value() { ValueUnset()(&value); }
    Value(const Value &) = delete;
    Value &operator=(const Value &) = delete;
    GValue *get() { return &value; }
    const GValue *get() const { return &value; }
};

struct StructureFree
{
    void operator()(GstStructure *s) const
    {
        if (s)
            gst_structure_free(s);
    }
};
using Structure = std::unique_ptr<GstStructure, StructureFree>;

bool IsIntegerType(GType t)
{
    return t == G_TYPE_INT || t == G_TYPE_UINT || t == G_TYPE_LONG || t == G_TYPE_ULONG
           || t == G_TYPE_INT64 || t == G_TYPE_UINT64 || t == G_TYPE_CHAR || t == G_TYPE_UCHAR;
}

// Types with no editor of their own that the framework writes and reads back as text.
bool IsTextType(GType t)
{
    return t == G_TYPE_STRING || t == GST_TYPE_FRACTION || t == GST_TYPE_CAPS
           || t == GST_TYPE_STRUCTURE;
}

std::int64_t Clamp64(guint64 v)
{
    return v > static_cast<guint64>(std::numeric_limits<std::int64_t>::max())
               ? std::numeric_limits<std::int64_t>::max()
               : static_cast<std::int64_t>(v);
}

bool IsEditable(GParamSpec *spec)
{
    if (!(spec->flags & G_PARAM_WRITABLE) || !(spec->flags & G_PARAM_READABLE))
        return false;
    if (spec->flags & G_PARAM_CONSTRUCT_ONLY)
        return false;
    // The object's name and parent belong to the graph, not to the element's settings.
    if (spec->owner_type == GST_TYPE_OBJECT)
        return false;
    const GType t = spec->value_type;
    return t == G_TYPE_BOOLEAN || IsIntegerType(t) || t == G_TYPE_FLOAT || t == G_TYPE_DOUBLE
           || G_IS_PARAM_SPEC_ENUM(spec) || G_IS_PARAM_SPEC_FLAGS(spec) || IsTextType(t);
}

PropertyInfo Describe(GParamSpec *spec)
{
    PropertyInfo info;
    info.name = g_param_spec_get_name(spec);
    const char *nick = g_param_spec_get_nick(spec);
    info.nick = nick ? nick : info.name;
    const char *blurb = g_param_spec_get_blurb(spec);
    info.blurb = blurb ? blurb : "";
    const GType t = spec->value_type;
    if (t == G_TYPE_BOOLEAN) {
        info.type = PropertyType::Boolean;
    } else if (IsIntegerType(t)) {
        info.type = PropertyType::Integer;
        if (G_IS_PARAM_SPEC_INT(spec)) {
            info.minimum = G_PARAM_SPEC_INT(spec)->minimum;
            info.maximum = G_PARAM_SPEC_INT(spec)->maximum;
        } else if (G_IS_PARAM_SPEC_UINT(spec)) {
            info.minimum = G_PARAM_SPEC_UINT(spec)->minimum;
            info.maximum = G_PARAM_SPEC_UINT(spec)->maximum;
        } else if (G_IS_PARAM_SPEC_LONG(spec)) {
            info.minimum = G_PARAM_SPEC_LONG(spec)->minimum;
            info.maximum = G_PARAM_SPEC_LONG(spec)->maximum;
        } else if (G_IS_PARAM_SPEC_ULONG(spec)) {
            info.minimum = Clamp64(G_PARAM_SPEC_ULONG(spec)->minimum);
            info.maximum = Clamp64(G_PARAM_SPEC_ULONG(spec)->maximum);
        } else if (G_IS_PARAM_SPEC_INT64(spec)) {
            info.minimum = G_PARAM_SPEC_INT64(spec)->minimum;
            info.maximum = G_PARAM_SPEC_INT64(spec)->maximum;
        } else if (G_IS_PARAM_SPEC_UINT64(spec)) {
            info.minimum = Clamp64(G_PARAM_SPEC_UINT64(spec)->minimum);
            info.maximum = Clamp64(G_PARAM_SPEC_UINT64(spec)->maximum);
        } else if (G_IS_PARAM_SPEC_CHAR(spec)) {
            info.minimum = G_PARAM_SPEC_CHAR(spec)->minimum;
            info.maximum = G_PARAM_SPEC_CHAR(spec)->maximum;
        } else if (G_IS_PARAM_SPEC_UCHAR(spec)) {
            info.minimum = G_PARAM_SPEC_UCHAR(spec)->minimum;
            info.maximum = G_PARAM_SPEC_UCHAR(spec)->maximum;
        }
    } else if (t == G_TYPE_FLOAT || t == G_TYPE_DOUBLE) {
        info.type = PropertyType::Real;
        if (G_IS_PARAM_SPEC_FLOAT(spec)) {
            info.realMinimum = G_PARAM_SPEC_FLOAT(spec)->minimum;
            info.realMaximum = G_PARAM_SPEC_FLOAT(spec)->maximum;
        } else {
            info.realMinimum = G_PARAM_SPEC_DOUBLE(spec)->minimum;
            info.realMaximum = G_PARAM_SPEC_DOUBLE(spec)->maximum;
        }
    } else if (G_IS_PARAM_SPEC_ENUM(spec)) {
        info.type = PropertyType::Enumeration;
        GEnumClass *klass = G_PARAM_SPEC_ENUM(spec)->enum_class;
        for (guint i = 0; i < klass->n_values; ++i) {
            const GEnumValue &v = klass->values[i];
            info.choices.push_back({v.value, v.value_nick ? v.value_nick : "",
                                    v.value_name ? v.value_name : ""});
        }
    } else if (G_IS_PARAM_SPEC_FLAGS(spec)) {
        info.type = PropertyType::Flags;
        GFlagsClass *klass = G_PARAM_SPEC_FLAGS(spec)->flags_class;
        for (guint i = 0; i < klass->n_values; ++i) {
            const GFlagsValue &v = klass->values[i];
            // A zero flag ("none") is the empty combination, not a choice of its own.
            if (v.value == 0)
                continue;
            info.choices.push_back({static_cast<std::int64_t>(v.value),
                                    v.value_nick ? v.value_nick : "",
                                    v.value_name ? v.value_name : ""});
        }
    } else {
        info.type = PropertyType::Text;
    }
    return info;
}

GParamSpec *FindEditable(GstElement *element, const std::string &name)
{
    GParamSpec *spec = g_object_class_find_property(G_OBJECT_GET_CLASS(element), name.c_str());
    return spec && IsEditable(spec) ? spec : nullptr;
}

std::vector<GParamSpec *> EditableSpecs(GstElement *element)
{
    std::vector<GParamSpec *> result;
    guint count = 0;
    GParamSpec **specs = g_object_class_list_properties(G_OBJECT_GET_CLASS(element), &count);
    for (guint i = 0; i < count; ++i) {
        if (IsEditable(specs[i]))
            result.push_back(specs[i]);
    }
    g_free(specs);
    return result;
}

// Fills value (of the spec's type) from a property value; false when the kind is wrong or the
// value does not fit.
bool ToGValue(GParamSpec *spec, const PropertyValue &from, GValue *value)
{
    const GType t = spec->value_type;
    g_value_init(value, t);
    if (t == G_TYPE_BOOLEAN) {
        if (!std::holds_alternative<bool>(from))
            return false;
        g_value_set_boolean(value, std::get<bool>(from));
        return true;
    }
    if (t == G_TYPE_FLOAT || t == G_TYPE_DOUBLE) {
        double d = 0;
        if (std::holds_alternative<double>(from))
            d = std::get<double>(from);
        else if (std::holds_alternative<std::int64_t>(from))
            d = static_cast<double>(std::get<std::int64_t>(from));
        else
            return false;
        if (t == G_TYPE_FLOAT)
            g_value_set_float(value, static_cast<float>(d));
        else
            g_value_set_double(value, d);
        return true;
    }
    if (IsIntegerType(t) || G_IS_PARAM_SPEC_ENUM(spec) || G_IS_PARAM_SPEC_FLAGS(spec)) {
        if (!std::holds_alternative<std::int64_t>(from))
            return false;
        const std::int64_t n = std::get<std::int64_t>(from);
        // Values outside the type's own width would wrap; refuse them before the range check.
        auto fits = [n](std::int64_t lo, std::int64_t hi) { return n >= lo && n <= hi; };
        if (t == G_TYPE_INT && fits(G_MININT, G_MAXINT))
            g_value_set_int(value, static_cast<gint>(n));
        else if (t == G_TYPE_UINT && fits(0, G_MAXUINT))
            g_value_set_uint(value, static_cast<guint>(n));
        else if (t == G_TYPE_LONG && fits(G_MINLONG, G_MAXLONG))
            g_value_set_long(value, static_cast<glong>(n));
        else if (t == G_TYPE_ULONG && n >= 0)
            g_value_set_ulong(value, static_cast<gulong>(n));
        else if (t == G_TYPE_INT64)
            g_value_set_int64(value, n);
        else if (t == G_TYPE_UINT64 && n >= 0)
            g_value_set_uint64(value, static_cast<guint64>(n));
        else if (t == G_TYPE_CHAR && fits(G_MININT8, G_MAXINT8))
            g_value_set_schar(value, static_cast<gint8>(n));
        else if (t == G_TYPE_UCHAR && fits(0, G_MAXUINT8))
            g_value_set_uchar(value, static_cast<guchar>(n));
        else if (G_IS_PARAM_SPEC_ENUM(spec) && fits(G_MININT, G_MAXINT))
            g_value_set_enum(value, static_cast<gint>(n));
        else if (G_IS_PARAM_SPEC_FLAGS(spec) && fits(0, G_MAXUINT))
            g_value_set_flags(value, static_cast<guint>(n));
        else
            return false;
        return true;
    }
    if (!std::holds_alternative<std::string>(from))
        return false;
    const std::string &text = std::get<std::string>(from);
    if (t == G_TYPE_STRING) {
        g_value_set_string(value, text.c_str());
        return true;
    }
    // Boxed values: an empty text clears them.
    if (text.empty() && G_TYPE_IS_BOXED(t)) {
        g_value_set_boxed(value, nullptr);
        return true;
    }
    return gst_value_deserialize_with_pspec(value, text.c_str(), spec);
}

PropertyValue FromGValue(GParamSpec *spec, const GValue *value)
{
    const GType t = spec->value_type;
    if (t == G_TYPE_BOOLEAN)
        return static_cast<bool>(g_value_get_boolean(value));
    if (t == G_TYPE_INT)
        return static_cast<std::int64_t>(g_value_get_int(value));
    if (t == G_TYPE_UINT)
        return static_cast<std::int64_t>(g_value_get_uint(value));
    if (t == G_TYPE_LONG)
        return static_cast<std::int64_t>(g_value_get_long(value));
    if (t == G_TYPE_ULONG)
        return Clamp64(g_value_get_ulong(value));
    if (t == G_TYPE_INT64)
        return static_cast<std::int64_t>(g_value_get_int64(value));
    if (t == G_TYPE_UINT64)
        return Clamp64(g_value_get_uint64(value));
    if (t == G_TYPE_CHAR)
        return static_cast<std::int64_t>(g_value_get_schar(value));
    if (t == G_TYPE_UCHAR)
        return static_cast<std::int64_t>(g_value_get_uchar(value));
    if (t == G_TYPE_FLOAT)
        return static_cast<double>(g_value_get_float(value));
    if (t == G_TYPE_DOUBLE)
        return g_value_get_double(value);
    if (G_IS_PARAM_SPEC_ENUM(spec))
        return static_cast<std::int64_t>(g_value_get_enum(value));
    if (G_IS_PARAM_SPEC_FLAGS(spec))
        return static_cast<std::int64_t>(g_value_get_flags(value));
    if (t == G_TYPE_STRING) {
        const char *s = g_value_get_string(value);
        return std::string(s ? s : "");
    }
    if (G_TYPE_IS_BOXED(t) && !g_value_get_boxed(value))
        return std::string();
    // Caps and structures read best unquoted; the parser takes them back either way.
    gst::String text(t == GST_TYPE_CAPS        ? gst_caps_to_string(gst_value_get_caps(value))
                     : t == GST_TYPE_STRUCTURE ? gst_structure_to_string(
                                                     gst_value_get_structure(value))
                                               : gst_value_serialize(value));
    return std::string(text ? text.get() : "");
}

} // namespace

Filter::Impl::~Impl()
{
    // A graph of its own is stopped before its last reference goes; an element inside a
    // graph belongs to that graph's state.
    if (element && !GST_OBJECT_PARENT(element.get())
        && GST_STATE(element.get()) != GST_STATE_NULL)
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
    for (GParamSpec *spec : EditableSpecs(m_impl->element.get()))
        result.push_back(Describe(spec));
    return result;
}

bool Filter::HasEditableProperties() const
{
    return m_impl && !EditableSpecs(m_impl->element.get()).empty();
}

HRESULT Filter::GetProperty(const std::string &name, PropertyValue *value) const
{
    if (!m_impl || !value)
        return E_POINTER;
    GParamSpec *spec = FindEditable(m_impl->element.get(), name);
    if (!spec)
        return E_INVALIDARG;
    Value current(spec->value_type);
    g_object_get_property(G_OBJECT(m_impl->element.get()), spec->name, current.get());
    *value = FromGValue(spec, current.get());
    return S_OK;
}

HRESULT Filter::SetProperty(const std::string &name, const PropertyValue &value)
{
    if (!m_impl)
        return E_POINTER;
    GParamSpec *spec = FindEditable(m_impl->element.get(), name);
    if (!spec)
        return E_INVALIDARG;
    Value wanted;
    if (!ToGValue(spec, value, wanted.get()))
        return E_INVALIDARG;
    // Validation changes a value that is out of range; such a value is refused, not clamped.
    if (g_param_value_validate(spec, wanted.get()))
        return E_INVALIDARG;
    g_object_set_property(G_OBJECT(m_impl->element.get()), spec->name, wanted.get());
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
    for (GParamSpec *spec : EditableSpecs(element)) {
        Value current(spec->value_type);
        g_object_get_property(G_OBJECT(element), spec->name, current.get());
        if (g_param_value_defaults(spec, current.get()))
            continue;
        gst::String text(gst_value_serialize(current.get()));
        if (text)
            gst_structure_set(state.get(), spec->name, G_TYPE_STRING, text.get(), nullptr);
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
    for (GParamSpec *spec : EditableSpecs(element)) {
        Value wanted(spec->value_type);
        const gchar *text = gst_structure_get_string(parsed.get(), spec->name);
        if (text) {
            if (!gst_value_deserialize_with_pspec(wanted.get(), text, spec)
                || g_param_value_validate(spec, wanted.get())) {
                result = S_FALSE;
                continue;
            }
        } else {
            Value current(spec->value_type);
            g_object_get_property(G_OBJECT(element), spec->name, current.get());
            if (g_param_value_defaults(spec, current.get()))
                continue;
            g_param_value_set_default(spec, wanted.get());
        }
        g_object_set_property(G_OBJECT(element), spec->name, wanted.get());
    }
    return result;
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
    GstElement *made = gst_parse_launch_full(description.c_str(), nullptr,
                                             GST_PARSE_FLAG_PLACE_IN_BIN, &raw);
    gst::Error error(raw);
    gst::Element element = gst::Adopt(made);
    if (!element || error)
        return VFW_E_CANNOT_RENDER;
    *graph = WrapElement(std::move(element));
    return S_OK;
}

} // namespace media
