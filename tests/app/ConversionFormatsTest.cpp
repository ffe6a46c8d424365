// Conversions through the main window, offscreen, for the writers the other driver tests leave
// out: AVI (uncompressed and with a chosen compressor), OGM and ASF. Each output is read back by
// ffprobe and ffmpeg, and its sound must be as loud as the source's.
#include "AppTestSupport.h"

#include "app/VinteloDlg.h"
#include "media/encoders/CompressorEnumeration.h"
#include "settings/CompressorChoices.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QTest>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using Dlg = CVinteloDlg;

// One entry of the first stream of a kind ("v:0", "a:0"), without its line end.
std::string Probe(const std::string &file, const char *stream, const char *entry)
{
    std::string value
        = Shell(std::string("ffprobe -v error -select_streams ") + stream + " -show_entries stream="
                + entry + " -of default=nw=1:nk=1 '" + file + "' | head -n 1");
    while (!value.empty() && value.back() == '\n')
        value.pop_back();
    return value;
}

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
    AppTestEnvironment env;
    Dlg dialog;
    const std::string out = env.dir.path().toStdString() + "/out" + c.extension;
    env.choosers.QueueAnswer(Fixture(c.fixture));
    qobject_cast<QAbstractButton *>(dialog.Control(Dlg::IDC_BUTTON_ADD_VIDEO))->click();
    ASSERT_EQ(dialog.m_nPhotoCount, 1);
    dialog.m_szOutputFile = out;
    dialog.m_nOutputFormat = c.format;
    dialog.m_dOutputFrameRate = 25;
    // A size of its own, so scaling shows.
    dialog.m_nOutputWidth = 176;
    dialog.m_nOutputHeight = 144;
    dialog.m_nStretchMode = ResizeStretch;
    dialog.m_bUseVideoCompressor = c.compressorFlags;
    dialog.m_bUseAudioCompressor = c.compressorFlags && c.format != OutputFormatAvi ? 1 : 0;
    if (c.videoEncoder) {
        media::Filter video;
        ASSERT_EQ(media::CreateCompressor(c.videoEncoder, &video), S_OK);
        SetBoundCompressor(CompressorCategory::Video, video);
    }
    env.boxes.Clear();
    env.boxes.QueueAnswer(platform::BoxAnswer::Yes); // a compressor warning, if one comes

    qobject_cast<QAbstractButton *>(dialog.Control(Dlg::IDC_BUTTON_CONVERT))->click();
    ASSERT_EQ(dialog.m_bConverting, 1)
        << (env.boxes.Boxes().empty() ? "" : env.boxes.Texts().back());
    const bool finished = QTest::qWaitFor([&] { return dialog.m_bConverting == 0; }, 120000);
    ReleaseBoundCompressors();
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
    EXPECT_EQ(Probe(out, "v:0", "width"), "176");
    EXPECT_EQ(Probe(out, "v:0", "height"), "144");
    EXPECT_EQ(Probe(out, "v:0", "r_frame_rate"), "25/1");
    EXPECT_EQ(Probe(out, "v:0", "codec_name"), c.videoCodec);
    EXPECT_EQ(!Probe(out, "a:0", "codec_name").empty(), c.sound);
    if (c.sound) {
        // As loud as it went in: a sound source that reached both tracks came out 6 dB louder.
        double sourceMean = 0, sourcePeak = 0, mean = 0, peak = 0;
        ASSERT_TRUE(SoundLevel(Fixture(c.fixture), &sourceMean, &sourcePeak));
        ASSERT_TRUE(SoundLevel(out, &mean, &peak));
        EXPECT_NEAR(mean, sourceMean, 0.5);
        EXPECT_NEAR(peak, sourcePeak, 0.5);
    }
}

INSTANTIATE_TEST_SUITE_P(MainWindow, ConversionFormats, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FormatCase> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
