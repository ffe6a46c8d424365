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

} // namespace media
