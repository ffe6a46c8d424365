#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

// Opening documents and web pages with the desktop, and starting programs. Every result is a
// shell-execution code: above 32 means success, 32 or less names the failure. The program
// installs nothing: the desktop service (xdg-open, xdg-mime) is the default; tests install
// ShellRecorder so no browser is ever started.
namespace platform {

// Show commands of the window the started program opens.
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;

// Shell-execution and program-start results.
enum ShellResult : int {
    SE_ERR_OUT_OF_RESOURCES = 0,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_PATH_NOT_FOUND = 3,
    SE_ERR_ACCESSDENIED = 5,
    SE_ERR_OOM = 8,
    ERROR_BAD_FORMAT = 11,
    SE_ERR_SHARE = 26,
    SE_ERR_ASSOCINCOMPLETE = 27,
    SE_ERR_DDETIMEOUT = 28,
    SE_ERR_DDEFAIL = 29,
    SE_ERR_DDEBUSY = 30,
    SE_ERR_NOASSOC = 31,
    SE_ERR_DLLNOTFOUND = 32,
    // What a successful call returns.
    kProgramStarted = 33,
    kDocumentOpened = 42,
};

constexpr bool ShellSucceeded(int result)
{
    return result > 32;
}

class ShellService
{
public:
    virtual ~ShellService() = default;
    // Opens a web address or a file with the desktop's opener.
    virtual int OpenDocument(const std::string &target, int showCommand) = 0;
    // The command line (Exec line) of the default web browser, if one is registered.
    virtual std::optional<std::string> BrowserCommand() = 0;
    // Starts a command line (split by SplitCommandLine); the program is looked up in PATH.
    virtual int StartProgram(const std::string &commandLine, int showCommand) = 0;
};

// Installs a service (nullptr restores the desktop's); returns the previous one.
ShellService *SetShellService(ShellService *service);

int ShellOpen(const std::string &target, int showCommand);
std::optional<std::string> DefaultBrowserCommand();
int StartProgram(const std::string &commandLine, int showCommand);

// xdg-open's exit status (0 success, 1 bad arguments, 2 missing file, 3 no opener, 4 opener
// failed) as a shell-execution result.
int ResultFromOpenerExit(int exitStatus);
// A failed program start (errno of the spawn) as a shell-execution result.
int ResultFromStartError(int error);
// For a local path or file: URL that does not exist, the code for the missing file or folder;
// 0 when it exists or the target is not local.
int MissingLocalTarget(const std::string &target);
// Splits a command line into arguments by the desktop entry rules: blanks separate, double
// quotes group (backslash escapes " ` $ \ inside them); leftover field codes (%u, %i, ...) are
// dropped and %% becomes %.
std::vector<std::string> SplitCommandLine(const std::string &commandLine);
// The Exec line of the [Desktop Entry] group of a .desktop file's text, or nullopt.
std::optional<std::string> ExecLineOfDesktopEntry(const std::string &entryText);

// Records every request and answers from queues (success when a queue is empty). Installs
// itself for its lifetime.
class ShellRecorder : public ShellService
{
public:
    ShellRecorder();
    ~ShellRecorder() override;

    int OpenDocument(const std::string &target, int showCommand) override;
    std::optional<std::string> BrowserCommand() override;
    int StartProgram(const std::string &commandLine, int showCommand) override;

    void QueueOpenResult(int result) { m_openResults.push_back(result); }
    void QueueStartResult(int result) { m_startResults.push_back(result); }
    void SetBrowserCommand(std::optional<std::string> command) { m_browser = std::move(command); }

    const std::vector<std::string> &Opened() const { return m_opened; }
    const std::vector<int> &OpenShowCommands() const { return m_openShows; }
    const std::vector<std::string> &Started() const { return m_started; }
    int BrowserQueries() const { return m_browserQueries; }

private:
    ShellService *m_previous = nullptr;
    std::deque<int> m_openResults;
    std::deque<int> m_startResults;
    std::optional<std::string> m_browser;
    std::vector<std::string> m_opened;
    std::vector<int> m_openShows;
    std::vector<std::string> m_started;
    int m_browserQueries = 0;
};

} // namespace platform
