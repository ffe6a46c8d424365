#include "app/MainCommands.h"

#include "app/AboutDlg.h"
#include "app/ProductInfo.h"
#include "controls/HyperLink.h"
#include "platform/MessageBoxes.h"
#include "platform/ShellOpen.h"

#include <QCoreApplication>

namespace maincommands {

void RunAbout(QWidget *owner)
{
    CAboutDlg dialog(owner);
    dialog.exec();
}

std::string HelpPagePath()
{
    return QCoreApplication::applicationDirPath().toStdString() + "/help/Introduction.htm";
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
