#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

// Reader of profile (INI) files with the results the platform's private-profile reader gives:
// sections and keys compared without regard to ASCII case, blanks around names and values
// trimmed, one pair of matching surrounding quotes removed, ';' comment lines, values cut to the
// caller's buffer size minus one byte. UTF-8 files (with or without a byte-order mark) are read
// as they are; UTF-16 files with a byte-order mark are converted to UTF-8. The first section of
// a name and the first key of a name within it win.
class ProfileFile
{
public:
    ProfileFile() = default;
    // Parses the file once; an unreadable file behaves like an empty one.
    explicit ProfileFile(const std::string &filePath);

    bool IsLoaded() const { return m_loaded; }

    std::string GetString(const std::string &section, const std::string &key,
                          const std::string &defaultValue, std::size_t bufferSize = 2048) const;

    // Parses text already in memory (the bytes of a whole file).
    void Parse(const std::string &bytes);

private:
    using KeyMap = std::unordered_map<std::string, std::string>;
    std::unordered_map<std::string, KeyMap> m_sections;
    bool m_loaded = false;
};

// One lookup in one file; for many keys of the same file use ProfileFile.
std::string ReadProfileString(const std::string &section, const std::string &key,
                              const std::string &defaultValue, const std::string &filePath,
                              std::size_t bufferSize = 2048);
