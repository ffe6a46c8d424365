#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

// The catalogue's three lists, named after the sections of a language file.
enum class CatalogueList { Menu, String, Dialog };

// One row of the symbolic key table: the key of a language file, the list its text is filed
// in, the number it is filed under, and the English text the program shows without one.
struct SymbolicKey
{
    const char *key;
    CatalogueList list;
    int number;
    const char *text;
};

// Every row in processing order. A key may serve several rows.
std::span<const SymbolicKey> SymbolicKeyTable();

// Keys the program added later, read from the language files after the table above and
// looked up with GetString; without a text in the file their English text shows.
std::span<const SymbolicKey> AddedKeyTable();

// Numbers of the added texts. "%1" and "%2" stand for the values filled in.
enum AddedText {
    IDS_NOTE_ONE_VIDEO = 200, // "One video is opened at a time; opened %1."
    IDS_TIME_LEFT = 201,      // "%1 left", after the percentage in the title
    IDS_EXACT_POSITION = 202, // "%1, frame %2"
    IDS_NAME_STATUS = 203,    // accessible name of the status line
    IDS_NAME_POSITION = 204,  // accessible name of the slider and the position display
    IDS_KEY_SPACE = 205,      // the Space key as tooltips name it
    IDS_NAME_WIDTH = 206,     // accessible names of the Options dialog's size edits
    IDS_NAME_HEIGHT = 207,

    // Progress, stop and refusal texts of the window, and the About box's own lines; numbered
    // from 220 so texts added beside them keep numbers of their own.
    IDS_ELAPSED_TIME = 220,         // "Please wait... Used Time: %1"
    IDS_STOPPED_WRITTEN = 221,      // "Stopped: %1 of %2 written."
    IDS_STOPPED_EMPTY = 222,        // "Stopped before anything was written: %1 was not changed."
    IDS_FRAME_RATE_TOO_SMALL = 223, // "The frame rate is too small!"
    IDS_FRAME_RATE_NOT_NUMBER = 224,
    IDS_SUPPORT_LINK = 225, // "Support Email: Click here"
    IDS_VERSION = 226,      // "Version %1"
    IDS_KBPS = 227,         // unit beside the bitrate lists
    IDS_MARKS_REVERSED = 228,
    IDS_MARKS_EQUAL = 229,
    IDS_NOTHING_BETWEEN_MARKS = 230,
    IDS_OPEN_VIDEO_FIRST = 231,
    IDS_NO_VIDEO_COMPRESSOR = 232, // %1: where the codec is offered
    IDS_TIP_HELP = 233,            // tooltips of the main window's icon buttons
    IDS_TIP_HOMEPAGE = 234,
    IDS_TIP_ABOUT = 235,
    IDS_TIP_EXIT = 236,
    IDS_FILTER_ANY_FILES = 237, // filters of the Open Video chooser, before their patterns
    IDS_FILTER_VIDEO_FILES = 238,
    IDS_SOURCE_GONE = 208,         // status line: the open video's file went while it was open
    IDS_HELP_IN_ENGLISH = 239,     // About box, where the help has no pages in the chosen language
    IDS_COPY_FROM_SOURCE = 240,    // compressor lists: the source's stream kept as it is
    IDS_COPY_FROM_KEY_FRAME = 241, // %1 seconds and %2 frames the copy starts before the mark
};

// An added text with %1, %2, ... filled in by the values in order.
std::string FormatText(std::string text, std::initializer_list<std::string_view> values);

// Section of a key by its prefix: IDS -> STRING, IDM/IDR -> MENU, IDD/IDC -> DIALOG.
CatalogueList ListOfKey(std::string_view key);
const char *SectionName(CatalogueList list);

// The program's built-in string resource by number; empty when there is none.
std::string BuiltinString(int number);
// The built-in dialog-template or menu text of a number (the first table row of that list).
std::string BuiltinText(CatalogueList list, int number);
