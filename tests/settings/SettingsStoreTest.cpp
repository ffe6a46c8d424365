#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TEST(SettingsStore, ValuesRoundTripThroughTheFileBySectionAndName)
{
    QTemporaryDir dir;
    const std::string path = (dir.path() + "/clipwright.conf").toStdString();
    {
        SettingsStore store(path);
        EXPECT_TRUE(store.WriteInt("Settings", "OutputWidth", 640));
        EXPECT_TRUE(store.WriteInt("Settings", "n_video_bitrate", -5));
        EXPECT_TRUE(store.WriteString("Option", "LastPhotoFolder", "/home/u/Videos, old/"));
        EXPECT_TRUE(store.WriteString("english", "lfFaceName", "DejaVu Sans"));
    }
    SettingsStore reopened(path);
    EXPECT_EQ(reopened.ReadInt("Settings", "OutputWidth", 0), 640);
    EXPECT_EQ(reopened.ReadInt("Settings", "n_video_bitrate", 0), -5);
    EXPECT_EQ(reopened.ReadString("Option", "LastPhotoFolder", ""), "/home/u/Videos, old/");
    EXPECT_EQ(reopened.ReadString("english", "lfFaceName", ""), "DejaVu Sans");
    // Same name in another section is another value.
    EXPECT_EQ(reopened.ReadInt("Option", "OutputWidth", 7), 7);
    EXPECT_EQ(reopened.ReadString("Missing", "Value", "fallback"), "fallback");
}

TEST(SettingsStore, AValueThatIsNotAWholeNumberReadsAsTheDefault)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/clipwright.conf";
    WriteFile(path, "[Settings]\n"
                    "OutputWidth=wide\n"
                    "OutputHigh=12.5\n"
                    "OutputFrameRateIndex=3 \n"
                    "n_video_bitrate=99999999999999\n"
                    "n_audio_bitrate=\n"
                    "nOuptputFormat=1,2\n"
                    "b_file_profile=4294967295\n");
    SettingsStore store(path.toStdString());
    EXPECT_EQ(store.ReadInt("Settings", "OutputWidth", 11), 11);
    EXPECT_EQ(store.ReadInt("Settings", "OutputHigh", 12), 12);
    EXPECT_EQ(store.ReadInt("Settings", "OutputFrameRateIndex", 1), 3);
    EXPECT_EQ(store.ReadInt("Settings", "n_video_bitrate", 13), 13);
    EXPECT_EQ(store.ReadInt("Settings", "n_audio_bitrate", 14), 14);
    EXPECT_EQ(store.ReadInt("Settings", "nOuptputFormat", 1), 1);
    // A 32-bit value written as unsigned comes back as the same bits.
    EXPECT_EQ(store.ReadInt("Settings", "b_file_profile", 0), -1);
}

TEST(SettingsStore, BrokenOrUnwritableFilesLeaveDefaultsAndDoNotThrow)
{
    QTemporaryDir dir;
    const QString junk = dir.path() + "/junk.conf";
    QByteArray bytes;
    for (int i = 0; i < 4096; ++i)
        bytes.append(static_cast<char>((i * 131 + 7) % 256));
    WriteFile(junk, bytes);
    SettingsStore store(junk.toStdString());
    EXPECT_EQ(store.ReadInt("Settings", "OutputWidth", 0), 0);
    EXPECT_EQ(store.ReadString("Option", "CurrentLanguage", "english"), "english");

    // A folder that cannot be written: the write reports failure, reads still give defaults.
    const QString locked = dir.path() + "/locked";
    ASSERT_EQ(::mkdir(locked.toUtf8().constData(), 0500), 0);
    if (::geteuid() != 0 || ::access(locked.toUtf8().constData(), W_OK) != 0) {
        SettingsStore readOnly((locked + "/clipwright.conf").toStdString());
        EXPECT_FALSE(readOnly.WriteInt("Settings", "OutputWidth", 5));
        EXPECT_EQ(readOnly.ReadString("Option", "CurrentLanguage", "english"), "english");
    }
    // A file path that is a folder cannot be written either.
    SettingsStore onFolder(dir.path().toStdString());
    EXPECT_FALSE(onFolder.WriteString("Option", "CurrentLanguage", "German"));
}

TEST(SettingsStore, SectionsAndNamesMatchWithoutRegardToCase)
{
    QTemporaryDir dir;
    const std::string path = (dir.path() + "/clipwright.conf").toStdString();
    SettingsStore store(path);
    store.WriteInt("english", "lfHeight", -13);
    EXPECT_EQ(store.ReadInt("ENGLISH", "LFHEIGHT", 0), -13);
    store.WriteInt("English", "lfheight", -15);
    SettingsStore reopened(path);
    EXPECT_EQ(reopened.ReadInt("english", "lfHeight", 0), -15);
}

TEST(SettingsStore, TheProgramStoreLivesInTheUsersConfigFolder)
{
    SettingsStore store("Korvane", "clipwright");
    EXPECT_EQ(store.FilePath(),
              QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString()
                  + "/Korvane/clipwright.conf");
}
