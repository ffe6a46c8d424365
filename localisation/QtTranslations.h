#pragma once

#include <QLocale>
#include <QString>

// Qt's own texts (the standard buttons of message boxes, the file and font choosers) in the
// program's language, from the translations the distribution installs for Qt.

// Where Qt's translation files are looked for.
QString QtTranslationsFolder();

// Puts Qt's translation for locale in place of the one installed before; English, or a language
// Qt has no translation for, leaves Qt's own English. Returns true when a translation is in
// place. Needs the application object; without one it does nothing.
bool InstallQtTranslation(const QLocale &locale);
// Removes the translation InstallQtTranslation put in place.
void RemoveQtTranslation();
