#pragma once

#include <span>

// One row of the locale name table: a Windows-style language identifier (primary language in the
// low 10 bits, sub-language in the high 6 bits), its English name with blanks as underscores,
// and the three-letter language abbreviation.
struct LocaleRow
{
    const char *name;
    const char *abbreviation;
    unsigned short identifier;

    int PrimaryLanguage() const { return identifier & 0x3FF; }
    int SubLanguage() const { return identifier >> 10; }
};

// All rows in lookup order: abbreviations repeat, and the first row with one wins.
std::span<const LocaleRow> LocaleTable();
