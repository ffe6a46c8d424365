#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>

#include <map>

namespace {

struct HelpCheck
{
    QStringList problems;
    QSet<QString> reachable;
};

QString Read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Follows every link of the pages in folder from start; lists dead links, missing anchors,
// pages nothing links to, and pages without the shared stylesheet. A translated set lies in a
// folder of its own below the English pages and shares their stylesheet ("../style.css"); that
// is the one link allowed to leave its folder.
HelpCheck CheckHelp(const QString &folder, const QString &start,
                    const QString &stylesheet = QStringLiteral("style.css"))
{
    HelpCheck check;
    const QDir dir(folder);
    const QRegularExpression links(QStringLiteral(R"re((?:href|src)\s*=\s*"([^"]*)")re"));
    const QRegularExpression ids(QStringLiteral(R"re(\bid\s*=\s*"([^"]*)")re"));
    std::map<QString, QSet<QString>> anchors;
    for (const QString &page : dir.entryList({QStringLiteral("*.htm")}, QDir::Files)) {
        const QString text = Read(dir.filePath(page));
        for (const auto &match : ids.globalMatch(text))
            anchors[page].insert(match.captured(1));
        if (!text.startsWith(QStringLiteral("<!DOCTYPE html>")) || !text.contains("<title>"))
            check.problems << page + ": not a complete page";
        if (!text.contains(QStringLiteral(R"(<link rel="stylesheet" href=")") + stylesheet
                           + QStringLiteral(R"(">)")))
            check.problems << page + ": without the shared stylesheet";
    }

    QStringList queue{start};
    check.reachable.insert(start);
    while (!queue.isEmpty()) {
        const QString page = queue.takeFirst();
        const QString text = Read(dir.filePath(page));
        for (const auto &match : links.globalMatch(text)) {
            const QString link = match.captured(1);
            const QUrl url(link);
            if (url.scheme() == "http" || url.scheme() == "https" || url.scheme() == "mailto") {
                if (!url.isValid() || url.path().isEmpty())
                    check.problems << page + ": bad address " + link;
                continue;
            }
            if (!url.scheme().isEmpty() || link.startsWith('/')
                || (link.contains("..") && link != stylesheet)) {
                check.problems << page + ": leaves the help folder: " + link;
                continue;
            }
            const QString target = url.path().isEmpty() ? page : url.path();
            if (!dir.exists(target)) {
                check.problems << page + ": dead link " + link;
                continue;
            }
            if (url.hasFragment() && !anchors[target].contains(url.fragment()))
                check.problems << page + ": no anchor for " + link;
            if (target.endsWith(".htm") && !check.reachable.contains(target)) {
                check.reachable.insert(target);
                queue << target;
            }
        }
    }
    for (const QString &page : dir.entryList({QStringLiteral("*.htm")}, QDir::Files))
        if (!check.reachable.contains(page))
            check.problems << page + ": no page links to it";
    return check;
}

void Write(const QString &path, const QString &text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
}

} // namespace

TEST(HelpPages, EveryLinkLeadsSomewhereAndEveryPageIsReached)
{
    const QString folder = QStringLiteral(CW_SOURCE_DIR "/help");
    const HelpCheck check = CheckHelp(folder, QStringLiteral("Introduction.htm"));
    EXPECT_TRUE(check.problems.isEmpty()) << check.problems.join('\n').toStdString();
    // The topics a user needs, all reachable from the first page.
    for (const char *page : {"Introduction.htm", "Opening.htm", "Marking.htm", "Converting.htm",
                             "Options.htm", "Languages.htm", "CommandLine.htm", "Messages.htm"})
        EXPECT_TRUE(check.reachable.contains(page)) << page;

    // The build puts the same pages beside the program.
    const QDir beside(QStringLiteral(CW_BINARY_DIR "/bin/help"));
    for (const QString &file : QDir(folder).entryList(QDir::Files))
        EXPECT_EQ(Read(beside.filePath(file)), Read(QDir(folder).filePath(file)))
            << file.toStdString();
}

TEST(HelpPages, TheCheckFindsBrokenPages)
{
    QTemporaryDir dir;
    const QString head = R"(<!DOCTYPE html><html><head><title>t</title>)"
                         R"(<link rel="stylesheet" href="style.css"></head><body>)";
    Write(dir.filePath("style.css"), "");
    Write(dir.filePath("Introduction.htm"),
          head
              + R"(<a href="Second.htm#here">a</a> <a href="Gone.htm">b</a>)"
                R"( <a href="Second.htm#nowhere">c</a> <a href="../outside.htm">d</a>)"
                R"( <a href="https://clipwright.org/">e</a></body></html>)");
    Write(dir.filePath("Second.htm"),
          head + R"(<h2 id="here">x</h2><img src="missing.png"></body></html>)");
    Write(dir.filePath("Lonely.htm"), "<html><title>t</title></html>");

    const HelpCheck check = CheckHelp(dir.path(), "Introduction.htm");
    const QStringList expected{
        "Lonely.htm: not a complete page",
        "Lonely.htm: without the shared stylesheet",
        "Introduction.htm: dead link Gone.htm",
        "Introduction.htm: no anchor for Second.htm#nowhere",
        "Introduction.htm: leaves the help folder: ../outside.htm",
        "Second.htm: dead link missing.png",
        "Lonely.htm: no page links to it",
    };
    EXPECT_EQ(check.problems, expected) << check.problems.join('\n').toStdString();
}

// The German pages: the same topics and anchors as the English ones, each page German, every
// link leading to a page of the German set (or out to the web), all reached from the first page,
// and the build puts them beside the English ones.
TEST(GermanThroughout, GermanHelpPagesLinkOnlyToPagesThatExist)
{
    const QString english = QStringLiteral(CW_SOURCE_DIR "/help");
    const QString german = english + "/de";
    const HelpCheck check
        = CheckHelp(german, QStringLiteral("Introduction.htm"), QStringLiteral("../style.css"));
    EXPECT_TRUE(check.problems.isEmpty()) << check.problems.join('\n').toStdString();

    const QStringList pages = QDir(english).entryList({QStringLiteral("*.htm")}, QDir::Files);
    EXPECT_EQ(QDir(german).entryList({QStringLiteral("*.htm")}, QDir::Files), pages);
    const QRegularExpression ids(QStringLiteral(R"re(\bid\s*=\s*"([^"]*)")re"));
    for (const QString &page : pages) {
        const QString text = Read(QDir(german).filePath(page));
        EXPECT_TRUE(text.contains(QStringLiteral(R"(<html lang="de">)"))) << page.toStdString();
        EXPECT_TRUE(check.reachable.contains(page)) << page.toStdString();
        // Anchors keep their names, so a link into a page works in both sets.
        QStringList englishIds, germanIds;
        for (const auto &match : ids.globalMatch(Read(QDir(english).filePath(page))))
            englishIds << match.captured(1);
        for (const auto &match : ids.globalMatch(text))
            germanIds << match.captured(1);
        EXPECT_EQ(germanIds, englishIds) << page.toStdString();
        // Written in German, not left in English; only the program's own English messages,
        // commands and what they print are quoted as they are.
        static const QRegularExpression quoted(
            QStringLiteral(R"re(<(code|pre|dt)\b[^>]*>.*?</\1>|„[^“]*“)re"),
            QRegularExpression::DotMatchesEverythingOption);
        EXPECT_FALSE(QString(text).remove(quoted).contains(QStringLiteral(" the ")))
            << page.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral(" die "))
                    || text.contains(QStringLiteral(" der ")))
            << page.toStdString();

        EXPECT_EQ(Read(QStringLiteral(CW_BINARY_DIR "/bin/help/de/") + page), text)
            << page.toStdString();
    }
}
