#pragma once

#include "media/core/Filter.h"
#include "media/encoders/CompressorEnumeration.h"
#include "settings/OutputSettings.h"

#include <string>
#include <vector>

class SettingsStore;

// The compressor choices of the options dialog without their widgets: the stored numbers,
// the default by name, and binding them (with a codec's saved settings) to a job's settings.
//
// A stored number is a list position minus 1: -1 no compressor, k >= 0 the k-th device of the
// category, -2 (nothing stored) choose by name.
using media::CompressorCategory;

constexpr int kCompressorByName = -2;
constexpr int kNoCompressor = -1;

// The list entry that keeps the source's stream as it is, stored under this name.
constexpr const char *kCopyFactory = "copy";
const char *CopyCompressorText();

// "DexVideoCompress" / "DexAudioCompress".
const char *CompressorSection(CompressorCategory category);
// Entry 0 of a list: "Full frames (uncompressed)" / "Uncompressed Audio".
const char *NoCompressorText(CompressorCategory category);
// The words the default is found by: "divx" / "microsoft adpcm".
const char *DefaultCompressorWords(CompressorCategory category);

// The devices' friendly names in their order. When the category cannot be enumerated, reports
// which enumerator failed and returns false with an empty list.
bool ListCompressors(CompressorCategory category, std::vector<std::string> *names);

// The first device whose lower-cased name contains text (lower case): its ordinal.
bool FindDefaultCompressor(CompressorCategory category, const std::string &text, int *ordinal);

// A new encoder for the device at ordinal, with codecState applied when it belongs
// to that encoder. A device that cannot be made is reported; an ordinal past the end gives a
// null filter without a report.
media::Filter BindCompressor(CompressorCategory category, int ordinal,
                             const std::string &codecState = {});
// The same for a device named by its factory.
media::Filter BindCompressorFactory(CompressorCategory category, const std::string &factory,
                                    const std::string &codecState = {});

// A container's compressor list: the devices its writer takes, its usual encoders first in
// their order, then the others in the category's order. A format without a writer of its own
// (Windows Media, whose writer brings its encoders) or an unknown code gives the whole category.
// Whether a format's lists offer to copy a source stream (caps as the copy reads them): where
// the container's own writer takes it. Nothing is offered before a video is open.
bool CopyOfferedFor(int format, bool sourceKnown, const std::string &caps);

// The positions of a list shown for a format are the ones stored for it. With offerCopy a
// container of its own lists the copy entry first (entry 1).
std::vector<media::CompressorDevice> ContainerCompressors(CompressorCategory category, int format,
                                                          bool offerCopy = false);

// Where a container's list opens by default: the device found by name when it is one of the
// container's usual encoders, else the first usual one installed, else entry 0 (or the first
// device, for a container that cannot hold what entry 0 means). For the whole category the
// device found by name, else entry 0.
int DefaultCompressorPosition(CompressorCategory category, int format,
                              const std::vector<media::CompressorDevice> &devices);

// The choice stored for a category: false when there is none (choose by name); otherwise the
// factory of the stored encoder, or empty for entry 0 (no compressor). A number stored without a
// name (before lists followed their container) counts in the whole category.
bool StoredCompressor(CompressorCategory category, const SettingsStore &store,
                      std::string *factory);

// Where a container's list opens: entry 0 for a stored -1; the stored encoder (by its stored
// factory name, or for a store without one by its number in the whole category) where the list
// holds it; the default otherwise.
int InitialCompressorPosition(CompressorCategory category, const SettingsStore &store, int format,
                              const std::vector<media::CompressorDevice> &devices);

// Stores position - 1 of a container's list with the device's factory name, and binds it to
// settings (or clears its use flag; the copy entry sets it to kCompressorCopy). A bind that yields
// nothing clears the flag as well and tells the user, so no conversion waits for a missing encoder.
// A position of -1 (no selection) counts as entry 0.
void ConfirmContainerCompressor(CompressorCategory category, int position,
                                const std::vector<media::CompressorDevice> &devices,
                                SettingsStore &store, OutputSettings *settings);

// For a use flag still at kCompressorFromStore (no options confirmed in this run): binds what
// the options dialog would open at for the format and sets the flag to match. A flag of 0 or 1
// is a choice made in this run and stays as it is. A stored copy counts where offerCopy says
// the source's stream can be copied.
void BindStoredCompressor(CompressorCategory category, const SettingsStore &store,
                          OutputSettings *settings, bool offerCopy = false);

// Whether a container's writer compresses an uncompressed stream by itself (Ogg holds none).
bool WriterCompressesItself(int format);

// What a video encoder takes as a frame size: sides up to maxSide, at most maxArea pixels in all
// (0: no such limit), and whether both sides must be even.
struct FrameSizeRule
{
    int maxSide = 0;
    double maxArea = 0;
    bool even = false;
};
constexpr int kMaxFrameSide = 8192;
FrameSizeRule FrameSizeRuleOf(const std::string &factory);
// The video encoder a conversion with these settings uses: the Windows Media writer's own, the
// chosen compressor, the writer's usual one, "copy" for the source's pictures, or "raw" for
// none.
std::string ConversionVideoEncoder(const OutputSettings &settings);

// The codec of descriptions that the chosen compressor name means, or -1: an equal name
// ignoring case (the last such wins); failing that, the first whose description shares
// "divx" and a version number with the chosen name.
int MatchCodec(const std::string &chosenName, const std::vector<std::string> &descriptions);
