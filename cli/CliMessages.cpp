#include "cli/CliMessages.h"

#include "job/InputFile.h"
#include "media/core/LibraryMessages.h"
#include "platform/Report.h"

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

// An engine reason as a clause of the command line's line: no capital, no closing full stop,
// and the window's advice about its dialog in the command line's terms.
std::string Clause(std::string reason)
{
    for (const char *advice : {"; choose another compressor.", "; choose a compressor."}) {
        const std::size_t at = reason.find(advice);
        if (at != std::string::npos)
            reason = reason.substr(0, at) + "; choose another --video-encoder/--audio-encoder";
    }
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '.'))
        reason.pop_back();
    if (reason.size() > 1 && reason[0] >= 'A' && reason[0] <= 'Z' && reason[1] >= 'a'
        && reason[1] <= 'z')
        reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
    return reason;
}

std::string Detail(const platform::Report &report, std::size_t i)
{
    return i < report.details.size() ? report.details[i] : std::string();
}

std::string GoneInput(const std::string &path)
{
    return "the input " + path
           + " is gone (moved or removed after it was opened): No such file or directory";
}

const char *const kUnreadable = "not a video this program can read (unknown format, no decoder "
                                "installed for it, or a damaged file)";
const char *const kNotSetUp = "the conversion could not be set up: ";

// What the command line says of the video and the job; empty for a report it leaves to others.
std::string InputWords(const platform::Report &r)
{
    using platform::Problem;
    switch (r.problem) {
    case Problem::ProbeGraph:
        return "the media platform could not make a playback graph";
    case Problem::NotReadable:
        return Detail(r, 1).empty() ? kUnreadable
                                    : "cannot read \"" + Detail(r, 0) + "\": " + Detail(r, 1);
    case Problem::NoSeeking:
    case Problem::NoLength:
        return "its length cannot be measured";
    case Problem::AviIndexShort:
        return "this AVI file is damaged: its index lists " + Detail(r, 0) + " of the "
               + Detail(r, 1) + " of pictures its data holds, and only what it lists can be read";
    case Problem::NoPicture:
        return "has no picture (sound only); the input must be a video";
    case Problem::NoVideoDecoder:
        return "its picture cannot be decoded: no decoder for its video format";
    case Problem::NoFrameRate:
        return "its frame rate cannot be read";
    case Problem::NoVideoOpened:
        return "no video is opened";
    case Problem::TooManyPhotos:
    case Problem::TooManyMusicFiles:
        return "too many files in one conversion";
    case Problem::MarksReversed:
        return "the start (" + Detail(r, 0) + ") is after the end (" + Detail(r, 1) + ")";
    case Problem::MarksEqual:
        return "the start and the end are both at " + Detail(r, 0) + ": nothing to convert";
    case Problem::NothingBetweenMarks:
        return "there is nothing to convert between the start mark (" + Detail(r, 0)
               + ") and the end mark (" + Detail(r, 1) + ")";
    case Problem::NoOutputFile:
        return "no output file is set";
    case Problem::OutputIsInput:
        return "the output file " + Detail(r, 0) + " is the video being converted";
    case Problem::OutputRefused:
    case Problem::OutputNotCreated:
        return Clause(Detail(r, 0));
    case Problem::OutputFolderMissing:
        return "the output folder " + Detail(r, 0) + " does not exist";
    case Problem::OutputNotWritable:
        return "the output file " + Detail(r, 0) + " cannot be written";
    case Problem::MissingMediaFiles:
        return GoneInput(Detail(r, 0));
    default:
        return std::string();
    }
}

// What the command line says of building and running the conversion.
std::string ConversionWords(const platform::Report &r)
{
    using platform::Problem;
    switch (r.problem) {
    case Problem::TimelineNotCreated:
        return std::string(kNotSetUp) + "no timeline could be made";
    case Problem::TimelineStep:
    case Problem::GraphStep:
        return kNotSetUp + Detail(r, 0) + " failed";
    case Problem::TransitionTooLong:
        return "a transition is longer than its clip";
    case Problem::RenderEngineNotCreated:
        return std::string(kNotSetUp) + "no render engine could be made";
    case Problem::FrontEndFailed:
        return Clause(Detail(r, 0));
    case Problem::RenderStreamFailed:
        return Detail(r, 0).empty() ? std::string(kNotSetUp) + "a stream could not be written"
                                    : Clause(Detail(r, 0));
    case Problem::RunFailed:
        return "the conversion could not start"
               + (Detail(r, 0).empty() ? std::string() : ": " + Clause(Detail(r, 0)));
    case Problem::SetFiltergraphFailed:
        return std::string(kNotSetUp) + "the graph was refused";
    case Problem::ProfileStep:
        return "the Windows Media writer refused the size, rate or bitrates";
    case Problem::UnsupportedFormat:
    case Problem::OutputFormatUnknown:
        return "the output format is not one this program writes";
    case Problem::WriterMissing:
        return "no writer for this format is installed";
    case Problem::NoCompressorBound:
        return "no compressor is bound";
    case Problem::CompressorNotAdded:
        return "the compressor \"" + Detail(r, 0) + "\" could not be added to the graph";
    case Problem::CopyRefused:
        return Clause(Detail(r, 0));
    case Problem::ConversionFailed:
        return Detail(r, 1).empty() ? Clause(Detail(r, 0))
                                    : "the conversion failed: " + Clause(Detail(r, 1));
    case Problem::NoSystemEnumerator:
    case Problem::NoClassEnumerator:
        return "the installed encoders cannot be listed";
    case Problem::CompressorNotBound:
    case Problem::CompressorNotCreated:
        return "the chosen encoder could not be created";
    case Problem::NoVideosFolder:
        return "there is no videos folder";
    default:
        return std::string();
    }
}

// Keeps the engine's reports, in the command line's words.
class EngineReports : public platform::ReportListener
{
public:
    void Take(const platform::Report &report) override
    {
        std::string words = InputWords(report);
        if (words.empty())
            words = ConversionWords(report);
        reasons.push_back(words);
    }
    std::vector<std::string> reasons;
};

EngineReports &Reports()
{
    static EngineReports reports;
    return reports;
}

} // namespace

void InstallEngineMessages()
{
    platform::SetReportListener(&Reports());
}

void KeepMissingInput(const std::string &path)
{
    Reports().reasons.push_back(GoneInput(path));
}

std::string TakeEngineReason()
{
    std::vector<std::string> reasons;
    reasons.swap(Reports().reasons);
    for (const std::string &reason : reasons)
        if (!reason.empty())
            return reason;
    return reasons.empty() ? std::string() : "the conversion could not be set up";
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
