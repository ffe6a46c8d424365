// The command line's options become the job the engine runs, over the window's stored settings.
#include "cli/ConvertCommand.h"
#include "cli/ConvertOptions.h"
#include "cli/EncoderChoice.h"
#include "job/ConversionJob.h"
#include "settings/OutputContainers.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <string>
#include <vector>

namespace {

struct CliJob
{
    QTemporaryDir dir;
    SettingsStore store{(dir.path() + "/clipwright.conf").toStdString()};
    ConvertOptions options;
    ConversionJob job;

    std::string Out(const char *name) const { return (dir.path() + "/" + name).toStdString(); }

    // Parses "convert ARGS", checks it and sets up the job of its one input: the exit code.
    int Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), "convert");
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        if (int code = ParseConvertOptions(int(argv.size()), argv.data(), &options))
            return code;
        if (int code = CheckConvertOptions(options))
            return code;
        return SetUpJob(options, store, options.inputs.at(0), options.output, job);
    }
};

constexpr REFERENCE_TIME kSecond = 10000000;

} // namespace

TEST(CliOptions, EveryOptionReachesTheJob)
{
    CliJob c;
    const std::string out = c.Out("x.mkv");
    ASSERT_EQ(
        c.Run({Fixture("h264_aac.mp4"), "-o", out, "--start", "0.5", "--end", "1.5", "--fps",
               "12.5", "--width", "160", "--height", "120", "--video-bitrate", "500", "--stretch"}),
        0);
    EXPECT_EQ(c.job.m_nOutputFormat, OutputFormatMkv);
    EXPECT_EQ(c.job.m_szOutputFile, out);
    EXPECT_EQ(c.job.m_llStartTime, kSecond / 2);
    EXPECT_EQ(c.job.m_llEndTime, kSecond * 3 / 2);
    EXPECT_DOUBLE_EQ(c.job.m_dOutputFrameRate, 12.5);
    EXPECT_EQ(c.job.m_nOutputWidth, 160);
    EXPECT_EQ(c.job.m_nOutputHeight, 120);
    EXPECT_EQ(c.job.m_nStretchMode, ResizeStretch);
    EXPECT_EQ(c.job.m_nVideoBitrate, 500000u);
    // The probe's facts of the source, whatever the options asked.
    EXPECT_EQ(c.job.m_nSourceWidth, 320);
    EXPECT_EQ(c.job.m_nSourceHeight, 240);
    EXPECT_DOUBLE_EQ(c.job.m_dSourceFrameRate, 25.0);
    EXPECT_EQ(c.job.m_szPhotoFile[0], Fixture("h264_aac.mp4"));
}

TEST(CliOptions, TheSourceAndTheExtensionWinOverTheWindowsStoredChoices)
{
    CliJob c;
    c.store.WriteInt("Settings", "nOuptputFormat", OutputFormatWmv);
    c.store.WriteInt("Settings", "OutputFrameRateIndex", 6);
    c.store.WriteString("Settings", "OutputFrameRate", "12");
    c.store.WriteInt("Settings", "OutputWidth", 640);
    c.store.WriteInt("Settings", "OutputHigh", 480);
    c.store.WriteInt("Settings", "n_video_bitrate", -5);
    ASSERT_EQ(c.Run({Fixture("h264_aac.mp4"), "-o", c.Out("x.mp4")}), 0);
    EXPECT_EQ(c.job.m_nOutputFormat, OutputFormatMp4);
    // No --fps and no size: the source's, not the window's stored ones.
    EXPECT_DOUBLE_EQ(c.job.m_dOutputFrameRate, 25.0);
    EXPECT_EQ(c.job.m_nOutputWidth, 320);
    EXPECT_EQ(c.job.m_nOutputHeight, 240);
    // A stored value out of range is the default, as an option's would be.
    EXPECT_EQ(c.job.m_nVideoBitrate, 798720u);
    // The whole video when no marks are given.
    EXPECT_EQ(c.job.m_llStartTime, 0);
    EXPECT_EQ(c.job.m_llEndTime, 2 * kSecond);
}

TEST(CliOptions, SectionsAreCheckedAgainstTheVideo)
{
    {
        // An end past the video is its end.
        CliJob c;
        ASSERT_EQ(c.Run({Fixture("h264_aac.mp4"), "-o", c.Out("a.mkv"), "--end", "99"}), 0);
        EXPECT_EQ(c.job.m_llEndTime, 2 * kSecond);
    }
    {
        // A start at or past the end is the video's fault, not the usage's.
        CliJob c;
        EXPECT_EQ(c.Run({Fixture("h264_aac.mp4"), "-o", c.Out("b.mkv"), "--start", "2"}), 1);
    }
    // Wrong usage is refused before anything is probed.
    for (std::vector<std::string> wrong : {std::vector<std::string>{"--start", "1", "--end", "1"},
                                           {"--fps", "0"},
                                           {"--width", "160"},
                                           {"--video-bitrate", "5"}}) {
        CliJob c;
        std::vector<std::string> args = {Fixture("h264_aac.mp4"), "-o", c.Out("c.mkv")};
        args.insert(args.end(), wrong.begin(), wrong.end());
        EXPECT_EQ(c.Run(args), 2) << wrong[0];
    }
    CliJob c;
    EXPECT_EQ(c.Run({Fixture("h264_aac.mp4"), "-o", c.Out("c.webm")}), 2);
}

TEST(CliOptions, CopyKeepsTheSourcesStreamsWhereTheContainerHoldsThem)
{
    {
        CliJob c;
        ASSERT_EQ(c.Run({Fixture("h264_aac.mp4"), "-o", c.Out("a.mkv"), "--copy"}), 0);
        EXPECT_TRUE(c.options.copy);
        EXPECT_TRUE(CopiesVideo(c.options));
        ASSERT_TRUE(ChooseEncoder(CompressorCategory::Video, std::string("copy"), c.store, &c.job));
        ASSERT_TRUE(ChooseEncoder(CompressorCategory::Audio, std::string("copy"), c.store, &c.job));
        EXPECT_TRUE(c.job.Copies(CompressorCategory::Video));
        EXPECT_TRUE(c.job.Copies(CompressorCategory::Audio));
        EXPECT_FALSE(c.job.m_videoCompressor);
    }
    {
        // Ogg holds no H.264: refused before anything is written, naming the codec.
        CliJob c;
        ASSERT_EQ(c.Run({Fixture("h264_aac.mp4"), "-o", c.Out("a.ogm"), "--copy"}), 0);
        EXPECT_FALSE(
            ChooseEncoder(CompressorCategory::Video, std::string("copy"), c.store, &c.job));
        EXPECT_FALSE(c.job.Copies(CompressorCategory::Video));
    }
    {
        // A copy stored by the window applies where the container takes the source's stream.
        CliJob c;
        c.store.WriteInt("DexVideoCompress", "CompressorNumber", 0);
        c.store.WriteString("DexVideoCompress", "CompressorName", "copy");
        ASSERT_EQ(c.Run({Fixture("h264_aac.mp4"), "-o", c.Out("b.mp4")}), 0);
        ASSERT_TRUE(ChooseEncoder(CompressorCategory::Video, std::nullopt, c.store, &c.job));
        EXPECT_TRUE(c.job.Copies(CompressorCategory::Video));
    }
    // A copied picture has the source's size and rate; --copy copies both streams.
    for (std::vector<std::string> wrong :
         {std::vector<std::string>{"--copy", "--width", "160", "--height", "120"},
          {"--video-encoder", "copy", "--fps", "12"},
          {"--copy", "--stretch"},
          {"--copy", "--audio-encoder", "vorbisenc"}}) {
        CliJob c;
        std::vector<std::string> args = {Fixture("h264_aac.mp4"), "-o", c.Out("c.mkv")};
        args.insert(args.end(), wrong.begin(), wrong.end());
        EXPECT_EQ(c.Run(args), 2) << wrong[1];
    }
}
