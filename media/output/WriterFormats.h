#pragma once

#include "media/core/Filter.h"

#include <string>

// What a writer takes, asked before a graph is built, so a front end can pick an encoder that
// suits the container instead of failing at the link.
namespace media {

// Whether the muxer (a factory name such as "mp4mux") has an input for what the encoder puts
// out; a null encoder stands for uncompressed picture or 16-bit sound. True when the muxer is
// not installed, so the graph itself reports it.
bool WriterTakes(const std::string &muxerFactory, const Filter &encoder, bool video);

// The same question asked of an encoder that is not made yet, from what its factory says it
// writes. An encoder that may write anything (or nothing stated) is not taken; false as well
// when either element is not installed.
bool WriterTakesEncoder(const std::string &muxerFactory, const std::string &encoderFactory);

} // namespace media
