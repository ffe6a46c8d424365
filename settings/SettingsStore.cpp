#include "settings/SettingsStore.h"

#include <QSettings>
#include <QStandardPaths>
#include <QString>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

// Sections and names match without regard to case, as registry keys do: the existing
// spelling is used when there is one.
QString Existing(const QStringList &present, const QString &wanted)
{
    for (const QString &candidate : present)
        if (candidate.compare(wanted, Qt::CaseInsensitive) == 0)
            return candidate;
    return wanted;
}

QString Key(QSettings &settings, const std::string &section, const std::string &name)
{
    const QString group = Existing(settings.childGroups(), QString::fromStdString(section));
    settings.beginGroup(group);
    const QString key = Existing(settings.childKeys(), QString::fromStdString(name));
    settings.endGroup();
    return group + QLatin1Char('/') + key;
}

// A stored integer must be a whole 32-bit number; anything else reads as the default, the way
// a registry value of the wrong type or size would.
bool ParseInt(const QString &text, int *value)
{
    const QByteArray bytes = text.trimmed().toUtf8();
    if (bytes.isEmpty())
        return false;
    errno = 0;
    char *end = nullptr;
    const long long parsed = std::strtoll(bytes.constData(), &end, 10);
    if (errno != 0 || end == bytes.constData() || *end != '\0')
        return false;
    // DWORD values above INT_MAX come back as negative numbers.
    if (parsed < INT_MIN || parsed > static_cast<long long>(UINT_MAX))
        return false;
    *value = static_cast<int>(static_cast<unsigned int>(parsed & 0xFFFFFFFFll));
    return true;
}

} // namespace

// ~/.config/<company>/<application>.conf: Qt's own INI naming would end in ".ini".
SettingsStore::SettingsStore(const std::string &company, const std::string &application)
    : m_settings(std::make_unique<QSettings>(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + '/'
            + QString::fromStdString(company) + '/' + QString::fromStdString(application)
            + QStringLiteral(".conf"),
        QSettings::IniFormat))
{
}

SettingsStore::SettingsStore(const std::string &filePath)
    : m_settings(
        std::make_unique<QSettings>(QString::fromStdString(filePath), QSettings::IniFormat))
{
}

SettingsStore::~SettingsStore() = default;

int SettingsStore::ReadInt(const std::string &section, const std::string &name,
                           int defaultValue) const
{
    const QVariant value = m_settings->value(Key(*m_settings, section, name));
    if (!value.isValid())
        return defaultValue;
    int parsed = 0;
    // A list (a value with commas) or any other shape is not an integer.
    if (value.typeId() != QMetaType::QString || !ParseInt(value.toString(), &parsed))
        return defaultValue;
    return parsed;
}

std::string SettingsStore::ReadString(const std::string &section, const std::string &name,
                                      const std::string &defaultValue) const
{
    const QVariant value = m_settings->value(Key(*m_settings, section, name));
    if (!value.isValid())
        return defaultValue;
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", ")).toStdString();
    if (value.typeId() != QMetaType::QString)
        return defaultValue;
    return value.toString().toStdString();
}

bool SettingsStore::WriteInt(const std::string &section, const std::string &name, int value)
{
    m_settings->setValue(Key(*m_settings, section, name), QString::number(value));
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

bool SettingsStore::WriteString(const std::string &section, const std::string &name,
                                const std::string &value)
{
    m_settings->setValue(Key(*m_settings, section, name), QString::fromStdString(value));
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

std::string SettingsStore::FilePath() const
{
    return m_settings->fileName().toStdString();
}
