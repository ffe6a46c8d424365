#include "media/core/PropertyValues.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace media::props {

namespace {

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

} // namespace

bool IsEditable(GParamSpec *definition)
{
    if (!(definition->flags & G_PARAM_WRITABLE) || !(definition->flags & G_PARAM_READABLE))
        return false;
    if (definition->flags & G_PARAM_CONSTRUCT_ONLY)
        return false;
    // The object's name and parent belong to the graph, not to the element's settings.
    if (definition->owner_type == GST_TYPE_OBJECT)
        return false;
    const GType t = definition->value_type;
    return t == G_TYPE_BOOLEAN || IsIntegerType(t) || t == G_TYPE_FLOAT || t == G_TYPE_DOUBLE
           || G_IS_PARAM_SPEC_ENUM(definition) || G_IS_PARAM_SPEC_FLAGS(definition)
           || IsTextType(t);
}

// The range an integer setting takes, in 64 bits.
static void IntegerRange(GParamSpec *definition, PropertyInfo *info)
{
    if (G_IS_PARAM_SPEC_INT(definition)) {
        info->minimum = G_PARAM_SPEC_INT(definition)->minimum;
        info->maximum = G_PARAM_SPEC_INT(definition)->maximum;
    } else if (G_IS_PARAM_SPEC_UINT(definition)) {
        info->minimum = G_PARAM_SPEC_UINT(definition)->minimum;
        info->maximum = G_PARAM_SPEC_UINT(definition)->maximum;
    } else if (G_IS_PARAM_SPEC_LONG(definition)) {
        info->minimum = G_PARAM_SPEC_LONG(definition)->minimum;
        info->maximum = G_PARAM_SPEC_LONG(definition)->maximum;
    } else if (G_IS_PARAM_SPEC_ULONG(definition)) {
        info->minimum = Clamp64(G_PARAM_SPEC_ULONG(definition)->minimum);
        info->maximum = Clamp64(G_PARAM_SPEC_ULONG(definition)->maximum);
    } else if (G_IS_PARAM_SPEC_INT64(definition)) {
        info->minimum = G_PARAM_SPEC_INT64(definition)->minimum;
        info->maximum = G_PARAM_SPEC_INT64(definition)->maximum;
    } else if (G_IS_PARAM_SPEC_UINT64(definition)) {
        info->minimum = Clamp64(G_PARAM_SPEC_UINT64(definition)->minimum);
        info->maximum = Clamp64(G_PARAM_SPEC_UINT64(definition)->maximum);
    } else if (G_IS_PARAM_SPEC_CHAR(definition)) {
        info->minimum = G_PARAM_SPEC_CHAR(definition)->minimum;
        info->maximum = G_PARAM_SPEC_CHAR(definition)->maximum;
    } else if (G_IS_PARAM_SPEC_UCHAR(definition)) {
        info->minimum = G_PARAM_SPEC_UCHAR(definition)->minimum;
        info->maximum = G_PARAM_SPEC_UCHAR(definition)->maximum;
    }
}

// The values an enumeration or a set of flags offers.
static void Choices(GParamSpec *definition, PropertyInfo *info)
{
    if (G_IS_PARAM_SPEC_ENUM(definition)) {
        GEnumClass *klass = G_PARAM_SPEC_ENUM(definition)->enum_class;
        for (guint i = 0; i < klass->n_values; ++i) {
            const GEnumValue &v = klass->values[i];
            info->choices.push_back(
                {v.value, v.value_nick ? v.value_nick : "", v.value_name ? v.value_name : ""});
        }
        return;
    }
    GFlagsClass *klass = G_PARAM_SPEC_FLAGS(definition)->flags_class;
    for (guint i = 0; i < klass->n_values; ++i) {
        const GFlagsValue &v = klass->values[i];
        // A zero flag ("none") is the empty combination, not a choice of its own.
        if (v.value == 0)
            continue;
        info->choices.push_back({static_cast<std::int64_t>(v.value),
                                 v.value_nick ? v.value_nick : "",
                                 v.value_name ? v.value_name : ""});
    }
}

PropertyInfo Describe(GParamSpec *definition)
{
    PropertyInfo info;
    info.name = g_param_spec_get_name(definition);
    const char *nick = g_param_spec_get_nick(definition);
    info.nick = nick ? nick : info.name;
    const char *blurb = g_param_spec_get_blurb(definition);
    info.blurb = blurb ? blurb : "";
    const GType t = definition->value_type;
    if (t == G_TYPE_BOOLEAN) {
        info.type = PropertyType::Boolean;
    } else if (IsIntegerType(t)) {
        info.type = PropertyType::Integer;
        IntegerRange(definition, &info);
    } else if (t == G_TYPE_FLOAT || t == G_TYPE_DOUBLE) {
        info.type = PropertyType::Real;
        if (G_IS_PARAM_SPEC_FLOAT(definition)) {
            info.realMinimum = G_PARAM_SPEC_FLOAT(definition)->minimum;
            info.realMaximum = G_PARAM_SPEC_FLOAT(definition)->maximum;
        } else {
            info.realMinimum = G_PARAM_SPEC_DOUBLE(definition)->minimum;
            info.realMaximum = G_PARAM_SPEC_DOUBLE(definition)->maximum;
        }
    } else if (G_IS_PARAM_SPEC_ENUM(definition)) {
        info.type = PropertyType::Enumeration;
        Choices(definition, &info);
    } else if (G_IS_PARAM_SPEC_FLAGS(definition)) {
        info.type = PropertyType::Flags;
        Choices(definition, &info);
    } else {
        info.type = PropertyType::Text;
    }
    return info;
}

GParamSpec *FindEditable(GstElement *element, const std::string &name)
{
    GParamSpec *definition
        = g_object_class_find_property(G_OBJECT_GET_CLASS(element), name.c_str());
    return definition && IsEditable(definition) ? definition : nullptr;
}

std::vector<GParamSpec *> EditableDefinitions(GstElement *element)
{
    std::vector<GParamSpec *> result;
    guint count = 0;
    GParamSpec **definitions = g_object_class_list_properties(G_OBJECT_GET_CLASS(element), &count);
    for (guint i = 0; i < count; ++i) {
        if (IsEditable(definitions[i]))
            result.push_back(definitions[i]);
    }
    g_free(definitions);
    // The element's own settings first, those every encoder shares (from its base class) after.
    const GType own = G_OBJECT_TYPE(element);
    std::stable_partition(result.begin(), result.end(),
                          [own](GParamSpec *definition) { return definition->owner_type == own; });
    return result;
}

// An integer, enumeration or flags value of the definition's type; false when n does not fit
// the type's own width (it would wrap) before any range check.
static bool SetInteger(GParamSpec *definition, std::int64_t n, GValue *value)
{
    const GType t = definition->value_type;
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
    else if (G_IS_PARAM_SPEC_ENUM(definition) && fits(G_MININT, G_MAXINT))
        g_value_set_enum(value, static_cast<gint>(n));
    else if (G_IS_PARAM_SPEC_FLAGS(definition) && fits(0, G_MAXUINT))
        g_value_set_flags(value, static_cast<guint>(n));
    else
        return false;
    return true;
}

// Fills value (of the definition's type) from a property value; false when the kind is wrong or the
// value does not fit.
bool ToGValue(GParamSpec *definition, const PropertyValue &from, GValue *value)
{
    const GType t = definition->value_type;
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
    if (IsIntegerType(t) || G_IS_PARAM_SPEC_ENUM(definition) || G_IS_PARAM_SPEC_FLAGS(definition))
        return std::holds_alternative<std::int64_t>(from)
               && SetInteger(definition, std::get<std::int64_t>(from), value);
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
    return gst_value_deserialize_with_pspec(value, text.c_str(), definition);
}

PropertyValue FromGValue(GParamSpec *definition, const GValue *value)
{
    const GType t = definition->value_type;
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
    if (t == G_TYPE_FLOAT) {
        // The float's own shortest digits (1.4, not 1.39999997616).
        char digits[32];
        std::snprintf(digits, sizeof digits, "%.7g", static_cast<double>(g_value_get_float(value)));
        return std::strtod(digits, nullptr);
    }
    if (t == G_TYPE_DOUBLE)
        return g_value_get_double(value);
    if (G_IS_PARAM_SPEC_ENUM(definition))
        return static_cast<std::int64_t>(g_value_get_enum(value));
    if (G_IS_PARAM_SPEC_FLAGS(definition))
        return static_cast<std::int64_t>(g_value_get_flags(value));
    if (t == G_TYPE_STRING) {
        const char *s = g_value_get_string(value);
        return std::string(s ? s : "");
    }
    if (G_TYPE_IS_BOXED(t) && !g_value_get_boxed(value))
        return std::string();
    // Caps and structures read best unquoted; the parser takes them back either way.
    gst::String text(t == GST_TYPE_CAPS ? gst_caps_to_string(gst_value_get_caps(value))
                     : t == GST_TYPE_STRUCTURE
                         ? gst_structure_to_string(gst_value_get_structure(value))
                         : gst_value_serialize(value));
    return std::string(text ? text.get() : "");
}

} // namespace media::props
