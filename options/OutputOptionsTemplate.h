#pragma once

#include <QRect>
#include <QSize>

#include <array>
#include <map>

class QWidget;

// Template 129, the output options dialog: its control numbers, rectangles and built-in lists.
namespace outputoptions {

enum ControlId {
    IDC_COMBO_VIDEO_COMPRESSOR = 1001,
    IDC_COMBO_AUDIO_COMPRESSOR = 1002,
    IDC_EDIT_OUTPUT_FILE = 1022,
    IDC_STATIC_OUTPUT_FILE = 1023,
    IDC_BUTTON_BROWSE = 1024,
    IDC_COMBO_RESOLUTION = 1025,
    IDC_STATIC_RESOLUTION = 1026,
    IDC_EDIT_WIDTH = 1027,
    IDC_EDIT_HEIGHT = 1028,
    IDC_BUTTON_OUTPUT_DEAULT = 1051,
    IDC_COMBO_CODEC_LIST = 1052,
    IDC_BUTTON_VIDEO_CODEC_SETTINGS = 1053,
    IDC_COMBO_FRAME_RATE = 1068,
    IDC_EDIT_FRAME_RATE = 1069,
    IDC_COMBO_RESIZE_MODE = 1070,
    IDC_STATIC_OPTIONS_NOTE = 1077,
    IDC_STATIC_FRAME_RATE = 1078,
    IDC_STATIC_RESIZE_MODE = 1079,
    IDC_STATIC_VIDEO_COMPRESSOR = 1080,
    IDC_STATIC_AUDIO_COMPRESSOR = 1081,
    IDC_BUTTON_OPTIONS_OK = 1082,
    IDC_BUTTON_OPTIONS_CANCEL = 1083,
    IDC_STATIC_VIDEO_COMPRESSOR_BITRATE = 1087,
    IDC_STATIC_AUDIO_COMPRESSOR_BITRATE = 1088,
    IDC_EDIT_VIDEO_BITRATE = 1089,
    IDC_COMBO_AUDIO_BITRATE = 1090,
    IDC_STATIC_VIDEO_KBPS = 1091,
    IDC_STATIC_AUDIO_KBPS = 1092,
    IDC_COMBO_OUTPUT_FORMAT = 1094,
    IDC_STATIC_OUTPUT_FORMAT = 1097,
};

constexpr int kDialogNumber = 129;
// Client size of the template in dialog units.
constexpr QSize kTemplateSize(321, 183);

// The template's rectangle of a control in dialog units; empty for an unknown number.
QRect TemplateRect(int id);

// Creates every control of the template as a direct child of dialog, in the template's order
// (which is also the keyboard order), each carrying its number as "controlId", with the
// built-in texts and list items, placed with the given dialog base units.
std::map<int, QWidget *> CreateTemplateControls(QWidget *dialog, const QSize &baseUnits);

// Names every control for screen readers from the texts shown now: a label or button by its own
// text, an edit or list by the label of its row (width and height by their side). The
// description is the tooltip, else the name. Each row's label is its list's or edit's buddy.
void NameTemplateControls(const std::map<int, QWidget *> &controls);

struct FrameSize
{
    int width;
    int height;
};

// Sizes of resolution positions 1 to 7 (index 0 is position 1).
constexpr std::array<FrameSize, 7> kResolutionSizes = {{
    {640, 480},
    {720, 576},
    {720, 480},
    {480, 576},
    {480, 480},
    {352, 288},
    {352, 240},
}};
constexpr int kResolutionOriginal = 0;
constexpr int kResolutionCustom = 8;

// Audio bitrate positions 0 to 3 in bits per second.
constexpr std::array<unsigned int, 4> kAudioBitrates = {64000, 128000, 192000, 320000};

} // namespace outputoptions
