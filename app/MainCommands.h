#pragma once

#include <string>

class CLanguage;
class QWidget;

// The main window's About, Help and Homepage commands.
namespace maincommands {

// Runs the About box modally over owner.
void RunAbout(QWidget *owner);
// The help's first page in the program's folder: help/Introduction.htm, or the page of the
// chosen language's own set (help/de/Introduction.htm for German) where that set is installed.
std::string HelpPagePath();
std::string HelpPagePath(const std::string &programFolder, const CLanguage &language);
// True when the language is not English and the help opens its English pages (no set of the
// language's own is installed); false for English and for a language the table does not know.
bool HelpOnlyInEnglish();
bool HelpOnlyInEnglish(const std::string &programFolder, const CLanguage &language);
// Opens the help in the browser; a failure is not reported.
void StartHelp();
// Opens the home page; says so when the browser could not be started.
void OpenHomepage();

} // namespace maincommands
