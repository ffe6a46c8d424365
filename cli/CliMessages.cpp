#include "cli/CliMessages.h"

#include "job/InputFile.h"
#include "media/core/LibraryMessages.h"
#include "platform/MessageBoxes.h"

#include <QString>
#include <QtGlobal>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

bool g_quiet = false;
bool g_json = false;
// Where JSON lines go: standard error, or where it was while start-up text is caught.
int g_jsonFd = STDERR_FILENO;
std::mutex g_jsonMutex;

// Keeps the engine's boxes; a question gets the cautious answer (never "locate a file").
class EngineBoxes : public platform::MessageBoxService
{
public:
    platform::BoxAnswer Show(const platform::MessageBoxRequest &request) override
    {
        texts.push_back(request.text);
        switch (request.buttons) {
        case platform::BoxButtons::YesNo:
            return platform::BoxAnswer::No;
        case platform::BoxButtons::OkCancel:
        case platform::BoxButtons::YesNoCancel:
            return platform::BoxAnswer::Cancel;
        default:
            return platform::BoxAnswer::Ok;
        }
    }
    std::vector<std::string> texts;
};

EngineBoxes &Boxes()
{
    static EngineBoxes boxes;
    return boxes;
}

bool Has(const std::string &text, const char *part)
{
    return text.find(part) != std::string::npos;
}

// The window's step texts, in the words of a command-line user. Empty for a text that names a
// step only, so a more telling text after it is used instead.
std::string Reason(const std::string &text)
{
    struct Entry
    {
        const char *part;
        const char *reason;
    };
    static const Entry kTable[] = {
        {"IDS_MESSAGE_NOT_OPEN_FILE",
         "not a video this program can read (unknown format, no decoder installed for it, or a "
         "damaged file)"},
        {"Cannot open the file",
         "not a video this program can read (unknown format, no decoder installed for it, or a "
         "damaged file)"},
        {"IID_IBasicVideo", "has no picture (sound only); the input must be a video"},
        {"GetVideoSize", "its picture cannot be decoded: no decoder for its video format"},
        {"get_AvgTimePerFrame", "its frame rate cannot be read"},
        {"GetStopPosition", "its length cannot be measured"},
        {"IID_IMediaSeeking", "its length cannot be measured"},
        {"GenerateProfile", "the Windows Media writer refused the size, rate or bitrates"},
        {"profile", "the Windows Media writer refused the size, rate or bitrates"},
        {"Please install", "no writer for this format is installed"},
        {"SetOutputFileName", "no writer for this format is installed"},
        {"RenderStream", ""},
        // The step's name only: the reason the timeline gave follows it.
        {"ConnectFrontEnd", ""},
    };
    // The input went between its probe and the conversion; the window offers to find it.
    const std::string missing = "The media file \"", gone = "\" could not be found.";
    if (text.rfind(missing, 0) == 0 && Has(text, "Do you want to locate it?")) {
        const std::size_t end = text.find(gone);
        if (end != std::string::npos)
            return "the input " + text.substr(missing.size(), end - missing.size())
                   + " is gone (moved or removed after it was opened): No such file or directory";
    }
    for (const Entry &e : kTable)
        if (Has(text, e.part))
            return e.reason;
    std::string reason = text;
    const std::string stopped = "The conversion stopped because of an error: ";
    if (reason.rfind(stopped, 0) == 0)
        reason = "the conversion failed: " + reason.substr(stopped.size());
    // Advice about the window's dialog means nothing here.
    for (const char *advice :
         {" Choose another output file in the Options dialog.",
          " Choose one in the Options dialog.", ": choose one in the Options dialog.",
          "; choose another compressor.", "; choose a compressor."}) {
        const std::size_t at = reason.find(advice);
        if (at != std::string::npos)
            reason = reason.substr(0, at)
                     + (advice[0] == ';' ? "; choose another --video-encoder/--audio-encoder" : "");
    }
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '.'))
        reason.pop_back();
    if (!reason.empty() && reason[0] >= 'A' && reason[0] <= 'Z' && reason.size() > 1
        && reason[1] >= 'a' && reason[1] <= 'z')
        reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
    return reason;
}

} // namespace

void InstallEngineMessages()
{
    platform::SetMessageBoxService(&Boxes());
}

std::string TakeEngineReason()
{
    std::vector<std::string> texts;
    texts.swap(Boxes().texts);
    for (const std::string &text : texts) {
        const std::string reason = Reason(text);
        if (!reason.empty())
            return reason;
    }
    return texts.empty() ? std::string() : "the conversion could not be set up";
}

namespace {

// A failure is one line, whatever a file name holds: control characters are written escaped.
std::string OneLine(const std::string &text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace

int Fail(const std::string &subject, const std::string &reason, int code)
{
    if (g_json) {
        WriteJsonLine("{\"error\":" + JsonString(reason) + ",\"subject\":" + JsonString(subject)
                      + "}");
        return code;
    }
    std::fprintf(stderr, "clipwright-cli: %s: %s\n", OneLine(subject).c_str(),
                 OneLine(reason).c_str());
    std::fflush(stderr);
    return code;
}

void Note(const std::string &text)
{
    if (g_quiet)
        return;
    if (g_json)
        WriteJsonLine("{\"note\":" + JsonString(text) + "}");
    else
        std::fprintf(stderr, "clipwright-cli: note: %s\n", text.c_str());
}

namespace {

// A library's warning through Qt would be a line of plain text in the JSON stream.
void JsonQtMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    WriteJsonLine("{\"note\":" + JsonString(message.toStdString()) + "}");
}

// GLib's and GStreamer's warnings too: {"warning":text,"domain":domain,"level":level}. Not
// "error", which says that the run failed.
void JsonLibraryMessage(const media::LibraryMessage &message)
{
    WriteJsonLine("{\"warning\":" + JsonString(message.text) + ",\"domain\":"
                  + JsonString(message.domain) + ",\"level\":" + JsonString(message.level) + "}");
}

} // namespace

void SetJsonMessages(bool json)
{
    if (json == g_json)
        return;
    g_json = json;
    qInstallMessageHandler(json ? JsonQtMessage : nullptr);
    media::RouteLibraryMessages(json ? JsonLibraryMessage : nullptr);
}

bool JsonMessages()
{
    return g_json;
}

namespace {

// The length of the UTF-8 character at text[i], or 0 when the bytes there are not one
// (overlong forms, surrogates and values past U+10FFFF included).
std::size_t Utf8Length(const std::string &text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    std::size_t length = 0;
    unsigned value = 0;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        value = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        value = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        value = c & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        value = value << 6 | (byte(i + k) & 0x3F);
    }
    const bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
    if (overlong || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
        return 0;
    return length;
}

} // namespace

std::string JsonString(const std::string &text)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8Length(text, i);
        char escaped[8];
        if (length == 0) {
            std::snprintf(escaped, sizeof escaped, "\\\\x%02x", c);
            out += escaped;
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out + "\"";
}

std::string JsonNumber(double value)
{
    if (!std::isfinite(value))
        return "null";
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3);
    return std::string(text, result.ptr);
}

void WriteJsonLine(const std::string &object)
{
    const std::string line = object + "\n";
    std::lock_guard lock(g_jsonMutex);
    std::fflush(stderr);
    // One write a line, so lines of several threads never mix.
    for (std::size_t done = 0; done < line.size();) {
        const ssize_t n = write(g_jsonFd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += std::size_t(n);
    }
}

namespace {

// "(gst-plugin-scanner:123): GStreamer-WARNING **: 12:47:24.938: Failed to load plugin ...": a
// GLib message another process printed, as the line our own would be.
std::string ForeignLine(const std::string &line)
{
    std::string domain, level = "message", text = line;
    const std::size_t process = line.rfind("): ", line.find(' '));
    const std::size_t stars = line.find(" **: ");
    const std::size_t colon = line.find(": ", process == std::string::npos ? 0 : process + 3);
    if (!line.empty() && line[0] == '(' && process != std::string::npos
        && colon != std::string::npos) {
        const std::size_t end = stars != std::string::npos && stars < colon ? stars : colon;
        const std::string source = line.substr(process + 3, end - process - 3);
        const std::size_t dash = source.rfind('-');
        domain = dash == std::string::npos ? std::string() : source.substr(0, dash);
        level = source.substr(dash == std::string::npos ? 0 : dash + 1);
        for (char &c : level)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        text = line.substr(line.find(": ", end) + 2);
        // The time of day GLib puts first.
        if (text.size() > 14 && text[2] == ':' && text[5] == ':' && text[8] == '.'
            && text.compare(12, 2, ": ") == 0)
            text.erase(0, 14);
    }
    return "{\"warning\":" + JsonString(text) + ",\"domain\":" + JsonString(domain)
           + ",\"level\":" + JsonString(level) + "}";
}

} // namespace

StartUpText::StartUpText()
{
    // GStreamer's debug log, asked for with GST_DEBUG, is text the user wants as it comes.
    const char *debug = std::getenv("GST_DEBUG");
    if (!g_json || (debug && *debug))
        return;
    m_caught = memfd_create("clipwright-start-up", MFD_CLOEXEC);
    // With standard error closed the file would take its number; then there is nothing to keep.
    m_saved = m_caught <= STDERR_FILENO ? -1 : dup(STDERR_FILENO);
    if (m_saved < 0 || dup2(m_caught, STDERR_FILENO) < 0) {
        if (m_caught >= 0)
            close(m_caught);
        if (m_saved >= 0)
            close(m_saved);
        m_caught = m_saved = -1;
        return;
    }
    std::lock_guard lock(g_jsonMutex);
    g_jsonFd = m_saved;
}

StartUpText::~StartUpText()
{
    if (m_caught < 0)
        return;
    std::fflush(stderr);
    dup2(m_saved, STDERR_FILENO);
    {
        std::lock_guard lock(g_jsonMutex);
        g_jsonFd = STDERR_FILENO;
    }
    close(m_saved);
    std::string text;
    char block[4096];
    for (off_t at = 0;;) {
        const ssize_t n = pread(m_caught, block, sizeof block, at);
        if (n <= 0)
            break;
        text.append(block, std::size_t(n));
        at += n;
    }
    close(m_caught);
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        if (!line.empty())
            WriteJsonLine(ForeignLine(line));
        start = end + 1;
    }
}

void SetQuiet(bool quiet)
{
    g_quiet = quiet;
}

bool Quiet()
{
    return g_quiet;
}

bool CheckInputFile(const std::string &path)
{
    const InputFileCheck check = InspectInputFile(path);
    if (!check.ok)
        Fail(path, check.reason);
    return check.ok;
}
