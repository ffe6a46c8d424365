#pragma once

#include <string>

// How clipwright-cli speaks: one line "clipwright-cli: SUBJECT: reason" per failure on standard
// error, in the command line's own words. The engine's reports are kept here and worded so.

// Installs the collector of the engine's reports (for the whole process).
void InstallEngineMessages();
// The reason behind the engine's reports since the last call, in the command line's words;
// empty when the engine said nothing. Clears what was collected.
std::string TakeEngineReason();
// The input went between its probe and the conversion: the reason of the failure that follows.
void KeepMissingInput(const std::string &path);

// Prints the failure line; returns code. As JSON: {"error":reason,"subject":subject}.
int Fail(const std::string &subject, const std::string &reason, int code = 1);
// Prints "clipwright-cli: note: text" unless quiet. As JSON: {"note":text}.
void Note(const std::string &text);
void SetQuiet(bool quiet);
bool Quiet();

// With --progress=json every line on standard error is one JSON object, so a program reads the
// stream with one parser.
void SetJsonMessages(bool json);
bool JsonMessages();
// A JSON string of text: valid UTF-8 whatever text holds; a byte that is not part of a UTF-8
// character reads as the text \xHH (a backslash, x and its two hex digits) once decoded.
std::string JsonString(const std::string &text);
// A JSON number in one format everywhere: fixed, three decimals, whatever the locale.
std::string JsonNumber(double value);
// Writes one line of JSON (an object, without its newline) to standard error and flushes it.
void WriteJsonLine(const std::string &object);

// With JSON messages on, what is printed on standard error as text while it lives (helper
// processes included: the plug-in scanner's warnings) is kept back, and said as JSON lines
// ({"warning":..,"domain":..,"level":..}) when it ends. For the start of the media platform.
class StartUpText
{
public:
    StartUpText();
    ~StartUpText();
    StartUpText(const StartUpText &) = delete;
    StartUpText &operator=(const StartUpText &) = delete;

private:
    int m_caught = -1; // where the text goes meanwhile
    int m_saved = -1;  // standard error
};

// Checks that path names a readable, non-empty regular file before any media is opened; says
// why not (the system's reason where there is one) and returns false otherwise.
bool CheckInputFile(const std::string &path);
