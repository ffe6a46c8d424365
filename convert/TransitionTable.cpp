#include "convert/TransitionTable.h"

const char *const kSmpteWipeClsid = "{DE75D012-7A65-11D2-8CEA-00A0C9441E20}";

#define SMPTE(name, mask)                                                                          \
    {                                                                                              \
        name, kSmpteWipeClsid, mask                                                                \
    }

const TransitionRow kTransitionTable[kTransitionTableRows] = {
    {"None", nullptr, std::nullopt},
    {"Iris", "{049F2CE6-D996-4721-897A-DB15CE9EB73D}", std::nullopt},
    {"RadialWipe", "{164484A9-35D9-4FB7-9FAB-48273B96AA1D}", std::nullopt},
    {"Fade", "{16B280C5-EE70-11D1-9066-00C04FD9189D}", std::nullopt},
    {"ZigZag", "{23E26328-3928-40F2-95E5-93CAD69016EB}", std::nullopt},
    {"RandomBars", "{2E7700B7-27C4-437F-9FBF-1E8BE2817566}", std::nullopt},
    {"Spiral", "{4A03DCB9-6E17-4A39-8845-4EE7DC5331A5}", std::nullopt},
    {"Pixelate", "{4CCEA634-FBE0-11D1-906A-00C04FD9189D}", std::nullopt},
    {"Wheel", "{5AE1DAE0-1461-11D2-A484-00C04F8EFB69}", std::nullopt},
    {"Strips", "{63A4B1FC-259A-4A5B-8129-A83B8C9E6F4F}", std::nullopt},
    {"Inset", "{76F363F2-7E9F-4ED7-A6A7-EE30351B6628}", std::nullopt},
    {"Blinds", "{9A4A4A51-FB3A-4F4B-9B57-A2912A289769}", std::nullopt},
    {"Wipe", "{AF279B30-86EB-11D1-81BF-0000F87557DB}", std::nullopt},
    {"CheckerBoard", "{B3EE7802-8224-4787-A1EA-F0DE16DEABD3}", std::nullopt},
    {"Slide", "{D1C5A1E7-CC47-4E32-BDD2-4B3C5FC50AF5}", std::nullopt},
    {"Stretch", "{F088DE73-BDD0-4E3C-81F8-6D32F4FE9D28}", std::nullopt},
    {"RandomDissolve", "{F7F4A1B6-8E87-452F-A2D7-3077F508DBC0}", std::nullopt},
    SMPTE("Horizontal", 1),
    SMPTE("Vertical", 2),
    SMPTE("Four corners", 7),
    SMPTE("Barn doors, horizontal", 22),
    SMPTE("Diagonal, NW to SE", 41),
    SMPTE("Triangles, top/bottom", 43),
    SMPTE("Triangles, left/right", 44),
    SMPTE("Diagonal stripe, SW to NE", 45),
    SMPTE("Cross", 47),
    SMPTE("Diamond Box", 48),
    SMPTE("Wedge, top", 61),
    SMPTE("Wedge, left", 64),
    SMPTE("Sawtooth, left", 71),
    SMPTE("Sawtooth, top", 72),
    SMPTE("Sawtooth, vertical", 73),
    SMPTE("Sawtooth, horizontal", 74),
    SMPTE("Box", 101),
    SMPTE("Diamond", 102),
    SMPTE("Hexagon", 113),
    SMPTE("Circle", 119),
    SMPTE("Oval, horizontal", 120),
    SMPTE("Rounded rectangle, horizontal", 124),
    SMPTE("4-point star", 127),
    SMPTE("5-point star", 128),
    SMPTE("Heart", 130),
    SMPTE("Radial, left", 224),
    SMPTE("Radial, top split", 231),
    SMPTE("Radial, top-right corner", 244),
    SMPTE("Center radial, top", 251),
    SMPTE("Matrix, horizontal", 301),
};

#undef SMPTE

TransitionRow TransitionForType(int type)
{
    if (type >= 0 && type < kTransitionTableRows)
        return kTransitionTable[type];
    return {"SMPTE wipe", kSmpteWipeClsid, std::nullopt};
}
