#pragma once

#include <QLocale>

#include <string>

// From a Windows language identifier (primary language, sub-language) of the locale table to the
// locales this platform uses: Qt's for texts shown, the C library's for what a language changes.

// ISO 639 code of a language identifier, for the languages of the locale table; nullptr when
// unknown.
const char *IsoLanguageCode(int primary, int sub);

// The country a table row names at its end ("German_Austria" -> Austria); AnyTerritory when
// the name ends with none.
QLocale::Territory TerritoryOfRow(const std::string &rowName);

// The Qt locale of a language identifier, with the country of its table row when Qt knows that
// pair; the system locale when the language is unknown.
QLocale QtLocaleOf(int primary, int sub);

// Sets the C library's language categories (collation, time, money, messages) to the language
// when the system has it, otherwise to the user's default. Character types are left as they
// are and numbers keep the full stop (LC_NUMERIC "C").
void ApplyRuntimeLocale(bool found, const QLocale &locale);

// The interface font's face for a language that has none stored: the language's own cut of the
// CJK faces for Chinese, Japanese and Korean, whose shared characters differ in shape between
// them; "Microsoft Sans Serif" (the platform's substitute for it) for the others.
const char *DefaultInterfaceFace(int primary, int sub);
