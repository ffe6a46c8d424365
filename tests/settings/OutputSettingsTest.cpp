#include "settings/OutputSettings.h"
#include "platform/MessageBoxes.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

struct Store
{
    QTemporaryDir dir;
    SettingsStore store{(dir.path() + "/clipwright.conf").toStdString()};
};

std::string MoviesFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::MoviesLocation).toStdString();
}

} // namespace

TEST(OutputSettings, FirstStartWithAnEmptyStoreGivesEveryDefault)
{
    Store s;
    platform::MessageBoxRecorder boxes;
    OutputSettings settings;
    LoadOutputSettings(s.store, &settings);

    EXPECT_EQ(settings.m_szOutputFile, MoviesFolder() + "/output.wmv");
    EXPECT_EQ(DefaultOutputPath(), MoviesFolder() + "/output.wmv");
    EXPECT_EQ(settings.m_nOutputFormat, OutputFormatWmv);
    EXPECT_EQ(settings.m_nOutputWidth, 0);
    EXPECT_EQ(settings.m_nOutputHeight, 0);
    // A fresh profile keeps the source's rate; 23.976 stands until a video is open.
    EXPECT_EQ(settings.m_nFrameRateIndex, FrameRateSource);
    EXPECT_DOUBLE_EQ(settings.m_dOutputFrameRate, 23.976);
    EXPECT_EQ(settings.m_nVideoBitrate, 798720u);
    EXPECT_EQ(settings.m_nAudioBitrate, 128000u);
    EXPECT_EQ(settings.m_bFileProfile, 0);
    EXPECT_EQ(settings.m_bUseVideoCompressor, kCompressorFromStore);
    EXPECT_EQ(settings.m_bUseAudioCompressor, kCompressorFromStore);
    EXPECT_EQ(settings.m_nStretchMode, ResizePreserveAspectRatio);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(OutputSettings, StoredFormatReplacesTheExtensionOfTheStoredPath)
{
    Store s;
    s.store.WriteInt("Settings", "nOuptputFormat", OutputFormatAsf);
    s.store.WriteString("Settings", "OutputName", "/d/clips/movie.wmv");
    s.store.WriteInt("Settings", "OutputWidth", 320);
    s.store.WriteInt("Settings", "OutputHigh", 240);
    OutputSettings settings;
    LoadOutputSettings(s.store, &settings);
    EXPECT_EQ(settings.m_szOutputFile, "/d/clips/movie.asf");
    EXPECT_EQ(settings.m_nOutputWidth, 320);
    EXPECT_EQ(settings.m_nOutputHeight, 240);

    s.store.WriteString("Settings", "OutputName", "/d/clips/movie");
    LoadOutputSettings(s.store, &settings);
    EXPECT_EQ(settings.m_szOutputFile, "/d/clips/movie.asf");
}

TEST(OutputSettings, ApplyFormatExtensionCoversEveryCodeAndRefusesOthers)
{
    const char *expected[]
        = {"/v/a.avi", "/v/a.wmv", "/v/a.mkv", "/v/a.asf", "/v/a.mp4", "/v/a.dsm", "/v/a.ogm"};
    std::string result;
    for (int code = 0; code <= 6; ++code) {
        EXPECT_TRUE(ApplyFormatExtension(code, "/v/a.mpg", &result));
        EXPECT_EQ(result, expected[code]);
    }
    // Only the file's own extension goes: a dotted folder name stays whole.
    EXPECT_TRUE(ApplyFormatExtension(OutputFormatMkv, "/home/j.doe/clip", &result));
    EXPECT_EQ(result, "/home/j.doe/clip.mkv");
    EXPECT_TRUE(ApplyFormatExtension(OutputFormatMp4, "/v/archive.tar.gz", &result));
    EXPECT_EQ(result, "/v/archive.tar.mp4");

    platform::MessageBoxRecorder boxes;
    EXPECT_FALSE(ApplyFormatExtension(7, "/v/a.wmv", &result));
    EXPECT_EQ(result, "/v/a.wmv");
    EXPECT_FALSE(ApplyFormatExtension(-1, "/v/a.wmv", &result));
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Does not support the video format");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Error");
    EXPECT_EQ(boxes.Boxes()[0].buttons, platform::BoxButtons::Ok);
}

TEST(OutputSettings, StoredFormatOutsideTheTableKeepsThePathAndWarns)
{
    Store s;
    s.store.WriteInt("Settings", "nOuptputFormat", 9);
    s.store.WriteString("Settings", "OutputName", "/d/clips/movie.wmv");
    platform::MessageBoxRecorder boxes;
    OutputSettings settings;
    LoadOutputSettings(s.store, &settings);
    EXPECT_EQ(settings.m_nOutputFormat, 9);
    EXPECT_EQ(settings.m_szOutputFile, "/d/clips/movie.wmv");
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Does not support the video format"});
}

TEST(OutputSettings, FrameRateChoicesAndTheCustomText)
{
    Store s;
    OutputSettings settings;
    const double rates[] = {23.976, 23.976, 24.0, 25.0, 29.97, 30.0};
    for (int choice = 0; choice <= 5; ++choice) {
        s.store.WriteInt("Settings", "OutputFrameRateIndex", choice);
        // The custom text is read only for the custom choice.
        s.store.WriteString("Settings", "OutputFrameRate", "12.5");
        LoadOutputSettings(s.store, &settings);
        EXPECT_EQ(settings.m_nFrameRateIndex, choice);
        EXPECT_DOUBLE_EQ(settings.m_dOutputFrameRate, rates[choice]) << choice;
    }

    s.store.WriteInt("Settings", "OutputFrameRateIndex", 6);
    LoadOutputSettings(s.store, &settings);
    EXPECT_EQ(settings.m_nFrameRateIndex, 6);
    EXPECT_DOUBLE_EQ(settings.m_dOutputFrameRate, 12.5);

    for (int outOfRange : {9, -1, 7}) {
        s.store.WriteInt("Settings", "OutputFrameRateIndex", outOfRange);
        LoadOutputSettings(s.store, &settings);
        EXPECT_EQ(settings.m_nFrameRateIndex, 1);
        EXPECT_DOUBLE_EQ(settings.m_dOutputFrameRate, 23.976);
    }
}

TEST(OutputSettings, FrameRateTextParsesWithAFullStopWhateverTheLocale)
{
    double rate = 0;
    EXPECT_TRUE(ParseFrameRate("29.97", &rate));
    EXPECT_DOUBLE_EQ(rate, 29.97);
    EXPECT_TRUE(ParseFrameRate(" 15", &rate));
    EXPECT_DOUBLE_EQ(rate, 15.0);
    EXPECT_FALSE(ParseFrameRate("fast", &rate));
    EXPECT_FALSE(ParseFrameRate("", &rate));
    // A decimal comma is read as the point; anything left over refuses the whole text.
    EXPECT_TRUE(ParseFrameRate("12,5", &rate));
    EXPECT_DOUBLE_EQ(rate, 12.5);
    for (const char *refused : {"12,5,1", "1,000.5", "25 fps", "12.5x", "12..5"})
        EXPECT_FALSE(ParseFrameRate(refused, &rate)) << refused;
    EXPECT_TRUE(FrameRateForChoice(FrameRateCustom, "12,5", &rate));
    EXPECT_DOUBLE_EQ(rate, 12.5);

    // A custom text that is no number gives 0, never an undefined rate.
    EXPECT_TRUE(FrameRateForChoice(FrameRateCustom, "fast", &rate));
    EXPECT_DOUBLE_EQ(rate, 0.0);
    EXPECT_TRUE(FrameRateForChoice(FrameRateCustom, "inf", &rate));
    EXPECT_DOUBLE_EQ(rate, 0.0);
}
