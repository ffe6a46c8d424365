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

// Section of a key by its prefix: IDS -> STRING, IDM/IDR -> MENU, IDD/IDC -> DIALOG.
CatalogueList ListOfKey(std::string_view key);
const char *SectionName(CatalogueList list);

// The program's built-in string resource by number; empty when there is none.
std::string BuiltinString(int number);
// The built-in dialog-template or menu text of a number (the first table row of that list).
std::string BuiltinText(CatalogueList list, int number);
