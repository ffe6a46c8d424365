#pragma once

#include <optional>

// The transitions a media-list item can have, indexed by its transition type: row 0 is none,
// rows 1 to 16 are transform effects, rows 17 to 46 the SMPTE wipe with a mask number.
struct TransitionRow
{
    const char *name;
    const char *clsid;          // effect id; nullptr for row 0
    std::optional<int> maskNum; // "MaskNum" of the SMPTE wipe rows
};

constexpr int kTransitionTableRows = 47;
extern const TransitionRow kTransitionTable[kTransitionTableRows];
// The SMPTE wipe's id, also used for types outside the table (with no mask number).
extern const char *const kSmpteWipeClsid;

// The row for a transition type; types outside 0 to 46 give the SMPTE wipe without a mask.
TransitionRow TransitionForType(int type);
