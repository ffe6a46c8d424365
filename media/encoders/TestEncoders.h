#pragma once

#include <string>

// For tests only: registers a stand-in encoder factory in this process, so the compressor
// categories can be checked with devices of chosen names whatever is installed. The element
// has a sink pad of the given raw caps, a source pad of the given coded caps and no
// properties of its own. Returns false when the name is taken by another element.
namespace media::testing {

struct TestEncoder
{
    std::string factoryName;
    std::string klass;    // "Codec/Encoder/Video"
    std::string longName; // becomes the friendly name
    std::string sinkCaps = "video/x-raw";
    std::string srcCaps = "video/x-test-coded";
    unsigned rank = 0;
};

bool RegisterTestEncoder(const TestEncoder &encoder);

// Takes an installed factory out of this process's registry, as if it were not installed.
// Returns false when there is none of that name.
bool RemoveFactory(const std::string &factoryName);

} // namespace media::testing
