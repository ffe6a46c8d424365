#include "localisation/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace {

std::unique_ptr<QTranslator> &InstalledTranslator()
{
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

} // namespace

QString QtTranslationsFolder()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

void RemoveQtTranslation()
{
    std::unique_ptr<QTranslator> &installed = InstalledTranslator();
    if (installed && QCoreApplication::instance())
        QCoreApplication::removeTranslator(installed.get());
    installed.reset();
}

bool InstallQtTranslation(const QLocale &locale)
{
    RemoveQtTranslation();
    if (!QCoreApplication::instance() || locale.language() == QLocale::English
        || locale.language() == QLocale::C)
        return false;
    auto translator = std::make_unique<QTranslator>();
    // Tries qtbase_de_AT, then qtbase_de, for the locale's languages in order.
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QtTranslationsFolder()))
        return false;
    // Installing sends every widget a language change, so open Qt dialogs follow at once.
    if (!QCoreApplication::installTranslator(translator.get()))
        return false;
    InstalledTranslator() = std::move(translator);
    return true;
}
