#include "AppTestSupport.h"

#include "app/VinteloDlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

namespace {

using Dlg = CVinteloDlg;

QAbstractButton *Button(const Dlg &dialog, int id)
{
    return qobject_cast<QAbstractButton *>(dialog.Control(id));
}

QString VideosFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
}

} // namespace

// A profile that has never run: no settings and, as on many desktops, no videos folder yet.
TEST(WindowFirstRun, TheFirstConversionWritesIntoTheVideosFolder)
{
    AppTestEnvironment env;
    const QString videos = VideosFolder();
    ASSERT_FALSE(videos.isEmpty());
    QDir(videos).removeRecursively();
    ASSERT_FALSE(QFileInfo::exists(videos));

    Dlg dialog;
    ASSERT_TRUE(dialog.Initialized());
    EXPECT_TRUE(QFileInfo(videos).isDir());
    const std::string out = (videos + "/output.wmv").toStdString();
    EXPECT_EQ(dialog.m_szOutputFile, out);

    // A desktop that drops the folder later: a stored path in it gets it back.
    env.store.WriteString("Settings", "OutputName", out);
    QDir(videos).removeRecursively();
    Dlg again;
    EXPECT_TRUE(QFileInfo(videos).isDir());

    env.choosers.QueueAnswer(Fixture("h264_aac.mp4"));
    Button(again, Dlg::IDC_BUTTON_ADD_VIDEO)->click();
    ASSERT_EQ(again.m_nPhotoCount, 1);
    Button(again, Dlg::IDC_BUTTON_CONVERT)->click();
    ASSERT_EQ(again.m_bConverting, 1) << (env.boxes.Boxes().empty() ? "" : env.boxes.Texts()[0]);
    ASSERT_TRUE(QTest::qWaitFor([&] { return again.m_bConverting == 0; }, 120000));
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
    Dlg dialog;
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
