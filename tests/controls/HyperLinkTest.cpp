#include "controls/HyperLink.h"
#include "platform/MessageBoxes.h"
#include "platform/ShellOpen.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <cerrno>

namespace {

const char kTarget[] = "https://example.org/page";

// A dialog-like parent with one static text that becomes a link.
struct LinkOnPage
{
    QWidget page;
    CHyperLink *link;

    explicit LinkOnPage(const QString &text, const QRect &rect = QRect(20, 20, 300, 30),
                        Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop)
    {
        page.resize(400, 200);
        link = new CHyperLink(&page);
        link->setText(text);
        link->setAlignment(alignment);
        link->setGeometry(rect);
    }
};

void MoveInto(CHyperLink *link)
{
    const QPoint inside = link->rect().center();
    QCursor::setPos(link->mapToGlobal(inside));
    QMouseEvent move(QEvent::MouseMove, QPointF(inside), QPointF(link->mapToGlobal(inside)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(link, &move);
}

// Leaves the control and waits for the hover poll to notice.
bool LeaveAndWait(CHyperLink *link)
{
    QCursor::setPos(link->mapToGlobal(QPoint(-500, -500)));
    return QTest::qWaitFor([link] { return !link->IsHovering(); }, 10000);
}

} // namespace

TEST(HyperLink, AttachingTakesTextOrTargetAndFitsTheText)
{
    // An empty control with a target shows the target.
    LinkOnPage empty{QString()};
    empty.link->SetTarget(kTarget);
    empty.link->PreSubclassWindow();
    EXPECT_EQ(empty.link->text(), kTarget);
    EXPECT_EQ(empty.link->GetTarget(), kTarget);
    EXPECT_EQ(empty.link->toolTip(), kTarget);
    EXPECT_TRUE(empty.link->hasMouseTracking());
    EXPECT_TRUE(empty.link->HasLinkCursor());
    EXPECT_EQ(empty.link->cursor().shape(), Qt::PointingHandCursor);

    // A control with text and no target opens its own text.
    LinkOnPage texted(QStringLiteral("Visit us"));
    texted.link->PreSubclassWindow();
    EXPECT_EQ(texted.link->GetTarget(), "Visit us");
    EXPECT_EQ(texted.link->text(), "Visit us");

    // The size is the text's size in the underlined font; the mode is still the initial one,
    // so the control keeps its own (not underlined) font.
    QFont underlined = texted.link->font();
    underlined.setUnderline(true);
    const QSize text = QFontMetrics(underlined).size(Qt::TextSingleLine, "Visit us");
    EXPECT_EQ(texted.link->size(), text);
    EXPECT_EQ(texted.link->pos(), QPoint(20, 20));
    EXPECT_FALSE(texted.link->font().underline());
    EXPECT_EQ(texted.link->GetUnderlineMode(), CHyperLink::UnderlineHover);
    EXPECT_EQ(texted.link->CurrentColour(), QColor(0, 0, 238));

    // A new target re-fits the control and its tooltip; the text stays.
    texted.link->SetTarget(kTarget);
    EXPECT_EQ(texted.link->toolTip(), kTarget);
    EXPECT_EQ(texted.link->text(), "Visit us");
}

TEST(HyperLink, FittingKeepsTheEdgeTheAlignmentNames)
{
    const QRect box(100, 50, 300, 40);
    LinkOnPage left(QStringLiteral("Link"), box, Qt::AlignLeft | Qt::AlignTop);
    LinkOnPage centre(QStringLiteral("Link"), box, Qt::AlignHCenter | Qt::AlignVCenter);
    LinkOnPage right(QStringLiteral("Link"), box, Qt::AlignRight | Qt::AlignTop);
    for (LinkOnPage *page : {&left, &centre, &right})
        page->link->PreSubclassWindow();
    const QRect l = left.link->geometry(), c = centre.link->geometry(), r = right.link->geometry();
    ASSERT_LT(l.width(), box.width());
    ASSERT_LT(l.height(), box.height());

    EXPECT_EQ(l.topLeft(), box.topLeft());
    EXPECT_EQ(r.top(), box.top());
    EXPECT_EQ(r.x() + r.width(), box.x() + box.width());
    EXPECT_NEAR(c.center().x(), box.center().x(), 1);
    EXPECT_NEAR(c.center().y(), box.center().y(), 1);

    // Without adjust-to-fit the control keeps its place and size.
    LinkOnPage fixed(QStringLiteral("Link"), box);
    fixed.link->SetAdjustToFit(false);
    fixed.link->PreSubclassWindow();
    EXPECT_EQ(fixed.link->geometry(), box);
}

TEST(HyperLink, UnderlineModesAndHoverColours)
{
    LinkOnPage always(QStringLiteral("Always"));
    always.page.show();
    always.link->PreSubclassWindow();
    always.link->SetUnderlineMode(CHyperLink::UnderlineAlways);
    EXPECT_TRUE(always.link->font().underline());

    MoveInto(always.link);
    EXPECT_TRUE(always.link->IsHovering());
    EXPECT_EQ(always.link->CurrentColour(), QColor(255, 0, 0));
    EXPECT_EQ(always.link->palette().color(always.link->foregroundRole()), QColor(255, 0, 0));
    ASSERT_TRUE(LeaveAndWait(always.link));
    EXPECT_TRUE(always.link->font().underline());
    EXPECT_EQ(always.link->palette().color(always.link->foregroundRole()), QColor(0, 0, 238));

    LinkOnPage hover(QStringLiteral("Hover"));
    hover.page.show();
    hover.link->PreSubclassWindow();
    EXPECT_FALSE(hover.link->font().underline());
    MoveInto(hover.link);
    EXPECT_TRUE(hover.link->font().underline());
    // While the pointer stays over the link, the poll keeps it hovering.
    QTest::qWait(3 * CHyperLink::kHoverPeriodMs);
    EXPECT_TRUE(hover.link->IsHovering());
    ASSERT_TRUE(LeaveAndWait(hover.link));
    EXPECT_FALSE(hover.link->font().underline());

    LinkOnPage never(QStringLiteral("Never"));
    never.page.show();
    never.link->PreSubclassWindow();
    never.link->SetUnderlineMode(CHyperLink::UnderlineNever);
    MoveInto(never.link);
    EXPECT_FALSE(never.link->font().underline());
    EXPECT_EQ(never.link->CurrentColour(), QColor(255, 0, 0));
    ASSERT_TRUE(LeaveAndWait(never.link));
    EXPECT_FALSE(never.link->font().underline());

    // Visited links are purple once the pointer has gone.
    never.link->SetVisitedState(true);
    EXPECT_EQ(never.link->palette().color(never.link->foregroundRole()), QColor(85, 26, 139));
}

TEST(HyperLink, ClickOpensTheTargetAndFallsBackToTheBrowser)
{
    platform::MessageBoxRecorder boxes;
    platform::ShellRecorder shell;
    LinkOnPage page(QStringLiteral("Home"));
    page.link->SetTarget(kTarget);
    page.page.show();
    page.link->PreSubclassWindow();

    QTest::mouseClick(page.link, Qt::LeftButton, {}, page.link->rect().center());
    ASSERT_EQ(shell.Opened(), std::vector<std::string>{kTarget});
    EXPECT_EQ(shell.OpenShowCommands().front(), platform::SW_SHOWNORMAL);
    EXPECT_EQ(shell.BrowserQueries(), 0);
    EXPECT_TRUE(page.link->GetVisitedState());
    EXPECT_EQ(page.link->CurrentColour(), QColor(85, 26, 139));
    EXPECT_TRUE(boxes.Boxes().empty());

    // The desktop cannot open it: the default browser's command line takes over.
    shell.QueueOpenResult(platform::SE_ERR_NOASSOC);
    shell.SetBrowserCommand(R"("/usr/lib/firefox/firefox" -new-window "%u")");
    EXPECT_EQ(CHyperLink::OpenTarget(kTarget, platform::SW_SHOW), platform::kProgramStarted);
    ASSERT_EQ(shell.Started().size(), 1u);
    EXPECT_EQ(shell.Started().back(),
              std::string(R"("/usr/lib/firefox/firefox" -new-window )") + kTarget);

    // No browser either: the desktop's code comes back.
    shell.QueueOpenResult(platform::ERROR_FILE_NOT_FOUND);
    shell.SetBrowserCommand(std::nullopt);
    EXPECT_EQ(CHyperLink::OpenTarget(kTarget, platform::SW_SHOW), platform::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(shell.Started().size(), 1u);
}

TEST(HyperLink, FailedClicksReportTheCodeAndLeaveTheLinkUnvisited)
{
    platform::MessageBoxRecorder boxes;
    platform::ShellRecorder shell;
    LinkOnPage page(QStringLiteral("Mail"));
    page.link->SetTarget(QStringLiteral("mailto:someone@example.org"));
    page.page.show();
    page.link->PreSubclassWindow();
    page.link->SetVisitedState(true);

    shell.QueueOpenResult(platform::SE_ERR_SHARE);
    QTest::mouseClick(page.link, Qt::LeftButton, {}, page.link->rect().center());
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Unable to open hyperlink:\n\nA sharing violation occurred. ");
    EXPECT_EQ(boxes.Boxes()[0].kind, platform::BoxKind::Application);
    EXPECT_EQ(boxes.Boxes()[0].icon, platform::BoxIcon::Exclamation);
    EXPECT_FALSE(page.link->GetVisitedState());
    EXPECT_EQ(page.link->CurrentColour(), QColor(0, 0, 238));

    // The browser fallback fails too: its code is the one reported.
    shell.QueueOpenResult(platform::SE_ERR_NOASSOC);
    shell.SetBrowserCommand("browser %U");
    shell.QueueStartResult(platform::ERROR_BAD_FORMAT);
    QTest::mouseClick(page.link, Qt::LeftButton, {}, page.link->rect().center());
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[1].text, "Unable to open hyperlink:\n\nThe .EXE file is invalid\n"
                                     "(non-Win32 .EXE or error in .EXE image).");
    EXPECT_EQ(shell.Started(), std::vector<std::string>{"browser mailto:someone@example.org"});

    // A code the table does not name.
    CHyperLink::ShowOpenError(40);
    ASSERT_EQ(boxes.Boxes().size(), 3u);
    EXPECT_EQ(boxes.Boxes()[2].text, "Unable to open hyperlink:\n\nUnknown Error (40) occurred.");
    EXPECT_EQ(boxes.Boxes()[2].icon, platform::BoxIcon::Exclamation);
    EXPECT_EQ(OpenErrorText(0), "Unable to open hyperlink:\n\nThe operating system is out\nof "
                                "memory or resources.");
    EXPECT_EQ(OpenErrorText(30), "Unable to open hyperlink:\n\nThe DDE transaction could not\nbe "
                                 "completed because other DDE transactions\nwere being processed.");
    EXPECT_EQ(OpenErrorText(-7), "Unable to open hyperlink:\n\nUnknown Error (-7) occurred.");

    // A press that ends outside the control is no click.
    QTest::mouseClick(page.link, Qt::LeftButton, {}, QPoint(-5, -5));
    EXPECT_EQ(shell.Opened().size(), 2u);
}

TEST(HyperLink, BrowserCommandLinesAreCutAtTheirPlaceholder)
{
    const char target[] = "https://clipwright.org/";
    // A quoted program path, an option and a quoted placeholder.
    EXPECT_EQ(BrowserCommandLine(R"("/opt/My Browser/browser" --new-window "%1")", target),
              std::string(R"("/opt/My Browser/browser" --new-window )") + target);
    EXPECT_EQ(BrowserCommandLine(R"("C:\Program Files\b.exe" -osint -url "%1")", target),
              std::string(R"("C:\Program Files\b.exe" -osint -url )") + target);
    // The first quoted placeholder wins over an earlier unquoted one.
    EXPECT_EQ(CutBrowserCommand(R"(browser %u --a "%U" --b)"), "browser %u --a");
    // Unquoted placeholders, desktop field codes, and none at all.
    EXPECT_EQ(CutBrowserCommand("firefox-esr %u"), "firefox-esr");
    EXPECT_EQ(CutBrowserCommand("chromium %U --flag"), "chromium");
    EXPECT_EQ(CutBrowserCommand("b %1 %2"), "b");
    EXPECT_EQ(CutBrowserCommand("epiphany"), "epiphany");
    EXPECT_EQ(CutBrowserCommand(""), "");
    EXPECT_EQ(BrowserCommandLine("epiphany", target), std::string("epiphany ") + target);

    // Splitting follows the desktop entry rules; a target with blanks stays one argument.
    const std::string line = BrowserCommandLine(
        R"("/opt/My Browser/browser" --class=%c %i -x "%u")", "/tmp/a b\"c.htm");
    EXPECT_EQ(platform::SplitCommandLine(line),
              (std::vector<std::string>{"/opt/My Browser/browser", "--class=%c", "-x",
                                        "/tmp/a b\"c.htm"}));
    EXPECT_EQ(platform::SplitCommandLine(R"(a  "b \\ \$"  100%%)"),
              (std::vector<std::string>{"a", R"(b \ $)", "100%"}));
    EXPECT_TRUE(platform::SplitCommandLine("   ").empty());
}

TEST(HyperLink, DesktopFailuresBecomeShellCodes)
{
    using namespace platform;
    EXPECT_TRUE(ShellSucceeded(ResultFromOpenerExit(0)));
    EXPECT_EQ(ResultFromOpenerExit(2), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ResultFromOpenerExit(3), SE_ERR_NOASSOC);
    EXPECT_EQ(ResultFromOpenerExit(4), SE_ERR_ASSOCINCOMPLETE);
    EXPECT_EQ(ResultFromOpenerExit(1), SE_ERR_ASSOCINCOMPLETE);
    EXPECT_EQ(ResultFromStartError(ENOENT), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ResultFromStartError(ENOTDIR), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ResultFromStartError(EACCES), SE_ERR_ACCESSDENIED);
    EXPECT_EQ(ResultFromStartError(ENOEXEC), ERROR_BAD_FORMAT);
    EXPECT_EQ(ResultFromStartError(ENOMEM), SE_ERR_OOM);
    EXPECT_EQ(ResultFromStartError(ETXTBSY), SE_ERR_SHARE);
    EXPECT_EQ(ResultFromStartError(EAGAIN), SE_ERR_OUT_OF_RESOURCES);

    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    QFile page(dir.path() + "/a page.htm");
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    EXPECT_EQ(MissingLocalTarget(root + "/a page.htm"), 0);
    EXPECT_EQ(MissingLocalTarget("file://" + root + "/a%20page.htm"), 0);
    EXPECT_EQ(MissingLocalTarget(root + "/gone.htm"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(MissingLocalTarget("file://" + root + "/no/such/folder.htm"), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(MissingLocalTarget("https://clipwright.org/"), 0);
    EXPECT_EQ(MissingLocalTarget("mailto:a@b.c"), 0);

    const char entry[] = "# comment\n[Desktop Action new-window]\nExec=wrong --new\n"
                         "[Desktop Entry]\nName=Browser\nExec[de]=localised\n"
                         "Exec = /usr/bin/browser\\s--x %u\r\n";
    EXPECT_EQ(ExecLineOfDesktopEntry(entry), std::optional<std::string>("/usr/bin/browser --x %u"));
    EXPECT_EQ(ExecLineOfDesktopEntry("[Desktop Entry]\nName=No command\n"), std::nullopt);
}

TEST(HyperLink, TheDesktopServiceRefusesWhatIsNotThere)
{
    // Nothing here reaches xdg-open or a browser: missing files are refused before.
    ASSERT_EQ(platform::SetShellService(nullptr), nullptr);
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    EXPECT_EQ(platform::ShellOpen(root + "/help/Introduction.htm", platform::SW_SHOW),
              platform::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(platform::ShellOpen(root + "/Introduction.htm", platform::SW_SHOW),
              platform::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(platform::StartProgram("clipwright-no-such-program-here --x", platform::SW_SHOW),
              platform::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(platform::StartProgram("\"" + root + "/none/browser\" x", platform::SW_SHOW),
              platform::ERROR_PATH_NOT_FOUND);
    QFile plain(dir.path() + "/not-a-program");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.write("data");
    plain.close();
    EXPECT_EQ(platform::StartProgram(root + "/not-a-program", platform::SW_SHOW),
              platform::SE_ERR_ACCESSDENIED);
    EXPECT_EQ(platform::StartProgram("true", platform::SW_SHOW), platform::kProgramStarted);
}

TEST(HyperLink, TheDesktopFallbackStartsTheDefaultBrowserWithTheTarget)
{
    // A stand-in browser registered as the default for web pages, in folders of this test.
    QTemporaryDir dir;
    const QString root = dir.path();
    ASSERT_TRUE(QDir().mkpath(root + "/config") && QDir().mkpath(root + "/data/applications"));
    const QString browser = root + "/fake browser";
    const auto write = [](const QString &path, const QString &text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
    };
    write(browser, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n");
    QFile::setPermissions(browser, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    write(root + "/data/applications/fake-browser.desktop",
          "[Desktop Entry]\nType=Application\nName=Fake\nExec=\"" + browser
              + "\" --new-window %u\nMimeType=text/html;\n");
    write(root + "/config/mimeapps.list",
          "[Default Applications]\ntext/html=fake-browser.desktop\n");
    const QByteArray config = qgetenv("XDG_CONFIG_HOME"), data = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_CONFIG_HOME", (root + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (root + "/data").toUtf8());

    const std::optional<std::string> command = platform::DefaultBrowserCommand();
    qputenv("XDG_CONFIG_HOME", config);
    qputenv("XDG_DATA_HOME", data);
    if (!command && QStandardPaths::findExecutable("xdg-mime").isEmpty())
        GTEST_SKIP() << "xdg-mime is not installed";
    ASSERT_EQ(command, "\"" + browser.toStdString() + "\" --new-window %u");

    const std::string target = "/tmp/a page.htm";
    EXPECT_EQ(platform::StartProgram(BrowserCommandLine(*command, target), platform::SW_SHOW),
              platform::kProgramStarted);
    QFile args(browser + ".args");
    ASSERT_TRUE(QTest::qWaitFor([&args] { return args.size() > 0; }, 20000));
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_EQ(args.readAll().toStdString(), "--new-window\n" + target + "\n");
}
