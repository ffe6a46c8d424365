// Conversions of every writer, driven through a recording front end: the writers with
// compressors set by hand (AVI uncompressed and with a chosen compressor, OGM, ASF), the
// compressors stored by the options and the even sides some encoders need. Each output is read
// back by ffprobe and ffmpeg. The same chosen through the options dialog is
// tests/app/ConversionFormatsTest.cpp.
#include "ConversionTestSupport.h"

#include "media/encoders/CompressorEnumeration.h"
#include "settings/CompressorChoices.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

namespace {

// The mean and peak level (dB) of the sound from 0.2 to 1.8 s, the codecs' edges left out;
// false when the file has none to measure.
bool SoundLevel(const std::string &file, double *mean, double *peak)
{
    const std::string text
        = Shell("ffmpeg -nostdin -i '" + file
                + "' -vn -af atrim=0.2:1.8,volumedetect -f null - 2>&1 | awk '/mean_volume/ "
                  "{ m = $5 } /max_volume/ { p = $5 } END { print m, p }'");
    return std::sscanf(text.c_str(), "%lf %lf", mean, peak) == 2;
}

struct FormatCase
{
    const char *name;
    const char *fixture;
    int format;
    const char *extension;
    const char *videoEncoder; // bound as the chosen compressor; nullptr: none chosen
    bool compressorFlags;     // the "use compressor" settings
    bool sound;               // the source has sound
    double length;
    const char *videoCodec;
};

const FormatCase kCases[] = {
    {"AviUncompressed", "h264_aac.mp4", OutputFormatAvi, ".avi", nullptr, false, true, 2.0,
     "rawvideo"},
    {"AviMpeg4", "h264_aac.mp4", OutputFormatAvi, ".avi", "cwenc_mpeg4", true, true, 2.0, "mpeg4"},
    {"Ogm", "video_only_640x480.mp4", OutputFormatOgm, ".ogm", nullptr, false, false, 2.0,
     "theora"},
    {"Asf", "mpeg4_mp3.avi", OutputFormatAsf, ".asf", nullptr, true, true, 2.0, "wmv2"},
};

class ConversionFormats : public ::testing::TestWithParam<FormatCase>
{
};

TEST_P(ConversionFormats, WritesAFileEveryReaderAccepts)
{
    const FormatCase &c = GetParam();
    EngineTestEnvironment env;
    const std::string out = env.dir.path().toStdString() + "/out" + c.extension;
    env.Open(Fixture(c.fixture), out, c.format);
    // A size of its own, so scaling shows.
    env.job.m_nOutputWidth = 176;
    env.job.m_nOutputHeight = 144;
    env.job.m_nStretchMode = ResizeStretch;
    env.job.m_bUseVideoCompressor = c.compressorFlags;
    env.job.m_bUseAudioCompressor = c.compressorFlags && c.format != OutputFormatAvi ? 1 : 0;
    if (c.videoEncoder) {
        media::Filter video;
        ASSERT_EQ(media::CreateCompressor(c.videoEncoder, &video), S_OK);
        env.job.m_videoCompressor = video;
    }
    env.boxes.Clear();
    env.host.answers = {true}; // a compressor warning, if one comes

    env.Convert();
    ASSERT_EQ(env.job.m_bConverting, 1)
        << (env.boxes.Boxes().empty() ? "" : env.boxes.Texts().back());
    const bool finished = env.WaitIdle(120000);
    ASSERT_TRUE(finished);
    for (const std::string &text : env.boxes.Texts())
        EXPECT_EQ(text.find("error"), std::string::npos) << text;

    EXPECT_EQ(Shell("ffprobe -v error -show_format -show_streams '" + out + "' 2>&1 >/dev/null"),
              "");
    EXPECT_EQ(Shell("ffmpeg -nostdin -v error -i '" + out + "' -f null - 2>&1"), "");
    const double duration = std::atof(
        Shell("ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 '" + out + "'")
            .c_str());
    EXPECT_LE(std::fabs(duration - c.length), 1.0 / 25 + 1e-6) << duration;
    EXPECT_EQ(StreamEntry(out, "v:0", "width"), "176");
    EXPECT_EQ(StreamEntry(out, "v:0", "height"), "144");
    EXPECT_EQ(StreamEntry(out, "v:0", "r_frame_rate"), "25/1");
    EXPECT_EQ(StreamEntry(out, "v:0", "codec_name"), c.videoCodec);
    EXPECT_EQ(!StreamEntry(out, "a:0", "codec_name").empty(), c.sound);
    if (c.sound) {
        // As loud as it went in: a sound source that reached both tracks came out 6 dB louder.
        double sourceMean = 0, sourcePeak = 0, mean = 0, peak = 0;
        ASSERT_TRUE(SoundLevel(Fixture(c.fixture), &sourceMean, &sourcePeak));
        ASSERT_TRUE(SoundLevel(out, &mean, &peak));
        EXPECT_NEAR(mean, sourceMean, 0.5);
        EXPECT_NEAR(peak, sourcePeak, 0.5);
    }
}

INSTANTIATE_TEST_SUITE_P(Engine, ConversionFormats, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FormatCase> &info) {
                             return std::string(info.param.name);
                         });

} // namespace

namespace {

// Converts with what the job holds, as Convert pressed after opening; the boxes shown on the way
// are in env.boxes.
void ConvertWhole(EngineTestEnvironment &env)
{
    env.host.answers = {true};
    env.Convert();
    ASSERT_EQ(env.job.m_bConverting, 1)
        << (env.boxes.Boxes().empty() ? "" : env.boxes.Texts().back());
    ASSERT_TRUE(env.WaitIdle(180000));
    EXPECT_EQ(env.host.status.rfind("Done", 0), 0u) << env.host.status;
}

} // namespace

TEST(WindowFormats, StoredCompressorsAreUsedWithoutOpeningOptions)
{
    EngineTestEnvironment env;
    env.store.WriteInt("Settings", "nOuptputFormat", OutputFormatMkv);
    env.store.WriteString("Settings", "OutputName", env.dir.path().toStdString() + "/clip.mkv");
    env.store.WriteInt("DexVideoCompress", "CompressorNumber", 0);
    env.store.WriteString("DexVideoCompress", "CompressorName", "vp8enc");
    env.store.WriteInt("DexAudioCompress", "CompressorNumber", 1);
    env.store.WriteString("DexAudioCompress", "CompressorName", "opusenc");
    env.StartAgain();
    ASSERT_TRUE(OpenVideo(env.job, Fixture("h264_aac.mp4")));
    env.boxes.Clear();
    ConvertWhole(env);
    EXPECT_TRUE(env.boxes.Boxes().empty());
    const std::string out = env.dir.path().toStdString() + "/clip.mkv";
    EXPECT_EQ(StreamEntry(out, "v:0", "codec_name"), "vp8");
    EXPECT_EQ(StreamEntry(out, "a:0", "codec_name"), "opus");
}

TEST(OriginalMeansOriginal, AnOddSourceSizeGrowsToEvenOnlyForEncodersThatNeedIt)
{
    // 321x239: H.264 and Windows Media code even sides only; MPEG-4 Part 2 in AVI keeps it.
    const std::pair<int, const char *> kCases[] = {
        {OutputFormatMp4, "322x240"}, {OutputFormatWmv, "322x240"}, {OutputFormatAvi, "321x239"}};
    for (const auto &[format, size] : kCases) {
        EngineTestEnvironment env;
        env.store.WriteInt("Settings", "nOuptputFormat", format);
        env.store.WriteString("Settings", "OutputName", env.dir.path().toStdString() + "/odd");
        env.StartAgain();
        ASSERT_TRUE(OpenVideo(env.job, Fixture("mpeg4_mp3.avi")));
        ConvertWhole(env);
        const std::string out = env.job.m_szOutputFile;
        SCOPED_TRACE(out);
        EXPECT_EQ(StreamEntry(out, "v:0", "width") + "x" + StreamEntry(out, "v:0", "height"), size);
        EXPECT_EQ(StreamEntry(out, "v:0", "r_frame_rate"), "30000/1001");
    }
}
