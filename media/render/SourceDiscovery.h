#pragma once

#include <cstdint>
#include <string>

// A source's facts read from the editing services' discovery of it, which they keep for the
// render that follows: a conversion opens and decodes its source once before rendering.
namespace media {

struct DiscoveredSource
{
    std::int64_t lengthNs = 0;
    int width = 0, height = 0;    // the picture as decoded
    int rateNum = 0, rateDen = 1; // as the decoded stream declares it; 0 when it declares none
    std::string unreadable;       // why the file could not be read, when it stopped being readable
};

// False when the file cannot be discovered, holds no picture, lasts no known time, or is an
// MPEG program or transport stream (whose length only a measurement of the stamps gives): the
// caller's own probe then measures it and says what is wrong, unless the file could not be read
// any more (unreadable says so then).
bool DiscoverSource(const std::string &path, DiscoveredSource *facts);

} // namespace media
