#include "localisation/DesktopLanguage.h"

#include <QLocale>

namespace {

// "German_Swiss_utf-8" -> "german_swiss"
QString BaseName(const std::string &file)
{
    QString name = QString::fromStdString(file).toLower();
    for (const QLatin1String suffix : {QLatin1String("_utf-8"), QLatin1String("_unicode")})
        if (name.endsWith(suffix))
            name.chop(suffix.size());
    return name;
}

} // namespace

std::string DesktopLanguage(const std::vector<std::string> &languageFiles,
                            const QStringList &desktopLanguages)
{
    for (const QString &desktop : desktopLanguages) {
        const QLocale locale(desktop);
        if (locale.language() == QLocale::C || locale.language() == QLocale::AnyLanguage)
            continue;
        const QString language = QLocale::languageToString(locale.language()).toLower();
        const QString territory
            = QLocale::territoryToString(locale.territory()).toLower().replace(' ', '_');
        // The file of the desktop's country first ("German_Austria"), then the plain language,
        // then any of its variants.
        const std::string *plain = nullptr, *variant = nullptr;
        for (const std::string &file : languageFiles) {
            const QString base = BaseName(file);
            if (base == language + '_' + territory)
                return file;
            if (base == language && !plain)
                plain = &file;
            if (base.startsWith(language + '_') && !variant)
                variant = &file;
        }
        if (plain)
            return *plain;
        if (variant)
            return *variant;
    }
    return "english";
}
