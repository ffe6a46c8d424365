#include "AppTestSupport.h"

#include "app/VinteloDlg.h"
#include "localisation/DesktopLanguage.h"
#include "preview/TrimControls.h"
#include "preview/VcdCore.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <initializer_list>
#include <utility>

namespace {

using Dlg = CVinteloDlg;

QAbstractButton *Button(const Dlg &dialog, int id)
{
    return qobject_cast<QAbstractButton *>(dialog.Control(id));
}

QString MoviesFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
}

} // namespace

// A profile that has never run: no settings and, as on many desktops, no videos folder yet.
TEST(WindowFirstRun, TheFirstConversionWritesIntoTheVideosFolder)
{
    AppTestEnvironment env;
    const QString videos = MoviesFolder();
    ASSERT_FALSE(videos.isEmpty());
    QDir(videos).removeRecursively();
    ASSERT_FALSE(QFileInfo::exists(videos));

    Dlg dialog(env.store);
    ASSERT_TRUE(dialog.Initialized());
    EXPECT_TRUE(QFileInfo(videos).isDir());
    const std::string out = (videos + "/output.wmv").toStdString();
    EXPECT_EQ(dialog.Job().m_szOutputFile, out);

    // A desktop that drops the folder later: a stored path in it gets it back.
    env.store.WriteString("Settings", "OutputName", out);
    QDir(videos).removeRecursively();
    Dlg again(env.store);
    EXPECT_TRUE(QFileInfo(videos).isDir());

    env.choosers.QueueAnswer(Fixture("h264_aac.mp4"));
    Button(again, Dlg::IDC_BUTTON_ADD_VIDEO)->click();
    ASSERT_EQ(again.Job().m_nPhotoCount, 1);
    Button(again, Dlg::IDC_BUTTON_CONVERT)->click();
    ASSERT_EQ(again.Job().m_bConverting, 1)
        << (env.boxes.Boxes().empty() ? "" : env.boxes.Texts()[0]);
    ASSERT_TRUE(QTest::qWaitFor([&] { return again.Job().m_bConverting == 0; }, 120000));
    EXPECT_TRUE(env.boxes.Boxes().empty()) << env.boxes.Texts()[0];
    EXPECT_EQ(Shell("ffprobe -v error -select_streams v:0 -show_entries stream=codec_name -of "
                    "default=nw=1:nk=1 '"
                    + out + "'"),
              "wmv2\n");
    QDir(videos).removeRecursively();
}

TEST(WindowFirstRun, VideoFilesFilterShowsTodaysFiles)
{
    AppTestEnvironment env;
    Dlg dialog(env.store);
    Button(dialog, Dlg::IDC_BUTTON_ADD_VIDEO)->click(); // cancelled: only the request counts
    ASSERT_EQ(env.choosers.OpenRequests().size(), 1u);
    const platform::FileFilter filter = env.choosers.OpenRequests()[0].filters.at(1);
    const QString description = QString::fromStdString(filter.description);
    const QStringList patterns = QString::fromStdString(filter.patterns).split(';');

    // A folder as a phone, a camera and a download leave it, with a file that is no video.
    QTemporaryDir folder;
    const QStringList videos
        = {"a.mp4", "b.m4v", "c.mov", "d.webm", "e.ts",  "f.mts",  "g.m2ts", "h.flv",
           "i.3gp", "j.ogv", "k.wmv", "l.mkv",  "m.avi", "n.mpeg", "o.vob"};
    for (const QString &name : videos + QStringList{"notes.txt"})
        QFile(folder.path() + '/' + name).open(QIODevice::WriteOnly);
    QStringList shown = QDir(folder.path()).entryList(patterns, QDir::Files, QDir::Name);
    EXPECT_EQ(shown, videos);
    // The file dialog reads the patterns from the text the user sees.
    for (const QString &pattern : patterns)
        EXPECT_TRUE(description.contains(pattern)) << pattern.toStdString();
}

// While converting, the title counts the percentage and the time left and the disabled slider
// moves along; the status line keeps its used time. Stopping gives everything back.
TEST(WindowFirstRun, ConversionProgressShowsInTheTitleAndOnTheSlider)
{
    AppTestEnvironment env;
    Dlg dialog(env.store);
    env.choosers.QueueAnswer(Fixture("long_30min.mp4"));
    Button(dialog, Dlg::IDC_BUTTON_ADD_VIDEO)->click();
    ASSERT_EQ(dialog.Job().m_nPhotoCount, 1);
    dialog.Job().m_szOutputFile = env.dir.path().toStdString() + "/progress.wmv";
    dialog.Job().m_bUseVideoCompressor = 1;
    const QString title = dialog.windowTitle();
    auto *slider = qobject_cast<QAbstractSlider *>(dialog.Control(Dlg::IDC_SLIDER_POSITION));
    ASSERT_TRUE(slider->isEnabled());

    Button(dialog, Dlg::IDC_BUTTON_CONVERT)->click();
    ASSERT_EQ(dialog.Job().m_bConverting, 1)
        << (env.boxes.Boxes().empty() ? "" : env.boxes.Texts()[0]);
    EXPECT_FALSE(slider->isEnabled());
    const QRegularExpression progress(QRegularExpression::escape(title)
                                      + " - (\\d+)% - \\d\\d:\\d\\d:\\d\\d left");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto match = progress.match(dialog.windowTitle());
            return match.hasMatch() && match.captured(1).toInt() > 0 && slider->value() > 0;
        },
        120000))
        << dialog.windowTitle().toStdString();
    const int percent = progress.match(dialog.windowTitle()).captured(1).toInt();
    EXPECT_NEAR(slider->value(), percent * slider->maximum() / 100, slider->maximum() / 50 + 1);
    EXPECT_TRUE(dialog.StatusText().startsWith("Please wait... Used Time: "));

    Button(dialog, Dlg::IDC_BUTTON_CONVERT)->click();
    EXPECT_EQ(dialog.Job().m_bConverting, 0);
    EXPECT_EQ(dialog.windowTitle(), title);
    EXPECT_TRUE(slider->isEnabled());
    EXPECT_EQ(slider->value(), dialog.m_nSliderPos);
}

// clipwright FILE, and files dropped on the main window or the preview, open as Open Video
// would, without its chooser.
TEST(WindowFirstRun, FilesFromTheDesktopOpenAsOpenVideoWould)
{
    AppTestEnvironment env;
    Dlg dialog(env.store);
    const QString before = QDir::currentPath();
    QDir::setCurrent(CW_FIXTURE_DIR); // a name relative to where the shell was
    dialog.OpenFromArguments({"clipwright", "h264_aac.mp4"});
    QDir::setCurrent(before);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Job().m_nPhotoCount == 1; }, 20000));
    EXPECT_EQ(dialog.Job().m_szPhotoFile[0], Fixture("h264_aac.mp4"));
    EXPECT_EQ(dialog.Job().m_szMusicFile[0], Fixture("h264_aac.mp4"));
    EXPECT_TRUE(env.choosers.OpenRequests().empty());
    ASSERT_NE(CTrimControls::Player(), nullptr);

    auto drop = [&](QWidget *target, const QList<QUrl> &urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &enter);
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &dropped);
        return enter.isAccepted() && dropped.isAccepted();
    };
    // Two files on the preview window: the first opens (replacing that very window), with a note.
    EXPECT_TRUE(drop(CTrimControls::Player()->Window(),
                     {QUrl::fromLocalFile(QString::fromStdString(Fixture("mpeg4_mp3.avi"))),
                      QUrl::fromLocalFile(QString::fromStdString(Fixture("h264_aac.mp4")))}));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dialog.Job().m_szPhotoFile[0] == Fixture("mpeg4_mp3.avi"); }, 20000));
    EXPECT_EQ(dialog.Job().m_nPhotoCount, 1);
    EXPECT_EQ(env.boxes.Texts(),
              std::vector<std::string>{"One video is opened at a time; opened mpeg4_mp3.avi."});

    // On the main window; a folder or a web address is no file to open.
    EXPECT_FALSE(drop(&dialog, {QUrl::fromLocalFile(CW_FIXTURE_DIR),
                                QUrl(QStringLiteral("https://example.org/a.mp4"))}));
    EXPECT_TRUE(
        drop(&dialog, {QUrl::fromLocalFile(QString::fromStdString(Fixture("h264_aac.mp4")))}));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dialog.Job().m_szPhotoFile[0] == Fixture("h264_aac.mp4"); }, 20000));
    // Not while converting.
    dialog.Job().m_bConverting = 1;
    EXPECT_FALSE(
        drop(&dialog, {QUrl::fromLocalFile(QString::fromStdString(Fixture("mpeg4_mp3.avi")))}));
    dialog.Job().m_bConverting = 0;
    QTest::qWait(0);
    EXPECT_EQ(dialog.Job().m_szPhotoFile[0], Fixture("h264_aac.mp4"));
    EXPECT_EQ(dialog.Control(Dlg::IDC_BUTTON_PLAY)->toolTip(), "Play (Space)");
    EXPECT_EQ(dialog.Control(Dlg::IDC_BUTTON_START_TIME)->toolTip(), "Start Time (I)");
}

namespace {

// The language the program starts in, as it reports it: started with env over a fresh profile
// (or one that stores stored), stopped once it has said.
std::string StartedLanguage(const QProcessEnvironment &desktop, const QString &stored = {})
{
    QTemporaryDir profile;
    if (!stored.isEmpty()) {
        QDir().mkpath(profile.path() + "/Korvane");
        QFile conf(profile.path() + "/Korvane/clipwright.conf");
        conf.open(QIODevice::WriteOnly);
        conf.write("[Option]\nCurrentLanguage=" + stored.toUtf8() + "\n");
    }
    QProcessEnvironment env = desktop;
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"})
        if (!desktop.contains(name))
            env.remove(name);
    env.insert("XDG_CONFIG_HOME", profile.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QT_LOGGING_RULES", "clipwright.app.info=true");
    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(CW_BINARY_DIR "/bin/clipwright", {});
    const QRegularExpression said("language: (\\S+) of");
    QString log;
    QRegularExpressionMatch match;
    QTest::qWaitFor(
        [&] {
            program.waitForReadyRead(100);
            log += QString::fromUtf8(program.readAll());
            match = said.match(log);
            return match.hasMatch() || program.state() == QProcess::NotRunning;
        },
        30000);
    program.kill();
    program.waitForFinished();
    return match.hasMatch() ? match.captured(1).toStdString() : "no report: " + log.toStdString();
}

QProcessEnvironment Desktop(const QString &lang)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LANG", lang);
    env.remove("LC_ALL");
    env.remove("LC_MESSAGES");
    env.remove("LANGUAGE");
    return env;
}

} // namespace

// With no language stored, the program starts in the desktop's language where a file for it is
// installed, in English otherwise; a stored choice always wins.
TEST(WindowFirstRun, TheDesktopLanguageOnAFreshProfile)
{
    const std::vector<std::string> files{"English", "German"};
    EXPECT_EQ(DesktopLanguage(files, {"de-DE"}), "German");
    EXPECT_EQ(DesktopLanguage(files, {"de-AT", "en-US"}), "German");
    EXPECT_EQ(DesktopLanguage(files, {"fr-FR", "de-DE"}), "German"); // no French file
    EXPECT_EQ(DesktopLanguage(files, {"fr-FR"}), "english");
    EXPECT_EQ(DesktopLanguage(files, {"C"}), "english");
    EXPECT_EQ(DesktopLanguage(files, {}), "english");
    EXPECT_EQ(DesktopLanguage({"English", "German_Swiss_utf-8", "German_Austria"}, {"de-AT"}),
              "German_Austria");
    EXPECT_EQ(DesktopLanguage({"English", "German_Swiss_utf-8"}, {"de-DE"}), "German_Swiss_utf-8");

    EXPECT_EQ(StartedLanguage(Desktop("de_DE.UTF-8")), "German");
    EXPECT_EQ(StartedLanguage(Desktop("nl_NL.UTF-8")), "english"); // no Dutch file
    // Each shipped language on a desktop of its own, Brazil's Portuguese and China's Chinese
    // included.
    for (const auto &[lang, file] : std::initializer_list<std::pair<const char *, const char *>>{
             {"fr_FR.UTF-8", "French"},
             {"es_ES.UTF-8", "Spanish"},
             {"it_IT.UTF-8", "Italian"},
             {"pt_BR.UTF-8", "Portuguese_Brazil"},
             {"pl_PL.UTF-8", "Polish"},
             {"ru_RU.UTF-8", "Russian"},
             {"zh_CN.UTF-8", "Chinese_Simplified"},
             {"ja_JP.UTF-8", "Japanese"}})
        EXPECT_EQ(StartedLanguage(Desktop(lang)), file) << lang;
    EXPECT_EQ(StartedLanguage(Desktop("C.UTF-8")), "english");
    EXPECT_EQ(StartedLanguage(Desktop("de_DE.UTF-8"), "English"), "English");
    EXPECT_EQ(StartedLanguage(Desktop("en_GB.UTF-8"), "German"), "German");
}
