#pragma once

#include <string>

class QWidget;

// The main window's About, Help and Homepage commands.
namespace maincommands {

// Runs the About box modally over owner.
void RunAbout(QWidget *owner);
// The help's first page, help/Introduction.htm in the program's folder.
std::string HelpPagePath();
// Opens the help in the browser; a failure is not reported.
void StartHelp();
// Opens the home page; says so when the browser could not be started.
void OpenHomepage();

} // namespace maincommands
