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
// pages nothing links to, and pages without the shared stylesheet.
HelpCheck CheckHelp(const QString &folder, const QString &start)
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
        if (!text.contains(QStringLiteral(R"(<link rel="stylesheet" href="style.css">)")))
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
            if (!url.scheme().isEmpty() || link.startsWith('/') || link.contains("..")) {
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
