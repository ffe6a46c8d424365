// Our libavcodec encoder elements, run inside the media layer on a real clip and read back by
// ffprobe/ffmpeg: bitrate reached, quality rising with it, time stamps from 0, exact lengths
// of a section, key-frame spacing set through the element.

#include "media/core/LaunchLine.h"
#include "media/core/MediaPlatform.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kClip = std::string(CW_FIXTURE_DIR) + "/motion_640x480.mp4";
constexpr double kClipSeconds = 20.0;

std::string OutputPath(const std::string &name)
{
    return std::string(CW_BINARY_DIR) + "/encoders-test-" + name;
}

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

void RunPipeline(const std::string &pipeline, const media::LaunchSection *section = nullptr)
{
    std::string error;
    ASSERT_EQ(media::RunLaunchLine(pipeline, &error, section, 240), S_OK) << error << "\n"
                                                                          << pipeline;
}

// Bits per second of one stream's packets (container overhead left out) over the given length.
double StreamBitrate(const std::string &file, const char *stream, double seconds)
{
    double bytes = 0;
    for (const std::string &line :
         Lines(Shell("ffprobe -v error -select_streams " + std::string(stream)
                     + " -show_entries packet=size -of csv=p=0 '" + file + "'")))
        bytes += std::atof(line.c_str());
    return bytes * 8 / seconds;
}

std::string Probe(const std::string &file, const std::string &entries, const char *stream)
{
    const std::string output
        = Shell("ffprobe -v error -select_streams " + std::string(stream) + " -show_entries "
                + entries + " -of default=nw=1:nk=1 '" + file + "'");
    return Lines(output).empty() ? std::string() : Lines(output).front();
}

// Mean luma-and-chroma PSNR of a file's picture against the clip, by ffmpeg's psnr filter.
double Psnr(const std::string &file)
{
    const std::string log = Shell("ffmpeg -hide_banner -nostdin -i '" + file + "' -i '" + kClip
                                  + "' -lavfi '[0:v][1:v]psnr' -f null - 2>&1");
    const size_t at = log.find("average:");
    return at == std::string::npos ? 0.0 : std::atof(log.c_str() + at + 8);
}

// Decoded sound as 16-bit mono samples, by ffmpeg.
std::vector<short> DecodedSound(const std::string &file)
{
    const std::string raw = OutputPath("sound.raw");
    Shell("ffmpeg -v error -nostdin -y -i '" + file + "' -map 0:a -ac 1 -f s16le '" + raw + "'");
    std::ifstream in(raw, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<short> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = short((unsigned char)bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return samples;
}

// Signal-to-noise ratio in dB of the test sound against the reference, sample for sample.
double SoundSnr(const std::vector<short> &reference, const std::vector<short> &test)
{
    const size_t n = std::min(reference.size(), test.size());
    double signal = 0;
    double noise = 0;
    for (size_t i = 0; i < n; ++i) {
        signal += double(reference[i]) * reference[i];
        const double d = double(test[i]) - reference[i];
        noise += d * d;
    }
    return noise > 0 ? 10 * std::log10(signal / noise) : 99.0;
}

std::string VideoFromClip()
{
    return "filesrc location=" + kClip + " ! qtdemux ! avdec_h264 ! videoconvert";
}

class Encoders : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(media::InitializeMediaPlatform(&error, media::MediaServices::Playback))
            << error;
        if (Shell("command -v ffprobe").empty())
            GTEST_SKIP() << "ffprobe is not installed";
    }
};

TEST_F(Encoders, Wmv2ReachesEachBitrateAndMoreBitsLookBetter)
{
    double lastPsnr = 0;
    for (const int bitrate : {300000, 780000, 2000000}) {
        SCOPED_TRACE(bitrate);
        const std::string out = OutputPath("wmv2-" + std::to_string(bitrate) + ".wmv");
        // Key frames every 8 s and a 5 s buffer, as the Windows Media writer asks for.
        RunPipeline(VideoFromClip() + " ! cwenc_wmv2 bitrate=" + std::to_string(bitrate)
                    + " gop-size=200 buffer-size=" + std::to_string(5 * bitrate)
                    + " ! avmux_asf ! filesink location=" + out);
        EXPECT_EQ(Probe(out, "stream=codec_name", "v:0"), "wmv2");
        EXPECT_NEAR(std::atof(Probe(out, "format=duration", "v:0").c_str()), kClipSeconds, 0.05);
        EXPECT_EQ(std::atof(Probe(out, "stream=start_time", "v:0").c_str()), 0.0);
        const double achieved = StreamBitrate(out, "v:0", kClipSeconds);
        EXPECT_NEAR(achieved / bitrate, 1.0, 0.15) << achieved << " bit/s";
        const double psnr = Psnr(out);
        EXPECT_GT(psnr, lastPsnr + 1.0);
        lastPsnr = psnr;
    }
}

TEST_F(Encoders, Mpeg4PartTwoInAviReachesItsBitrate)
{
    const std::string out = OutputPath("mpeg4-780000.avi");
    RunPipeline(VideoFromClip()
                + " ! cwenc_mpeg4 bitrate=780000 gop-size=250 ! avimux ! filesink location=" + out);
    EXPECT_EQ(Probe(out, "stream=codec_name", "v:0"), "mpeg4");
    // DivX players recognise the stream by its tag.
    EXPECT_EQ(Probe(out, "stream=codec_tag_string", "v:0"), "DIVX");
    EXPECT_EQ(Probe(out, "stream=nb_frames", "v:0"), "500");
    const double achieved = StreamBitrate(out, "v:0", kClipSeconds);
    EXPECT_NEAR(achieved / 780000, 1.0, 0.15) << achieved << " bit/s";
    EXPECT_GT(Psnr(out), 33.0);
    EXPECT_EQ(Shell("ffmpeg -v error -nostdin -i '" + out + "' -f null - 2>&1"), "");
}

TEST_F(Encoders, Wma2ReachesEachBitrateAndKeepsItsPlace)
{
    // The reference: the clip's own sound through the same decoder, as PCM.
    const std::string wav = OutputPath("reference.wav");
    RunPipeline("filesrc location=" + kClip
                + " ! qtdemux ! avdec_aac ! audioconvert ! "
                  "audio/x-raw,format=S16LE ! wavenc ! filesink location="
                + wav);
    const std::vector<short> reference = DecodedSound(wav);
    ASSERT_GT(reference.size(), 44100u * 19);

    double lastSnr = -100;
    for (const int bitrate : {64000, 128000}) {
        SCOPED_TRACE(bitrate);
        const std::string out = OutputPath("wma2-" + std::to_string(bitrate) + ".wma");
        RunPipeline("filesrc location=" + kClip
                    + " ! qtdemux ! avdec_aac ! audioconvert ! "
                      "cwenc_wmav2 bitrate="
                    + std::to_string(bitrate) + " ! avmux_asf ! filesink location=" + out);
        EXPECT_EQ(Probe(out, "stream=codec_name", "a:0"), "wmav2");
        const double seconds = double(reference.size()) / 44100;
        const double achieved = StreamBitrate(out, "a:0", seconds);
        EXPECT_NEAR(achieved / bitrate, 1.0, 0.15) << achieved << " bit/s";
        // Decoded, every sample sits where it was: a sound one frame early or late would
        // give a noise as loud as the tone.
        const std::vector<short> decoded = DecodedSound(out);
        EXPECT_GE(decoded.size(), reference.size());
        EXPECT_LT(decoded.size(), reference.size() + 2048);
        const double snr = SoundSnr(reference, decoded);
        EXPECT_GT(snr, 15.0);
        EXPECT_GT(snr, lastSnr);
        lastSnr = snr;
    }
}

TEST_F(Encoders, TenSecondSectionGivesTenSecondsFromZeroWithKeyFramesEverySecond)
{
    const std::string out = OutputPath("section.wmv");
    const media::LaunchSection section{5 * UNITS, 15 * UNITS};
    RunPipeline("filesrc location=" + kClip
                    + " ! qtdemux name=d "
                      "d.video_0 ! queue ! avdec_h264 ! videoconvert ! cwenc_wmv2 bitrate=780000 "
                      "gop-size=25 ! "
                      "queue ! m.video_0 "
                      "d.audio_0 ! queue ! avdec_aac ! audioconvert ! audioresample ! cwenc_wmav2 "
                      "bitrate=128000 ! queue ! m.audio_0 "
                      "avmux_asf name=m ! filesink location="
                    + out,
                &section);

    EXPECT_EQ(std::atof(Probe(out, "stream=start_time", "v:0").c_str()), 0.0);
    EXPECT_EQ(std::atof(Probe(out, "stream=start_time", "a:0").c_str()), 0.0);
    EXPECT_NEAR(std::atof(Probe(out, "format=duration", "v:0").c_str()), 10.0, 0.05);
    EXPECT_EQ(Probe(out, "stream=nb_read_frames -count_frames", "v:0"), "250");
    // All 441000 samples, the last partial frame included, and less than a frame of padding.
    const size_t samples = DecodedSound(out).size();
    EXPECT_GE(samples, 441000u);
    EXPECT_LT(samples, 441000u + 2048u);

    // gop-size reached the codec: a key frame on every whole second, and only there.
    std::vector<double> keys;
    for (const std::string &line :
         Lines(Shell("ffprobe -v error -select_streams v:0 -show_entries packet=pts_time,flags "
                     "-of csv=p=0 '"
                     + out + "'")))
        if (line.find(",K") != std::string::npos)
            keys.push_back(std::atof(line.c_str()));
    ASSERT_EQ(keys.size(), 10u);
    for (size_t i = 0; i < keys.size(); ++i)
        EXPECT_NEAR(keys[i], double(i), 0.001);
    EXPECT_EQ(Shell("ffmpeg -v error -nostdin -i '" + out + "' -f null - 2>&1"), "");
}

TEST_F(Encoders, EveryCodecWritesAStreamItsMuxerAndFfmpegAccept)
{
    struct Case
    {
        const char *encoder;
        const char *muxer;
        const char *extension;
        const char *stream;
        const char *codec;
    };
    const Case cases[] = {
        {"cwenc_wmv1", "avmux_asf", "wmv", "v:0", "wmv1"},
        {"cwenc_wmv2", "asfmux", "wmv", "v:0", "wmv2"},
        {"cwenc_msmpeg4", "avimux", "avi", "v:0", "msmpeg4v3"},
        {"cwenc_mpeg4", "matroskamux", "mkv", "v:0", "mpeg4"},
        {"cwenc_wmav1", "avmux_asf", "wma", "a:0", "wmav1"},
        {"cwenc_wmav2", "matroskamux", "mka", "a:0", "wmav2"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.encoder);
        const std::string out = OutputPath(std::string("each-") + c.encoder + "." + c.extension);
        const bool video = c.stream[0] == 'v';
        const std::string source
            = video ? "videotestsrc num-buffers=50 pattern=ball ! "
                      "video/x-raw,format=I420,width=320,height=240,framerate=25/1"
                    : "audiotestsrc num-buffers=50 samplesperbuffer=882 ! "
                      "audio/x-raw,rate=22050,channels=1 ! audioconvert";
        RunPipeline(source + " ! " + c.encoder + " ! " + c.muxer + " ! filesink location=" + out);
        EXPECT_EQ(Probe(out, "stream=codec_name", c.stream), c.codec);
        EXPECT_NEAR(std::atof(Probe(out, "format=duration", c.stream).c_str()), 2.0, 0.1);
        // asfmux writes a bad padding length into its last packet whatever it is fed.
        if (std::string(c.muxer) != "asfmux") {
            EXPECT_EQ(Shell("ffmpeg -v error -nostdin -i '" + out + "' -f null - 2>&1"), "");
        }
    }
}

TEST_F(Encoders, CodecOptionsReachTheCodec)
{
    // Two seconds of fine detail in motion: every option changes what the codec writes.
    const auto encode = [](const std::string &encoder) {
        const std::string out = OutputPath("options.mkv");
        RunPipeline("videotestsrc num-buffers=50 pattern=zone-plate kx2=26 ky2=26 kt=1 ! "
                    "video/x-raw,format=I420,width=640,height=480,framerate=25/1 ! "
                    + encoder + " ! matroskamux ! filesink location=" + out);
        EXPECT_EQ(Shell("ffmpeg -v error -nostdin -i '" + out + "' -f null - 2>&1"), "") << encoder;
        return StreamBitrate(out, "v:0", 2.0);
    };
    const double plain = encode("cwenc_mpeg4 bitrate=2000000");
    // The coarsest quantizer everywhere cannot spend 2 Mbit/s.
    EXPECT_LT(encode("cwenc_mpeg4 bitrate=2000000 qmin=31 qmax=31"), plain / 3);
    for (const char *option : {"four-mv=true", "mb-decision=rd", "trellis=true"}) {
        SCOPED_TRACE(option);
        const double withOption = encode(std::string("cwenc_mpeg4 bitrate=2000000 ") + option);
        EXPECT_NE(withOption, plain);
        EXPECT_NEAR(withOption / plain, 1.0, 0.2); // the same rate control, other choices
    }
}

TEST_F(Encoders, SettingsTheCodecRefusesAreReportedNotCrashed)
{
    // WMV2 takes even widths only: the run ends with the codec's reason, no hang, no crash.
    std::string error;
    EXPECT_EQ(media::RunLaunchLine("videotestsrc num-buffers=5 ! "
                                   "video/x-raw,format=I420,width=321,height=240,framerate=25/1 ! "
                                   "cwenc_wmv2 ! fakesink",
                                   &error, nullptr, 60),
              E_FAIL);
    EXPECT_NE(error.find("refused its settings"), std::string::npos) << error;
    EXPECT_EQ(media::RunLaunchLine("videotestsrc ! cwenc_wmv2 no-such-setting=1 ! fakesink", &error,
                                   nullptr, 60),
              E_INVALIDARG);
}

} // namespace
