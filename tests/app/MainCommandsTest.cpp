#include "AppTestSupport.h"

#include "app/AboutDlg.h"
#include "app/MainCommands.h"
#include "app/VinteloDlg.h"
#include "controls/HyperLink.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTest>

namespace {

using Dlg = CVinteloDlg;

void Click(const Dlg &dialog, int id)
{
    qobject_cast<QAbstractButton *>(dialog.Control(id))->click();
}

std::string IntroductionBesideProgram()
{
    return QCoreApplication::applicationDirPath().toStdString() + "/help/Introduction.htm";
}

} // namespace

TEST(MainCommands, HelpOpensTheIntroductionBesideTheProgramFromButtonAndF1)
{
    AppTestEnvironment env;
    Dlg dialog(env.store);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));

    EXPECT_EQ(maincommands::HelpPagePath(), IntroductionBesideProgram());
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(IntroductionBesideProgram())));

    Click(dialog, Dlg::IDC_BUTTON_HELP);
    QTest::keyClick(&dialog, Qt::Key_F1);
    const std::vector<std::string> expected(2, IntroductionBesideProgram());
    EXPECT_EQ(env.shell.Opened(), expected);
    EXPECT_TRUE(env.boxes.Boxes().empty());

    // Neither the desktop nor a browser can show it: nothing is reported.
    env.shell.QueueOpenResult(platform::SE_ERR_NOASSOC);
    env.shell.SetBrowserCommand("browser %u");
    env.shell.QueueStartResult(platform::ERROR_FILE_NOT_FOUND);
    QTest::keyClick(&dialog, Qt::Key_F1);
    env.shell.QueueOpenResult(platform::ERROR_FILE_NOT_FOUND);
    env.shell.SetBrowserCommand(std::nullopt);
    Click(dialog, Dlg::IDC_BUTTON_HELP);
    EXPECT_EQ(env.shell.Opened().size(), 4u);
    EXPECT_EQ(env.shell.Started(),
              std::vector<std::string>{"browser " + IntroductionBesideProgram()});
    EXPECT_TRUE(env.boxes.Boxes().empty());
    EXPECT_TRUE(dialog.isVisible());
}

TEST(MainCommands, HomepageOpensTheHomePageAndSaysWhenItCannot)
{
    AppTestEnvironment env;
    Dlg dialog(env.store);
    Click(dialog, Dlg::IDC_BUTTON_HOMEPAGE);
    EXPECT_EQ(env.shell.Opened(), std::vector<std::string>{"https://clipwright.org/"});
    EXPECT_EQ(env.shell.OpenShowCommands(), std::vector<int>{platform::SW_SHOWNORMAL});
    EXPECT_TRUE(env.boxes.Boxes().empty());

    // Only the shell is asked; a failure is reported, not retried through the browser.
    env.shell.SetBrowserCommand("browser %u");
    env.shell.QueueOpenResult(platform::SE_ERR_NOASSOC);
    Click(dialog, Dlg::IDC_BUTTON_HOMEPAGE);
    EXPECT_EQ(env.shell.BrowserQueries(), 0);
    ASSERT_EQ(env.boxes.Boxes().size(), 1u);
    const platform::MessageBoxRequest &box = env.boxes.Boxes()[0];
    EXPECT_EQ(box.caption, "unknown errors");
    EXPECT_EQ(box.kind, platform::BoxKind::Owned);
    EXPECT_EQ(box.text, "The Program does not launch your web browser to access "
                        "https://clipwright.org/ ,\nPlease launch your web browser and input "
                        "the URL manually.");

    // 32 is still a failure, 33 a success.
    env.shell.QueueOpenResult(32);
    env.shell.QueueOpenResult(33);
    Click(dialog, Dlg::IDC_BUTTON_HOMEPAGE);
    Click(dialog, Dlg::IDC_BUTTON_HOMEPAGE);
    EXPECT_EQ(env.boxes.Boxes().size(), 2u);
}

TEST(MainCommands, AboutRunsTheAboutBoxFromTheButtonAndTheMenuCommand)
{
    AppTestEnvironment env;
    Dlg dialog(env.store);
    dialog.show();
    AutoCloseModal closer;
    std::vector<QString> links;
    closer.Examine([&links, &dialog](QWidget *modal) {
        auto *about = qobject_cast<CAboutDlg *>(modal);
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(about->parentWidget(), &dialog);
        links.push_back(about->HomePageLink()->GetTarget());
        links.push_back(about->SupportLink()->GetTarget());
    });
    Click(dialog, Dlg::IDC_BUTTON_ABOUT);
    dialog.OnAbout(); // what the pop-up menu's About item calls
    EXPECT_EQ(closer.Closed(), (std::vector<std::string>{"CAboutDlg", "CAboutDlg"}));
    EXPECT_EQ(links,
              (std::vector<QString>{"https://clipwright.org/", "mailto:support@clipwright.org",
                                    "https://clipwright.org/", "mailto:support@clipwright.org"}));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(env.shell.Opened().empty());
}
