#include "app/MainCommands.h"

#include "app/AboutDlg.h"
#include "app/ProductInfo.h"
#include "controls/HyperLink.h"
#include "localisation/Language.h"
#include "localisation/RuntimeLocale.h"
#include "platform/MessageBoxes.h"
#include "platform/ShellOpen.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <string_view>

namespace maincommands {

void RunAbout(QWidget *owner)
{
    CAboutDlg dialog(owner);
    dialog.exec();
}

std::string HelpPagePath()
{
    return HelpPagePath(QCoreApplication::applicationDirPath().toStdString(),
                        CLanguage::Instance());
}

std::string HelpPagePath(const std::string &programFolder, const CLanguage &language)
{
    const std::string english = programFolder + "/help/Introduction.htm";
    const char *code = language.HasKnownLocale() ? IsoLanguageCode(language.GetPrimaryLanguage(),
                                                                   language.GetSubLanguage())
                                                 : nullptr;
    if (!code || std::string_view(code) == "en")
        return english;
    const std::string translated = programFolder + "/help/" + code + "/Introduction.htm";
    return QFileInfo(QString::fromStdString(translated)).isFile() ? translated : english;
}

bool HelpOnlyInEnglish()
{
    return HelpOnlyInEnglish(QCoreApplication::applicationDirPath().toStdString(),
                             CLanguage::Instance());
}

bool HelpOnlyInEnglish(const std::string &programFolder, const CLanguage &language)
{
    const char *code = language.HasKnownLocale() ? IsoLanguageCode(language.GetPrimaryLanguage(),
                                                                   language.GetSubLanguage())
                                                 : nullptr;
    return code && std::string_view(code) != "en"
           && HelpPagePath(programFolder, language) == programFolder + "/help/Introduction.htm";
}

void StartHelp()
{
    CHyperLink::OpenTarget(QString::fromStdString(HelpPagePath()), platform::SW_SHOW);
}

void OpenHomepage()
{
    const int result = platform::ShellOpen(product::kHomePage, platform::SW_SHOWNORMAL);
    if (platform::ShellSucceeded(result))
        return;
    platform::ShowMessageBox(std::string("The Program does not launch your web browser to access ")
                                 + product::kHomePage
                                 + " ,\nPlease launch your web browser and input the URL manually.",
                             "unknown errors");
}

} // namespace maincommands
