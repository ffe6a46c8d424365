#pragma once

#include <QString>

#include <string>

class CLanguage;
class QWidget;

// Puts the current language's texts and the interface font on a dialog's caption and its
// direct child controls; every control carries its number as the dynamic property "controlId".
// Returns false and changes nothing when no language file was found.
bool ApplyToDialog(QWidget *dialog, int dialogNumber);
// The same with an explicit catalogue.
bool ApplyToDialog(QWidget *dialog, int dialogNumber, const CLanguage &language);

// A catalogue text (UTF-8, or a single-byte text from an older file) as a widget text.
QString CatalogueText(const std::string &text);
