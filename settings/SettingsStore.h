#pragma once

#include <memory>
#include <string>

class QSettings;

// Per-user settings: an INI file ~/.config/Korvane/<program>.conf, one group per section.
// Reads never fail: a missing or unreadable value gives the caller's default.
class SettingsStore
{
public:
    // The store of the given company and program (the executable's base name).
    SettingsStore(const std::string &company, const std::string &application);
    // A store on an explicit file, for tests and tools.
    explicit SettingsStore(const std::string &filePath);
    ~SettingsStore();

    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    int ReadInt(const std::string &section, const std::string &name, int defaultValue) const;
    std::string ReadString(const std::string &section, const std::string &name,
                           const std::string &defaultValue) const;
    bool WriteInt(const std::string &section, const std::string &name, int value);
    bool WriteString(const std::string &section, const std::string &name, const std::string &value);

    std::string FilePath() const;

private:
    std::unique_ptr<QSettings> m_settings;
};
