#include "platform/ShellOpen.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace platform {

namespace {

bool IsDirectory(const std::string &path)
{
    struct stat info
    {
    };
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool Exists(const std::string &path)
{
    struct stat info
    {
    };
    return stat(path.c_str(), &info) == 0;
}

std::string PercentDecoded(const std::string &text)
{
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()
            && std::isxdigit(static_cast<unsigned char>(text[i + 1]))
            && std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// A started program is waited for in the background so it never lingers as a zombie.
void ReapLater(pid_t pid)
{
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

// quiet: the program's chatter (xdg-open names every opener it tries) stays off our terminal.
int Spawn(const std::vector<std::string> &arguments, pid_t *pid, bool quiet = false)
{
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    const int error = posix_spawnp(pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

std::string CommandOutput(const char *command)
{
    std::string output;
    if (FILE *pipe = popen(command, "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        pclose(pipe);
    }
    while (!output.empty()
           && (output.back() == '\n' || output.back() == '\r' || output.back() == ' '))
        output.pop_back();
    return output;
}

std::vector<std::string> ApplicationFolders()
{
    std::vector<std::string> folders;
    const char *dataHome = std::getenv("XDG_DATA_HOME");
    const char *home = std::getenv("HOME");
    if (dataHome && *dataHome)
        folders.push_back(std::string(dataHome) + "/applications/");
    else if (home && *home)
        folders.push_back(std::string(home) + "/.local/share/applications/");
    const char *dataDirs = std::getenv("XDG_DATA_DIRS");
    std::stringstream dirs(dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty())
            folders.push_back(dir + "/applications/");
    return folders;
}

// The desktop's own services: xdg-open for documents, xdg-mime for the browser.
class DesktopShellService : public ShellService
{
public:
    int OpenDocument(const std::string &target, int) override
    {
        if (const int missing = MissingLocalTarget(target))
            return missing;
        pid_t pid = 0;
        const int error = Spawn({"xdg-open", target}, &pid, true);
        if (error != 0)
            return error == ENOENT ? SE_ERR_NOASSOC : ResultFromStartError(error);

        // xdg-open reports a failure within moments; one still running has handed the
        // target to a program that stays open (a browser's first window), which is success.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            const pid_t done = waitpid(pid, &status, WNOHANG);
            if (done == pid)
                return WIFEXITED(status) ? ResultFromOpenerExit(WEXITSTATUS(status))
                                         : SE_ERR_ASSOCINCOMPLETE;
            if (done < 0 && errno != EINTR)
                return kDocumentOpened;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ReapLater(pid);
        return kDocumentOpened;
    }

    std::optional<std::string> BrowserCommand() override
    {
        const std::string id = CommandOutput("xdg-mime query default text/html 2>/dev/null");
        if (id.empty() || id.find('/') != std::string::npos)
            return std::nullopt;
        // "vendor-name.desktop" may also live as vendor/name.desktop.
        std::vector<std::string> names{id};
        for (std::size_t dash = id.find('-'); dash != std::string::npos;
             dash = id.find('-', dash + 1)) {
            std::string nested = id;
            nested[dash] = '/';
            names.push_back(nested);
        }
        for (const std::string &folder : ApplicationFolders()) {
            for (const std::string &name : names) {
                std::ifstream file(folder + name);
                if (!file)
                    continue;
                std::stringstream text;
                text << file.rdbuf();
                return ExecLineOfDesktopEntry(text.str());
            }
        }
        return std::nullopt;
    }

    int StartProgram(const std::string &commandLine, int) override
    {
        const std::vector<std::string> arguments = SplitCommandLine(commandLine);
        if (arguments.empty() || arguments.front().empty())
            return ERROR_FILE_NOT_FOUND;
        const std::string &program = arguments.front();
        const std::size_t slash = program.find_last_of('/');
        if (slash != std::string::npos && !Exists(program))
            return IsDirectory(slash == 0 ? "/" : program.substr(0, slash)) ? ERROR_FILE_NOT_FOUND
                                                                            : ERROR_PATH_NOT_FOUND;
        pid_t pid = 0;
        if (const int error = Spawn(arguments, &pid))
            return ResultFromStartError(error);
        ReapLater(pid);
        return kProgramStarted;
    }
};

DesktopShellService g_desktop;
ShellService *g_service = nullptr;

ShellService &Service()
{
    return g_service ? *g_service : g_desktop;
}

} // namespace

ShellService *SetShellService(ShellService *service)
{
    ShellService *previous = g_service;
    g_service = service;
    return previous;
}

int ShellOpen(const std::string &target, int showCommand)
{
    return Service().OpenDocument(target, showCommand);
}

std::optional<std::string> DefaultBrowserCommand()
{
    return Service().BrowserCommand();
}

int StartProgram(const std::string &commandLine, int showCommand)
{
    return Service().StartProgram(commandLine, showCommand);
}

std::vector<std::string> SplitCommandLine(const std::string &commandLine)
{
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    bool hadPercentCode = false;
    auto finish = [&] {
        // A field code standing alone has no value here; %% is a literal percent sign.
        if (inArgument && !(hadPercentCode && current.size() == 2 && current[0] == '%'))
            arguments.push_back(current);
        current.clear();
        inArgument = quoted = hadPercentCode = false;
    };
    for (std::size_t i = 0; i < commandLine.size(); ++i) {
        const char c = commandLine[i];
        if (quoted) {
            if (c == '"')
                quoted = false;
            else if (c == '\\' && i + 1 < commandLine.size()
                     && std::string("\"`$\\").find(commandLine[i + 1]) != std::string::npos)
                current += commandLine[++i];
            else
                current += c;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            finish();
        } else if (c == '"') {
            quoted = inArgument = true;
        } else if (c == '%' && i + 1 < commandLine.size()) {
            inArgument = true;
            const char code = commandLine[++i];
            if (code == '%') {
                current += '%';
            } else {
                current += '%';
                current += code;
                hadPercentCode = true;
            }
        } else {
            current += c;
            inArgument = true;
        }
    }
    finish();
    return arguments;
}

int ResultFromOpenerExit(int exitStatus)
{
    switch (exitStatus) {
    case 0:
        return kDocumentOpened;
    case 2:
        return ERROR_FILE_NOT_FOUND;
    case 3:
        return SE_ERR_NOASSOC;
    default: // 1: arguments refused, 4: the registered program failed
        return SE_ERR_ASSOCINCOMPLETE;
    }
}

int ResultFromStartError(int error)
{
    switch (error) {
    case 0:
        return kProgramStarted;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
        return SE_ERR_ACCESSDENIED;
    case ENOEXEC:
    case ELIBBAD:
        return ERROR_BAD_FORMAT;
    case ENOMEM:
        return SE_ERR_OOM;
    case ETXTBSY:
        return SE_ERR_SHARE;
    default: // EAGAIN, E2BIG and the like: out of resources
        return SE_ERR_OUT_OF_RESOURCES;
    }
}

int MissingLocalTarget(const std::string &target)
{
    std::string path;
    if (target.rfind("file://", 0) == 0) {
        path = target.substr(7);
        if (path.rfind("localhost/", 0) == 0)
            path = path.substr(9);
        path = PercentDecoded(path.substr(0, path.find_first_of("?#")));
    } else if (!target.empty() && target.front() == '/') {
        path = target;
    } else {
        return 0;
    }
    if (path.empty() || Exists(path))
        return 0;
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    return IsDirectory(folder) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

std::optional<std::string> ExecLineOfDesktopEntry(const std::string &entryText)
{
    std::stringstream lines(entryText);
    std::string line;
    bool inEntry = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inEntry || equals == std::string::npos)
            continue;
        std::string key = line.substr(0, equals);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        if (key != "Exec")
            continue;
        std::string value = line.substr(equals + 1);
        value.erase(0, value.find_first_not_of(' '));
        // The file's own escapes; the quoting inside the command line stays.
        std::string unescaped;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] != '\\' || i + 1 == value.size()) {
                unescaped += value[i];
                continue;
            }
            const char next = value[++i];
            unescaped += next == 's'   ? ' '
                         : next == 't' ? '\t'
                         : next == 'n' ? '\n'
                         : next == 'r' ? '\r'
                                       : next;
        }
        return unescaped.empty() ? std::nullopt : std::optional<std::string>(unescaped);
    }
    return std::nullopt;
}

ShellRecorder::ShellRecorder()
    : m_previous(SetShellService(this))
{
}

ShellRecorder::~ShellRecorder()
{
    SetShellService(m_previous);
}

int ShellRecorder::OpenDocument(const std::string &target, int showCommand)
{
    m_opened.push_back(target);
    m_openShows.push_back(showCommand);
    if (m_openResults.empty())
        return kDocumentOpened;
    const int result = m_openResults.front();
    m_openResults.pop_front();
    return result;
}

std::optional<std::string> ShellRecorder::BrowserCommand()
{
    ++m_browserQueries;
    return m_browser;
}

int ShellRecorder::StartProgram(const std::string &commandLine, int)
{
    m_started.push_back(commandLine);
    if (m_startResults.empty())
        return kProgramStarted;
    const int result = m_startResults.front();
    m_startResults.pop_front();
    return result;
}

} // namespace platform
