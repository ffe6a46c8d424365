// The Convert/Stop command, the elapsed-time line, graph events and the end of a conversion,
// driven through a recording front end on real fixtures. How the window shows them is
// tests/app/ConversionDriverTest.cpp.
#include "ConversionTestSupport.h"

#include "convert/ConversionDriver.h"
#include "media/encoders/CompressorEnumeration.h"
#include "settings/CompressorChoices.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <cstdlib>
#include <fstream>

namespace {

bool DecodesCleanly(const std::string &file)
{
    return Shell("ffmpeg -nostdin -v error -i '" + file + "' -f null - 2>&1").empty();
}

double Duration(const std::string &file)
{
    return std::atof(
        Shell("ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 '" + file + "'")
            .c_str());
}

} // namespace

TEST(ConversionDriver, CompletionEndsTheConversionWithTheDoneLine)
{
    EngineTestEnvironment env;
    const std::string out = env.dir.path().toStdString() + "/out.wmv";
    env.Open(Fixture("h264_aac.mp4"), out, OutputFormatWmv);
    env.job.m_bUseVideoCompressor = 1; // the Windows Media writer compresses by itself

    env.Convert();
    ASSERT_EQ(env.job.m_bConverting, 1) << (env.boxes.Boxes().empty() ? "" : env.boxes.Texts()[0]);
    EXPECT_TRUE(env.boxes.Boxes().empty()); // WMV: no compressor warning
    EXPECT_TRUE(env.host.asked.empty());
    EXPECT_EQ(env.host.caption, "Stop");
    EXPECT_FALSE(env.host.controlsEnabled);
    EXPECT_TRUE(env.host.timerRunning);
    EXPECT_EQ(env.job.m_bUseVideoCompressor, 0);
    EXPECT_EQ(env.job.m_bUseAudioCompressor, 0);

    ASSERT_TRUE(env.WaitIdle(120000));
    EXPECT_EQ(env.host.status, "Done. Output file: " + out + "     Resolution: 320*240");
    EXPECT_EQ(env.host.caption, "Convert");
    EXPECT_TRUE(env.host.controlsEnabled);
    EXPECT_FALSE(env.host.timerRunning);
    EXPECT_EQ(env.job.m_nElapsedSeconds, 0);
    EXPECT_TRUE(DecodesCleanly(out));
    EXPECT_NEAR(Duration(out), 2.0, 0.04);
    EXPECT_EQ(Shell("ffprobe -v error -select_streams v:0 -show_entries stream=codec_name -of "
                    "default=nw=1:nk=1 '"
                    + out + "'"),
              "wmv2\n");
}

TEST(ConversionDriver, ConvertPressedAgainStopsWithAPlayableFile)
{
    EngineTestEnvironment env;
    const std::string out = env.dir.path().toStdString() + "/stopped.mkv";
    env.Open(Fixture("long_95_7.mp4"), out, OutputFormatMkv);
    env.job.m_bUseVideoCompressor = 0;
    env.job.m_bUseAudioCompressor = 0;
    env.host.answers = {true}; // the compressor warning
    // Enough work that the stop comes long before the end.
    env.job.m_nOutputWidth = 320;
    env.job.m_nOutputHeight = 240;

    env.Convert();
    ASSERT_EQ(env.job.m_bConverting, 1);
    EXPECT_EQ(env.host.Questions(),
              std::vector<std::string>{std::string("uncompressed ") + kDivxDownloadPage});
    ASSERT_TRUE(env.WaitFor(
        [&] {
            const auto &graph = env.conversion.pControl;
            return graph && graph->CurrentPosition() > 0;
        },
        60000));
    ASSERT_EQ(env.job.m_bConverting, 1);
    env.Convert();
    EXPECT_EQ(env.job.m_bConverting, 0);
    // A stop is no completion: the line says how much was written.
    const std::string status = env.host.status;
    EXPECT_EQ(status.rfind("Stopped: ", 0), 0u) << status;
    // The whole video, 95.7 s, is the section.
    EXPECT_NE(status.find(" of 95.70 s written. Output file: " + out + "     Resolution: 320*240"),
              std::string::npos)
        << status;
    EXPECT_TRUE(env.host.controlsEnabled);
    EXPECT_FALSE(env.host.timerRunning);
    EXPECT_TRUE(DecodesCleanly(out));
    const double length = Duration(out);
    EXPECT_GT(length, 0.0);
    EXPECT_LT(length, 95.0);

    // A second conversion counts its time from 0 again.
    OnConversionTimer(env.job, env.host);
    EXPECT_EQ(env.host.status, "Please wait... Used Time: 00:00:01");
    env.job.m_nElapsedSeconds = 3660;
    OnConversionTimer(env.job, env.host);
    EXPECT_EQ(env.host.status, "Please wait... Used Time: 01:01:01");
    env.job.m_nElapsedSeconds = 0;
}

TEST(ConversionDriver, RefusalsLeaveEveryFileAsItWas)
{
    EngineTestEnvironment env;
    env.Convert();
    ASSERT_EQ(env.boxes.Texts().size(), 1u);
    EXPECT_EQ(env.boxes.Texts()[0], "Please open a video file first!");

    const std::string existing = env.dir.path().toStdString() + "/existing.avi";
    std::ofstream(existing) << "keep";
    env.Open(Fixture("h264_aac.mp4"), existing, OutputFormatAvi);

    // An existing file and the answer No: untouched.
    env.host.answers = {false};
    env.Convert();
    EXPECT_EQ(env.host.Questions(), std::vector<std::string>{"replace " + existing});
    EXPECT_TRUE(env.boxes.Boxes().empty());
    EXPECT_EQ(env.job.m_bConverting, 0);
    std::string content;
    std::ifstream(existing) >> content;
    EXPECT_EQ(content, "keep");

    // AVI without a compressor and the answer No to the warning: nothing starts.
    env.host.asked.clear();
    env.job.m_szOutputFile = env.dir.path().toStdString() + "/new.avi";
    env.job.m_bUseVideoCompressor = 0;
    env.host.answers = {false};
    env.Convert();
    EXPECT_EQ(env.host.Questions(),
              std::vector<std::string>{std::string("uncompressed ") + kDivxDownloadPage});
    EXPECT_EQ(env.job.m_bConverting, 0);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(env.job.m_szOutputFile)));

    // The opened video itself as the output: refused before it could be deleted.
    env.boxes.Clear();
    const std::string source = Fixture("h264_aac.mp4");
    const std::string before = Shell("md5sum < '" + source + "'");
    env.job.m_szOutputFile = source;
    env.Convert();
    ASSERT_EQ(env.boxes.Boxes().size(), 1u);
    EXPECT_NE(env.boxes.Texts()[0].find("is the video being converted"), std::string::npos);
    EXPECT_EQ(Shell("md5sum < '" + source + "'"), before);

    // A folder that does not exist: said before anything starts.
    env.boxes.Clear();
    env.job.m_szOutputFile = env.dir.path().toStdString() + "/missing/out.avi";
    env.Convert();
    ASSERT_EQ(env.boxes.Boxes().size(), 1u);
    EXPECT_NE(env.boxes.Texts()[0].find("does not exist"), std::string::npos);
    EXPECT_EQ(env.job.m_bConverting, 0);

    // DSM: no such writer here; the install message, and nothing runs.
    env.boxes.Clear();
    env.job.m_szOutputFile = env.dir.path().toStdString() + "/out.dsm";
    env.job.m_nOutputFormat = OutputFormatDsm;
    env.job.m_bUseVideoCompressor = 0;
    env.job.m_bUseAudioCompressor = 0;
    env.host.answers = {true};
    env.Convert();
    EXPECT_EQ(env.boxes.Texts().back(), "Please install DSM Splitter/Muxer codec)");
    EXPECT_EQ(env.job.m_bConverting, 0);
    EXPECT_EQ(env.host.caption, "Convert");
    EXPECT_TRUE(env.Usable());
}

TEST(ConversionDriver, AnErrorOfTheRunningGraphEndsTheConversionAndSaysWhy)
{
    EngineTestEnvironment env;
    const std::string out = env.dir.path().toStdString() + "/failing.mkv";
    env.Open(Fixture("long_95_7.mp4"), out, OutputFormatMkv);
    env.job.m_bUseVideoCompressor = 0;
    env.job.m_bUseAudioCompressor = 0;
    env.host.answers = {true};
    env.Convert();
    ASSERT_EQ(env.job.m_bConverting, 1);
    env.boxes.Clear();

    env.FailAsOnAFullDisk();
    ASSERT_TRUE(env.WaitIdle(30000));
    ASSERT_EQ(env.boxes.Boxes().size(), 1u);
    EXPECT_EQ(env.boxes.Texts()[0],
              "The conversion stopped because of an error: No space left on the device.");
    EXPECT_EQ(env.host.status, env.boxes.Texts()[0]);
    EXPECT_FALSE(env.host.timerRunning);
    EXPECT_TRUE(env.host.controlsEnabled);
}

TEST(ConversionDriver, Mp4ShowsTheFilterPropertiesDialogBeforeRunningAndMkvDoesNot)
{
    for (int format : {OutputFormatMp4, OutputFormatMkv}) {
        EngineTestEnvironment env;
        const std::string out
            = env.dir.path().toStdString() + (format == OutputFormatMp4 ? "/out.mp4" : "/out.mkv");
        env.Open(Fixture("h264_aac.mp4"), out, format);
        env.job.m_bUseVideoCompressor = 1;
        env.job.m_bUseAudioCompressor = 1;
        media::Filter video, audio;
        ASSERT_EQ(media::CreateCompressor("x264enc", &video), S_OK);
        ASSERT_EQ(media::CreateCompressor("voaacenc", &audio), S_OK);
        env.job.m_videoCompressor = video;
        env.job.m_audioCompressor = audio;

        env.Convert();
        ASSERT_EQ(env.job.m_bConverting, 1) << format;
        EXPECT_EQ(env.host.filterPropertiesShown, format == OutputFormatMp4 ? 1 : 0);
        ASSERT_TRUE(env.WaitIdle(120000));
        EXPECT_TRUE(DecodesCleanly(out));
        EXPECT_NEAR(Duration(out), 2.0, 0.08);
    }
}

// A copy is planned before anything is written: a container that cannot hold the stream is
// refused, and a codec that can only be cut at a key frame asks first.
TEST(ConversionDriver, ACopyIsRefusedOrAskedForBeforeAnythingIsWritten)
{
    EngineTestEnvironment env;
    const std::string ogg = env.dir.path().toStdString() + "/copy.ogm";
    env.Open(Fixture("h264_aac.mp4"), ogg, OutputFormatOgm);
    env.job.m_bUseVideoCompressor = kCompressorCopy;
    env.job.m_bUseAudioCompressor = kCompressorCopy;
    env.Convert();
    ASSERT_EQ(env.boxes.Texts().size(), 1u);
    EXPECT_NE(env.boxes.Texts()[0].find("H.264"), std::string::npos) << env.boxes.Texts()[0];
    EXPECT_NE(env.boxes.Texts()[0].find("Ogg"), std::string::npos) << env.boxes.Texts()[0];
    EXPECT_EQ(env.job.m_bConverting, 0);
    EXPECT_TRUE(env.Usable());
    EXPECT_TRUE(QDir(env.dir.path()).entryList({"*.ogm", "*.part"}, QDir::Files).isEmpty());

    // MPEG-2 starts at a key frame: asked first; No writes nothing.
    env.boxes.Clear();
    const std::string mkv = env.dir.path().toStdString() + "/copy.mkv";
    env.Open(Fixture("mpeg2_mp2.mpg"), mkv, OutputFormatMkv);
    env.job.m_bUseVideoCompressor = kCompressorCopy;
    env.job.m_bUseAudioCompressor = kCompressorCopy;
    env.job.m_llStartTime = env.job.m_llEndTime / 2;
    env.host.answers = {false};
    env.Convert();
    ASSERT_EQ(env.host.Questions().size(), 1u);
    EXPECT_EQ(env.host.Questions()[0].rfind("key frame ", 0), 0u);
    EXPECT_EQ(env.job.m_bConverting, 0);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(mkv)));

    // Yes: the copy runs from the key frame, and the check reads back what the plan said.
    const auto copiedWhole = [&env] {
        env.host.asked.clear();
        env.host.answers = {true};
        env.Convert();
        if (env.job.m_bConverting != 1 || !env.WaitIdle(60000))
            return false;
        return env.conversion.m_result.kind == ConversionResult::Kind::Completed;
    };
    ASSERT_TRUE(copiedWhole()) << env.conversion.m_result.message;
    EXPECT_EQ(StreamEntry(mkv, "v:0", "codec_name"), "mpeg2video");
    EXPECT_EQ(Shell("ffmpeg -nostdin -v error -i '" + mkv + "' -f null - 2>&1"), "");
    EXPECT_TRUE(env.Usable());

    // Stamps that start off the marks' frame grid: the key frame's pictures end part of a frame
    // past the end mark, and the check expects what is written.
    const std::string offset = env.dir.path().toStdString() + "/offset.mpg";
    ASSERT_EQ(Shell("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i "
                    "sine -t 4 -c:v mpeg2video -g 12 -bf 2 -c:a mp2 -output_ts_offset 3 -f vob '"
                    + offset + "' 2>&1"),
              "");
    const std::string offsetCopy = env.dir.path().toStdString() + "/offset.mkv";
    env.Open(offset, offsetCopy, OutputFormatMkv);
    env.job.m_bUseVideoCompressor = kCompressorCopy;
    env.job.m_bUseAudioCompressor = kCompressorCopy;
    env.job.m_llStartTime = 10000000;
    env.job.m_llEndTime = 20000000;
    EXPECT_TRUE(copiedWhole()) << env.conversion.m_result.message;
}
