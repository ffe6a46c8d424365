#pragma once

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <string>

// A temporary program root with a "language" folder that tests fill with files.
class LanguageFolder
{
public:
    LanguageFolder() { std::filesystem::create_directories(Language()); }

    std::string Root() const { return m_dir.path().toStdString(); }
    std::string Language() const { return Root() + "/language"; }

    std::string Write(const std::string &fileName, const std::string &bytes) const
    {
        const std::string path = Language() + "/" + fileName;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

private:
    QTemporaryDir m_dir;
};
