#pragma once

#include "media/core/Filter.h"
#include "media/encoders/CompressorEnumeration.h"

#include <string>
#include <vector>

class SettingsStore;

// The compressor choices of the options dialog without their widgets: the stored numbers,
// the default by name, binding, the two bound compressors and the saved codec state.
//
// A stored number is a list position minus 1: -1 no compressor, k >= 0 the k-th device of the
// category, -2 (nothing stored) choose by name.
using media::CompressorCategory;

constexpr int kCompressorByName = -2;
constexpr int kNoCompressor = -1;

// "DexVideoCompress" / "DexAudioCompress".
const char *CompressorSection(CompressorCategory category);
// Entry 0 of a list: "Full frames (uncompressed)" / "Uncompressed Audio".
const char *NoCompressorText(CompressorCategory category);
// The words the default is found by: "divx" / "microsoft adpcm".
const char *DefaultCompressorWords(CompressorCategory category);

// The devices' friendly names in their order. When the category cannot be enumerated, shows
// "Failed to create system enumerator" or "Failed to create class enumerator" and returns false
// with an empty list.
bool ListCompressors(CompressorCategory category, std::vector<std::string> *names);

// The first device whose lower-cased name contains text (lower case): its ordinal.
bool FindDefaultCompressor(CompressorCategory category, const std::string &text, int *ordinal);

// The list position to open at for a category of deviceCount devices. A stored number that
// names no device (the encoder was removed since) is taken as "nothing stored", so the list
// never opens without a selection.
int InitialCompressorPosition(CompressorCategory category, const SettingsStore &store,
                              int deviceCount);

// A new encoder for the device at ordinal, with the saved codec state applied when it belongs
// to that encoder. A device that cannot be made shows "Failed to bind to object"; an ordinal
// past the end gives a null filter without a message.
media::Filter BindCompressor(CompressorCategory category, int ordinal);

// Stores position - 1 and binds the device or clears the use flag. A bind that yields nothing
// clears the flag as well and tells the user, so no conversion waits for a missing encoder.
// A position of -1 (no selection) counts as entry 0.
void ConfirmCompressor(CompressorCategory category, int position, SettingsStore &store,
                       int *useFlag);

// The bound compressors (null until one is confirmed). The output graph takes them from here.
media::Filter BoundCompressor(CompressorCategory category);
void SetBoundCompressor(CompressorCategory category, media::Filter filter);
// Releases both, at the main window's close.
void ReleaseBoundCompressors();

// The last saved codec configuration (a serialised property set naming its encoder); empty
// until one is saved. It lives until the program ends.
const std::string &SavedCodecState();
void SetSavedCodecState(const std::string &state);

// The codec of descriptions that the chosen compressor name means, or -1: an equal name
// ignoring case (the last such wins); failing that, the first whose description shares
// "divx" and a version number with the chosen name.
int MatchCodec(const std::string &chosenName, const std::vector<std::string> &descriptions);
