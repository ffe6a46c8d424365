#pragma once

#include "platform/Status.h"

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

// A processing element of a graph (an encoder, a muxer, a whole pipeline) seen through its
// settable properties. Copies share one reference to the same element.
namespace media {

enum class PropertyType {
    Boolean,
    Integer,     // whole numbers, any width; range in minimum/maximum
    Real,        // floating point; range in realMinimum/realMaximum
    Enumeration, // one of choices
    Flags,       // any combination of choices (bit values)
    Text,        // strings, and any value the framework can write as text (fractions, caps)
};

struct PropertyChoice
{
    std::int64_t value = 0;
    std::string nick;        // short machine name, as written in a saved state
    std::string description; // what a person reads
};

struct PropertyInfo
{
    std::string name;
    std::string nick;
    std::string blurb;
    PropertyType type = PropertyType::Text;
    std::int64_t minimum = 0;
    std::int64_t maximum = 0;
    double realMinimum = 0;
    double realMaximum = 0;
    std::vector<PropertyChoice> choices;
};

// Boolean: bool; Integer, Enumeration, Flags: std::int64_t; Real: double; Text: std::string.
using PropertyValue = std::variant<bool, std::int64_t, double, std::string>;

class Filter
{
public:
    Filter() = default;

    explicit operator bool() const { return m_impl != nullptr; }
    bool IsSameElement(const Filter &other) const { return m_impl == other.m_impl; }

    // The element's own name (unique among the elements of its graph).
    std::string Name() const;
    // The name of the factory that made it ("x264enc"); empty for a null filter.
    std::string FactoryName() const;

    // Properties a person may change now: writable, readable, not fixed at construction, of a
    // type with an editor. In the element's declaration order.
    std::vector<PropertyInfo> EditableProperties() const;
    bool HasEditableProperties() const;

    // E_INVALIDARG for an unknown or uneditable property or a value of the wrong kind or out
    // of range; E_FAIL when the element refuses it.
    HRESULT GetProperty(const std::string &name, PropertyValue *value) const;
    HRESULT SetProperty(const std::string &name, const PropertyValue &value);

    // The serialised set of editable properties that differ from their defaults, headed by
    // the factory name. Loading resets the others to their defaults, so an element that had
    // a state takes exactly the new one. E_INVALIDARG for a state of another factory or text
    // that is not a state; values the element refuses are skipped (S_FALSE).
    std::string SaveState() const;
    HRESULT LoadState(const std::string &state);
    // The factory a saved state belongs to; empty when the text is not a state.
    static std::string StateFactoryName(const std::string &state);

    // A new element of the same factory with the same settings. An element sits in one graph
    // at a time; a graph that wants the bound encoder while another holds it takes a copy.
    HRESULT Duplicate(Filter *copy) const;

    // The elements directly inside a bin, from sources to sinks (the direction data flows);
    // E_NOINTERFACE when this element holds no others.
    HRESULT Children(std::vector<Filter> *children) const;

    struct Impl;
    explicit Filter(std::shared_ptr<Impl> impl)
        : m_impl(std::move(impl))
    {
    }
    const std::shared_ptr<Impl> &GetImpl() const { return m_impl; }

private:
    std::shared_ptr<Impl> m_impl;
};

// A graph built from a launch description ("videotestsrc ! x264enc ! fakesink"), left in the
// NULL state. VFW_E_CANNOT_RENDER when the description does not build.
HRESULT CreateGraphFromDescription(const std::string &description, Filter *graph);

} // namespace media
