#pragma once

#include "media/core/Filter.h"
#include "media/core/GstHandles.h"

// How the media layer reaches the element behind a Filter.
namespace media {

struct Filter::Impl
{
    explicit Impl(gst::Element e)
        : element(std::move(e))
    {
    }
    ~Impl();
    gst::Element element;
};

// Wraps an element the caller holds a full reference to.
Filter WrapElement(gst::Element element);
GstElement *ElementOf(const Filter &filter);

} // namespace media
