#include "media/render/TransitionEffects.h"

#include "media/render/Timeline.h"

#include <algorithm>
#include <iterator>

namespace media {

namespace {

constexpr int kBarWipeLR = 1;
constexpr int kBarWipeTB = 2;
constexpr int kBoxWipeTL = 3;
constexpr int kFourBoxWipeCI = 7;
constexpr int kBarnDoorV = 21;
constexpr int kBarnDoorH = 22;
constexpr int kDiagonalTL = 41;
constexpr int kDiamond = 48; // the four-edge diamond
constexpr int kIrisRect = 101;
constexpr int kClockCW12 = 201;
constexpr int kPinwheelFB = 207;
constexpr int kCrossfade = 512;

constexpr TransitionEffect kTransforms[] = {
    {"{049F2CE6-D996-4721-897A-DB15CE9EB73D}", kIrisRect},      // iris
    {"{164484A9-35D9-4FB7-9FAB-48273B96AA1D}", kClockCW12},     // radial wipe
    {"{16B280C5-EE70-11D1-9066-00C04FD9189D}", kCrossfade},     // fade
    {"{23E26328-3928-40F2-95E5-93CAD69016EB}", kBarWipeLR},     // zigzag
    {"{2E7700B7-27C4-437F-9FBF-1E8BE2817566}", kBarWipeTB},     // random bars
    {"{4A03DCB9-6E17-4A39-8845-4EE7DC5331A5}", kIrisRect},      // spiral
    {"{4CCEA634-FBE0-11D1-906A-00C04FD9189D}", kCrossfade},     // pixelate
    {"{5AE1DAE0-1461-11D2-A484-00C04F8EFB69}", kPinwheelFB},    // wheel
    {"{63A4B1FC-259A-4A5B-8129-A83B8C9E6F4F}", kDiagonalTL},    // strips
    {"{76F363F2-7E9F-4ED7-A6A7-EE30351B6628}", kBoxWipeTL},     // inset
    {"{9A4A4A51-FB3A-4F4B-9B57-A2912A289769}", kBarWipeTB},     // blinds
    {"{AF279B30-86EB-11D1-81BF-0000F87557DB}", kBarWipeLR},     // wipe
    {"{B3EE7802-8224-4787-A1EA-F0DE16DEABD3}", kFourBoxWipeCI}, // checkerboard
    {"{D1C5A1E7-CC47-4E32-BDD2-4B3C5FC50AF5}", kBarWipeLR},     // slide
    {"{F088DE73-BDD0-4E3C-81F8-6D32F4FE9D28}", kBarnDoorV},     // stretch
    {"{F7F4A1B6-8E87-452F-A2D7-3077F508DBC0}", kCrossfade},     // random dissolve
};

// SMPTE patterns the platform renders under their own number.
constexpr int kNativeMasks[]
    = {1,   2,   3,   4,   5,   6,   7,   8,   21,  22,  23,  24,  25,  26,  41,  42,  43,  44,
       45,  46,  47,  48,  61,  62,  63,  64,  65,  66,  67,  68,  101, 201, 202, 203, 204, 205,
       206, 207, 211, 212, 213, 214, 221, 222, 223, 224, 225, 226, 227, 228, 231, 232, 233, 234,
       235, 236, 241, 242, 243, 244, 245, 246, 251, 252, 253, 254, 261, 262, 263, 264};

// Patterns it lacks, by their nearest shape.
constexpr std::pair<int, int> kNearestMasks[] = {
    {71, kBarWipeLR},  // sawtooth, left
    {72, kBarWipeTB},  // sawtooth, top
    {73, kBarnDoorV},  // sawtooth, vertical
    {74, kBarnDoorH},  // sawtooth, horizontal
    {102, kDiamond},   // diamond
    {113, kIrisRect},  // hexagon
    {119, kIrisRect},  // circle
    {120, kIrisRect},  // oval
    {124, kIrisRect},  // rounded rectangle
    {127, kDiamond},   // 4-point star
    {128, kIrisRect},  // 5-point star
    {130, kIrisRect},  // heart
    {301, kBarWipeLR}, // matrix
};

} // namespace

const GUID CLSID_SMPTEWipe = [] {
    GUID g;
    GuidFromString("{DE75D012-7A65-11D2-8CEA-00A0C9441E20}", &g);
    return g;
}();

const TransitionEffect *TransformEffects(std::size_t *count)
{
    *count = std::size(kTransforms);
    return kTransforms;
}

std::optional<int> StandardTransitionType(const GUID &effect, std::optional<int> maskNum)
{
    if (effect == CLSID_SMPTEWipe) {
        if (!maskNum)
            return kBarWipeLR;
        if (std::find(std::begin(kNativeMasks), std::end(kNativeMasks), *maskNum)
            != std::end(kNativeMasks))
            return *maskNum;
        for (const auto &[mask, nearest] : kNearestMasks) {
            if (mask == *maskNum)
                return nearest;
        }
        return kBarWipeLR;
    }
    for (const TransitionEffect &t : kTransforms) {
        GUID g;
        if (GuidFromString(t.clsid, &g) && g == effect)
            return t.standardType;
    }
    return std::nullopt;
}

bool KnownEffect(const GUID &effect)
{
    return StandardTransitionType(effect, std::nullopt).has_value();
}

} // namespace media
