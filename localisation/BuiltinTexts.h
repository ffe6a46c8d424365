#pragma once

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
    IDS_SOURCE_GONE = 208, // status line: the open video's file went while it was open
};

// Section of a key by its prefix: IDS -> STRING, IDM/IDR -> MENU, IDD/IDC -> DIALOG.
CatalogueList ListOfKey(std::string_view key);
const char *SectionName(CatalogueList list);

// The program's built-in string resource by number; empty when there is none.
std::string BuiltinString(int number);
// The built-in dialog-template or menu text of a number (the first table row of that list).
std::string BuiltinText(CatalogueList list, int number);
