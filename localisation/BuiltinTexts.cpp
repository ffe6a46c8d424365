#include "localisation/BuiltinTexts.h"

namespace {

constexpr SymbolicKey kKeys[] = {
    {"IDM_ABOUT", CatalogueList::Menu, 32778, "About"},
    {"IDM_SELECT_LANGUAGE", CatalogueList::Menu, 10485760, "Language"},
    {"IDM_POPUPMENU_FONT", CatalogueList::Menu, 32780, "Font"},
    {"IDC_BUTTON_ABOUT", CatalogueList::Dialog, 100, "About"},
    {"IDD_PROGRAM_CAPTION", CatalogueList::Dialog, 1085, "Clipwright"},
    {"IDD_DIALOG_OUTPUT_OPTIONS", CatalogueList::Dialog, 129, "Output options"},
    {"IDC_BUTTON_BROWSE", CatalogueList::Dialog, 1024, "Browse"},
    {"IDC_STATIC_OUTPUT_FILE", CatalogueList::Dialog, 1023, "Output file:"},
    {"IDC_STATIC_RESOLUTION", CatalogueList::Dialog, 1026, "Resolution:"},
    {"IDC_STATIC_FRAME_RATE", CatalogueList::Dialog, 1078, "Frame rate:"},
    {"IDC_STATIC_RESIZE_MODE", CatalogueList::Dialog, 1079, "Resize mode:"},
    {"IDC_STATIC_VIDEO_COMPRESSOR", CatalogueList::Dialog, 1080, "Video compressor:"},
    {"IDC_BUTTON_VIDEO_CODEC_SETTINGS", CatalogueList::Dialog, 1053, "Settings"},
    {"IDC_STATIC_AUDIO_COMPRESSOR", CatalogueList::Dialog, 1081, "Audio compressor:"},
    {"IDC_STATIC_OPTIONS_NOTE", CatalogueList::Dialog, 1077,
     "Note: some video and audio compressors may not work properly. For more detail, please read "
     "help."},
    {"IDC_BUTTON_OUTPUT_DEAULT", CatalogueList::Dialog, 1051, "Default"},
    {"IDC_BUTTON_OPTIONS_OK", CatalogueList::Dialog, 1082, "OK"},
    {"IDC_BUTTON_OPTIONS_CANCEL", CatalogueList::Dialog, 1083, "Cancel"},
    {"IDC_STATIC_VIDEO_COMPRESSOR_BITRATE", CatalogueList::Dialog, 1087, "Video encoding bitrate:"},
    {"IDC_STATIC_AUDIO_COMPRESSOR_BITRATE", CatalogueList::Dialog, 1088, "Audio encoding bitrate:"},
    {"IDC_BUTTON_HELP", CatalogueList::Dialog, 1084, "&Help"},
    {"IDC_BUTTON_HOMEPAGE", CatalogueList::Dialog, 1047, "Homepage"},
    {"IDC_BUTTON_ABOUT", CatalogueList::Dialog, 1042, "About"},
    {"IDC_BUTTON_EXIT", CatalogueList::Dialog, 1076, "Exit"},
    {"IDD_PROGRAM_CAPTION", CatalogueList::Dialog, 102, "Clipwright"},
    {"IDC_BUTTON_ADD_VIDEO", CatalogueList::Dialog, 1006, "Open Video"},
    {"IDC_BUTTON_OUTPUT_SETTINGS", CatalogueList::Dialog, 1003, "Options"},
    {"IDC_BUTTON_CONVERT", CatalogueList::Dialog, 1000, "Convert"},
    {"IDC_BUTTON_PLAY", CatalogueList::Dialog, 1058, "Play"},
    {"IDC_BUTTON_PAUSE", CatalogueList::Dialog, 1060, "Pause"},
    {"IDC_BUTTON_STOP", CatalogueList::Dialog, 1061, "Stop"},
    {"IDC_BUTTON_START_TIME", CatalogueList::Dialog, 1062, "Start Time"},
    {"IDC_BUTTON_END_TIME", CatalogueList::Dialog, 1063, "End Time"},
    {"IDC_STATIC_OUTPUT_FORMAT", CatalogueList::Dialog, 1097, "Output Format:"},
    {"IDS_LANGUAGE_IN_ENGLISH", CatalogueList::String, 102, "English"},
    {"IDS_MESSAGE_OUTPUT_FILE", CatalogueList::String, 115, "Output file:"},
    {"IDS_MESSAGE_RESOLUTION", CatalogueList::String, 116, "Resolution:"},
    {"IDS_MESSAGE_OPEN_FILE", CatalogueList::String, 119, "Open a video file"},
    {"IDS_MESSAGE_OPTIONS", CatalogueList::String, 120, "Customize output options"},
    {"IDS_MESSAGE_CONVERT", CatalogueList::String, 121, "Convert video"},
    {"IDS_MESSAGE_NOT_OPEN_FILE", CatalogueList::String, 122,
     "Cannot open the file. You need to install appropriate decoders. Or the file is corrupt."},
    {"IDS_MESSAGE_NO_DURATION", CatalogueList::String, 123,
     "Can not get the duration of the clip!"},
    {"IDC_BUTTON_CONVERT", CatalogueList::Dialog, 125, "Convert"},
    {"IDC_BUTTON_STOP", CatalogueList::Dialog, 124, "Stop"},
    {"IDS_MESSAGE_FILE_EXIST", CatalogueList::String, 127, "exists. Do you want to replace it?"},
    {"IDS_MESSAGE_STOP_CONVERT", CatalogueList::String, 130, "Please first stop converting"},
    {"IDS_MESSAGE_RESTART_PROGRAM", CatalogueList::String, 126, "Please restart the program"},
    {"IDS_MESSAGE_CONVERSION_DONE", CatalogueList::String, 163, "Done"},
    {"IDM_ABOUT", CatalogueList::Menu, 101, "&About"},
    {"IDS_MESSAGE_ERROR", CatalogueList::String, 105, "Error"},
    {"IDS_MESSAGE_WARNING", CatalogueList::String, 108, "Warning"},
    {"IDS_MESSAGE_BROWSE_CAPTION", CatalogueList::String, 110, "Select Output File Name"},
    {"IDS_MESSAGE_ORIGINAL_SIZE", CatalogueList::String, 111, "Original size"},
    {"IDS_MESSAGE_CUSTOM_SIZE", CatalogueList::String, 112, "Custom size"},
    {"IDS_MESSAGE_ORIGINAL_FRAME_SIZE", CatalogueList::String, 113, "Original frame rate"},
    {"IDS_MESSAGE_CUSTOM_FRAME_SIZE", CatalogueList::String, 114, "Custom frame rate"},
    {"IDS_MESSAGE_PRESERVE_ASPECT_RATIO", CatalogueList::String, 117, "Preserve aspect ratio"},
    {"IDS_MESSAGE_RESIZE_STRETCH", CatalogueList::String, 118, "Stretch"},
};

constexpr SymbolicKey kAddedKeys[] = {
    {"IDS_NOTE_ONE_VIDEO", CatalogueList::String, IDS_NOTE_ONE_VIDEO,
     "One video is opened at a time; opened %1."},
    {"IDS_TIME_LEFT", CatalogueList::String, IDS_TIME_LEFT, "%1 left"},
    {"IDS_EXACT_POSITION", CatalogueList::String, IDS_EXACT_POSITION, "%1, frame %2"},
    {"IDS_NAME_STATUS", CatalogueList::String, IDS_NAME_STATUS, "Status"},
    {"IDS_NAME_POSITION", CatalogueList::String, IDS_NAME_POSITION, "Position"},
    {"IDS_KEY_SPACE", CatalogueList::String, IDS_KEY_SPACE, "Space"},
    {"IDS_NAME_WIDTH", CatalogueList::String, IDS_NAME_WIDTH, "Width"},
    {"IDS_NAME_HEIGHT", CatalogueList::String, IDS_NAME_HEIGHT, "Height"},
    // Progress, stop and refusal texts, and the About box.
    {"IDS_ELAPSED_TIME", CatalogueList::String, IDS_ELAPSED_TIME, "Please wait... Used Time: %1"},
    {"IDS_STOPPED_WRITTEN", CatalogueList::String, IDS_STOPPED_WRITTEN,
     "Stopped: %1 of %2 written."},
    {"IDS_STOPPED_EMPTY", CatalogueList::String, IDS_STOPPED_EMPTY,
     "Stopped before anything was written: %1 was not changed."},
    {"IDS_FRAME_RATE_TOO_SMALL", CatalogueList::String, IDS_FRAME_RATE_TOO_SMALL,
     "The frame rate is too small!"},
    {"IDS_FRAME_RATE_NOT_NUMBER", CatalogueList::String, IDS_FRAME_RATE_NOT_NUMBER,
     "The frame rate must be a number, such as 25 or 12.5."},
    {"IDS_SUPPORT_LINK", CatalogueList::String, IDS_SUPPORT_LINK, "Support Email: Click here"},
    {"IDS_VERSION", CatalogueList::String, IDS_VERSION, "Version %1"},
    {"IDS_KBPS", CatalogueList::String, IDS_KBPS, "Kbps"},
    {"IDS_MARKS_REVERSED", CatalogueList::String, IDS_MARKS_REVERSED,
     "The start mark (%1) is after the end mark (%2). Set the start mark before the end mark, "
     "then convert again."},
    {"IDS_MARKS_EQUAL", CatalogueList::String, IDS_MARKS_EQUAL,
     "The start mark and the end mark are both at %1: there is nothing to convert. Set the end "
     "mark after the start mark, then convert again."},
    {"IDS_NOTHING_BETWEEN_MARKS", CatalogueList::String, IDS_NOTHING_BETWEEN_MARKS,
     "There is nothing to convert between the start mark (%1) and the end mark (%2)."},
    {"IDS_OPEN_VIDEO_FIRST", CatalogueList::String, IDS_OPEN_VIDEO_FIRST,
     "Please open a video file first!"},
    {"IDS_NO_VIDEO_COMPRESSOR", CatalogueList::String, IDS_NO_VIDEO_COMPRESSOR,
     "You do not select a video compressor in Options dialog. The output file will be very "
     "big.\nStrongly recommend you to install DivX codec, then select DivX as video "
     "compressor.\nIf there is no DivX codec on your system, please download it at %1\nDo you "
     "want to continue?"},
    {"IDS_TIP_HELP", CatalogueList::String, IDS_TIP_HELP, "Help"},
    {"IDS_TIP_HOMEPAGE", CatalogueList::String, IDS_TIP_HOMEPAGE, "Homepage"},
    {"IDS_TIP_ABOUT", CatalogueList::String, IDS_TIP_ABOUT, "About"},
    {"IDS_TIP_EXIT", CatalogueList::String, IDS_TIP_EXIT, "Exit"},
    {"IDS_FILTER_ANY_FILES", CatalogueList::String, IDS_FILTER_ANY_FILES, "Any Files"},
    {"IDS_FILTER_VIDEO_FILES", CatalogueList::String, IDS_FILTER_VIDEO_FILES, "Video Files"},
    {"IDS_SOURCE_GONE", CatalogueList::String, IDS_SOURCE_GONE,
     "The video %1 is gone (removed, renamed or its drive taken out): the preview has stopped."},
    {"IDS_HELP_IN_ENGLISH", CatalogueList::String, IDS_HELP_IN_ENGLISH,
     "The help is only in English."},
    {"IDS_COPY_FROM_SOURCE", CatalogueList::String, IDS_COPY_FROM_SOURCE,
     "Copy from the source (no re-encoding)"},
    {"IDS_COPY_FROM_KEY_FRAME", CatalogueList::String, IDS_COPY_FROM_KEY_FRAME,
     "Without re-encoding, this picture cannot start exactly at the start mark: the copy starts "
     "%1 s (%2 frames) before it, at a key frame.\n\nCopy from the key frame?"},
};

struct BuiltinStringRow
{
    int number;
    const char *text;
};

// The string table: texts looked up by number, apart from the dialog and menu templates.
constexpr BuiltinStringRow kStrings[] = {
    {101, "&About"},
    {102, "English"},
    {105, "Error"},
    {108, "Warning"},
    {110, "Select Output File Name"},
    {111, "Original size"},
    {112, "Custom size"},
    {113, "Original frame rate"},
    {114, "Custom frame rate"},
    {115, "Output file:"},
    {116, "Resolution:"},
    {117, "Preserve aspect ratio"},
    {118, "Stretch"},
    {119, "Open a video file"},
    {120, "Customize output options"},
    {121, "Convert video"},
    {122, "Cannot open the file. You need to install appropriate decoders. Or the file is "
          "corrupt."},
    {123, "Can not get the duration of the clip!"},
    {124, "Stop"},
    {125, "Convert"},
    {126, "Please restart the program"},
    {127, "exists. Do you want to replace it?"},
    {130, "Please first stop converting"},
    {163, "Done"},
};

} // namespace

std::span<const SymbolicKey> SymbolicKeyTable()
{
    return kKeys;
}

std::span<const SymbolicKey> AddedKeyTable()
{
    return kAddedKeys;
}

std::string FormatText(std::string text, std::initializer_list<std::string_view> values)
{
    // One pass from left to right, so a value that itself holds "%2" stays as it is.
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        const std::size_t index = static_cast<std::size_t>(next - '1');
        if (text[i] == '%' && next >= '1' && next <= '9' && index < values.size()) {
            result += values.begin()[index];
            ++i;
            continue;
        }
        result += text[i];
    }
    return result;
}

CatalogueList ListOfKey(std::string_view key)
{
    const std::string_view prefix = key.substr(0, 3);
    if (prefix == "IDS")
        return CatalogueList::String;
    if (prefix == "IDM" || prefix == "IDR")
        return CatalogueList::Menu;
    return CatalogueList::Dialog;
}

const char *SectionName(CatalogueList list)
{
    switch (list) {
    case CatalogueList::Menu:
        return "MENU";
    case CatalogueList::String:
        return "STRING";
    case CatalogueList::Dialog:
        break;
    }
    return "DIALOG";
}

std::string BuiltinString(int number)
{
    for (const BuiltinStringRow &row : kStrings) {
        if (row.number == number)
            return row.text;
    }
    for (const SymbolicKey &row : kAddedKeys) {
        if (row.number == number)
            return row.text;
    }
    return std::string();
}

std::string BuiltinText(CatalogueList list, int number)
{
    if (list == CatalogueList::String)
        return BuiltinString(number);
    for (const SymbolicKey &row : kKeys) {
        if (row.list == list && row.number == number)
            return row.text;
    }
    return std::string();
}
