#pragma once

#include "media/core/Filter.h"
#include "platform/Status.h"

#include <string>
#include <vector>

// The installed encoders as two device categories, video and audio compressors.
//
// Which encoders count: element factories whose class names Encoder and Video (or Audio);
// image encoders, hardware OpenMAX wrappers and the stock libav WMV/WMA/MS-MPEG-4/MPEG-4
// encoders (replaced by our own cwenc_* elements) are left out.
//
// Order, shared by listing, the default search and binding: rank, highest first, then factory
// name in byte order. A stored device number therefore names the same encoder for as long as
// the set of installed encoders stays the same.
namespace media {

enum class CompressorCategory { Video, Audio };

struct CompressorDevice
{
    std::string factoryName;
    std::string friendlyName; // unique within its category
};

enum class EnumerationResult {
    Ok,
    NoSystemEnumerator, // the media framework could not be started
    NoClassEnumerator,  // its registry of elements could not be read
};

EnumerationResult EnumerateCompressors(CompressorCategory category,
                                       std::vector<CompressorDevice> *devices);

// A readable name for an encoder factory: our own wording for the well-known ones, the
// factory's description for the others.
std::string CompressorFriendlyName(const std::string &factoryName);

// A new, unconfigured instance of the encoder. E_FAIL when the factory cannot make one.
HRESULT CreateCompressor(const std::string &factoryName, Filter *encoder);

// The video compressors that take a 352 x 240 picture which a colour converter made from RGB,
// in the category's order: the ones whose settings a person may edit.
EnumerationResult EnumerateConfigurableVideoCodecs(std::vector<CompressorDevice> *codecs);

} // namespace media
