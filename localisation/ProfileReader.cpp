#include "localisation/ProfileReader.h"

#include <cstdint>
#include <fstream>

namespace {

// Language files are a few kilobytes; anything past this is not a profile file and would only
// cost memory.
constexpr std::size_t kMaxFileBytes = 16u * 1024u * 1024u;

std::string LowerAscii(std::string text)
{
    for (char &c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string Trim(const std::string &text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

void AppendUtf8(std::string *out, std::uint32_t code)
{
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (code >> 18)));
        out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Unpaired surrogates become U+FFFD and an odd last byte is dropped, so damaged files still read.
std::string Utf16ToUtf8(const std::string &bytes, std::size_t offset, bool bigEndian)
{
    std::string out;
    out.reserve(bytes.size());
    const auto unit = [&](std::size_t i) -> std::uint32_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    std::size_t i = offset;
    while (i + 1 < bytes.size()) {
        std::uint32_t code = unit(i);
        i += 2;
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (i + 1 < bytes.size()) {
                const std::uint32_t low = unit(i);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                } else {
                    code = 0xFFFD;
                }
            } else {
                code = 0xFFFD;
            }
        } else if (code >= 0xDC00 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        AppendUtf8(&out, code);
    }
    return out;
}

// Length of the UTF-8 sequence led by c, or 0 when c cannot lead one.
std::size_t SequenceLength(unsigned char c)
{
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return 2;
    if (c >= 0xE0 && c <= 0xEF)
        return 3;
    if (c >= 0xF0 && c <= 0xF4)
        return 4;
    return 0;
}

// Cuts to at most maxBytes; a cut through a well-formed UTF-8 character drops the whole
// character instead of leaving half of it.
std::string CutText(const std::string &text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t start = maxBytes;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80
           && maxBytes - start < 3)
        --start;
    const std::size_t length = SequenceLength(static_cast<unsigned char>(text[start]));
    if (start < maxBytes && length > 1 && start + length > maxBytes)
        return text.substr(0, start);
    return text.substr(0, maxBytes);
}

} // namespace

ProfileFile::ProfileFile(const std::string &filePath)
{
    std::ifstream in(filePath, std::ios::binary);
    if (!in)
        return;
    std::string bytes;
    char chunk[65536];
    while (in && bytes.size() < kMaxFileBytes) {
        in.read(chunk, sizeof chunk);
        bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    if (bytes.size() > kMaxFileBytes)
        bytes.resize(kMaxFileBytes);
    Parse(bytes);
}

void ProfileFile::Parse(const std::string &raw)
{
    m_sections.clear();
    m_loaded = true;

    std::string text;
    if (raw.size() >= 2 && raw[0] == '\xFF' && raw[1] == '\xFE')
        text = Utf16ToUtf8(raw, 2, false);
    else if (raw.size() >= 2 && raw[0] == '\xFE' && raw[1] == '\xFF')
        text = Utf16ToUtf8(raw, 2, true);
    else if (raw.size() >= 3 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text = raw.substr(3);
    else
        text = raw;

    KeyMap *current = nullptr;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        // A value is a C string to the caller: it ends at the first NUL.
        std::string line = text.substr(pos, end - pos);
        if (const std::size_t nul = line.find('\0'); nul != std::string::npos)
            line.resize(nul);
        pos = end + 1;

        line = Trim(line);
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            const std::string name = LowerAscii(
                Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
            // A repeated section adds nothing: the first one answers.
            const auto [it, inserted] = m_sections.try_emplace(name);
            current = inserted ? &it->second : nullptr;
            continue;
        }
        if (!current)
            continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = LowerAscii(Trim(line.substr(0, equals)));
        if (key.empty())
            continue;
        std::string value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
            && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        current->try_emplace(key, std::move(value));
    }
}

std::string ProfileFile::GetString(const std::string &section, const std::string &key,
                                   const std::string &defaultValue, std::size_t bufferSize) const
{
    if (bufferSize == 0)
        return std::string();
    const std::size_t limit = bufferSize - 1;
    const auto sectionIt = m_sections.find(LowerAscii(Trim(section)));
    if (sectionIt == m_sections.end())
        return CutText(defaultValue, limit);
    const auto keyIt = sectionIt->second.find(LowerAscii(Trim(key)));
    if (keyIt == sectionIt->second.end())
        return CutText(defaultValue, limit);
    return CutText(keyIt->second, limit);
}

std::string ReadProfileString(const std::string &section, const std::string &key,
                              const std::string &defaultValue, const std::string &filePath,
                              std::size_t bufferSize)
{
    return ProfileFile(filePath).GetString(section, key, defaultValue, bufferSize);
}
