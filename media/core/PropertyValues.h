#pragma once

#include "media/core/Filter.h"
#include "media/core/GstHandles.h"

#include <string>
#include <vector>

// Between GObject properties and the layer's property descriptions and values.
namespace media::props {

// A GValue on the stack that is always unset.
struct Value
{
    GValue value = G_VALUE_INIT;
    Value() = default;
    explicit Value(GType type) { g_value_init(&value, type); }
    ~Value()
    {
        if (G_IS_VALUE(&value))
            g_value_unset(&value);
    }
    Value(const Value &) = delete;
    Value &operator=(const Value &) = delete;
    GValue *get() { return &value; }
    const GValue *get() const { return &value; }
};

// Writable, readable, settable after construction, not the object's name or parent, and of a
// type with an editor.
bool IsEditable(GParamSpec *definition);
PropertyInfo Describe(GParamSpec *definition);
GParamSpec *FindEditable(GstElement *element, const std::string &name);
// The editable properties, the element's own before those of its base classes.
std::vector<GParamSpec *> EditableDefinitions(GstElement *element);
// Fills value (of the definition's type) from a property value; false when the kind is wrong or the
// value does not fit the type.
bool ToGValue(GParamSpec *definition, const PropertyValue &from, GValue *value);
PropertyValue FromGValue(GParamSpec *definition, const GValue *value);

} // namespace media::props
