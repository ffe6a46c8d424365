#pragma once

#include <string>

// How clipwright-cli speaks: one line "clipwright-cli: SUBJECT: reason" per failure on standard
// error, in the command line's own words. The engine's message boxes are written for the
// window; they are kept here and turned into such a reason.

// Installs the collector of the engine's boxes (for the whole process).
void InstallEngineMessages();
// The reason behind the engine's boxes since the last call, in the command line's words;
// empty when the engine said nothing. Clears what was collected.
std::string TakeEngineReason();

// Prints the failure line; returns code.
int Fail(const std::string &subject, const std::string &reason, int code = 1);
// Prints "clipwright-cli: note: text" unless quiet.
void Note(const std::string &text);
void SetQuiet(bool quiet);
bool Quiet();

// Checks that path names a readable, non-empty regular file before any media is opened; says
// why not (the system's reason where there is one) and returns false otherwise.
bool CheckInputFile(const std::string &path);
