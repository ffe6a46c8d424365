#include "media/copy/PacketScan.h"
#include "media/copy/SectionCopy.h"
#include "media/core/FilterInternal.h"
#include "media/core/MediaPlatform.h"
#include "media/output/ConversionGraph.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using namespace media;

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr std::size_t kFrameBytes = kWidth * kHeight * 3 / 2;
constexpr REFERENCE_TIME kFrame = UNITS / 25;

// Every picture of a file decoded to 8-bit 4:2:0, one after the other.
std::vector<std::string> Pictures(const std::string &file, const std::string &filter = "")
{
    const std::string raw = Shell(
        "ffmpeg -v error -i '" + file + "' " + (filter.empty() ? "" : "-vf '" + filter + "' ")
        + "-vsync passthrough -f rawvideo -pix_fmt yuv420p - 2>/dev/null");
    std::vector<std::string> pictures;
    for (std::size_t at = 0; at + kFrameBytes <= raw.size(); at += kFrameBytes)
        pictures.push_back(raw.substr(at, kFrameBytes));
    return pictures;
}

double Psnr(const std::string &a, const std::string &b)
{
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d
            = double(static_cast<unsigned char>(a[i])) - double(static_cast<unsigned char>(b[i]));
        sum += d * d;
    }
    const double mse = sum / double(a.size());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

double StartTime(const std::string &file, const char *stream)
{
    return std::atof(StreamEntry(file, stream, "start_time").c_str());
}

class LosslessCut : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        std::string error;
        ASSERT_TRUE(InitializeMediaPlatform(&error)) << error;
        dir = new QTemporaryDir;
        // A frame counter on a moving picture, key frames every 2 s, a tone.
        const std::string source = "-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i "
                                   "sine=frequency=440:sample_rate=48000 -t 8 -pix_fmt yuv420p ";
        Shell("ffmpeg -v error -y " + source + "-c:v libx264 -g 50 -sc_threshold 0 -c:a aac '"
              + Path("h264.mp4") + "'");
        Shell("ffmpeg -v error -y -i '" + Path("h264.mp4") + "' -c copy '" + Path("h264.mkv")
              + "'");
        // Open groups: key frames that are recovery points, not IDR pictures.
        Shell("ffmpeg -v error -y " + source
              + "-c:v libx264 -g 50 -sc_threshold 0 -x264-params open-gop=1 -c:a aac '"
              + Path("opengop.mp4") + "'");
        Shell("ffmpeg -v error -y " + source
              + "-c:v libvpx-vp9 -g 50 -b:v 400k -deadline realtime "
                "-cpu-used 8 -c:a libopus '"
              + Path("vp9.webm") + "'");
        Shell("ffmpeg -v error -y " + source + "-c:v mpeg2video -g 25 -bf 2 -q:v 4 -c:a mp2 '"
              + Path("mpeg2.mpg") + "'");
    }
    static void TearDownTestSuite()
    {
        delete dir;
        dir = nullptr;
    }
    static std::string Path(const char *name) { return (dir->path() + "/" + name).toStdString(); }

    static SectionCopyRequest Request(const char *input, const char *output, const char *muxer,
                                      REFERENCE_TIME start, REFERENCE_TIME end)
    {
        SectionCopyRequest request;
        request.input = Path(input);
        request.output = Path(output);
        request.muxer = muxer;
        request.start = start;
        request.end = end;
        return request;
    }

    // Plans and runs the copy to its end.
    static void Copy(const SectionCopyRequest &request, SectionCopyPlan *plan)
    {
        ASSERT_EQ(PlanSectionCopy(request, plan), S_OK) << plan->refusal;
        std::shared_ptr<ConversionGraph> graph;
        ASSERT_EQ(BuildSectionCopy(request, *plan, &graph), S_OK);
        ASSERT_EQ(graph->Run(), S_OK) << graph->LastError();
        long code = 0;
        std::intptr_t p1 = 0, p2 = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (graph->GetEvent(&code, &p1, &p2) == E_ABORT
               && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_EQ(code, EC_COMPLETE) << graph->LastError();
        graph->Stop();
    }

    static QTemporaryDir *dir;
};

QTemporaryDir *LosslessCut::dir = nullptr;

// A section from the middle of a group of pictures, H.264 with B-frames: the output holds
// exactly its frames, the first is the mark's, the copied ones are the source's bit for bit.
void CheckExactSection(const std::string &source, const std::string &out, int first, int count,
                       const SectionCopyPlan &plan)
{
    EXPECT_TRUE(plan.exact);
    EXPECT_GT(plan.headFrames, 0);
    EXPECT_GT(plan.copiedFrames, 0);
    EXPECT_EQ(plan.headFrames + plan.copiedFrames + plan.tailFrames, count);
    const std::vector<std::string> written = Pictures(out);
    const std::vector<std::string> wanted
        = Pictures(source, "select=between(n\\," + std::to_string(first) + "\\,"
                               + std::to_string(first + count - 1) + ")");
    ASSERT_EQ(wanted.size(), std::size_t(count));
    ASSERT_EQ(written.size(), std::size_t(count));
    for (int i = 0; i < plan.headFrames; ++i)
        EXPECT_GE(Psnr(written[i], wanted[i]), 45.0) << "re-encoded picture " << i;
    for (int i = plan.headFrames; i < plan.headFrames + plan.copiedFrames; ++i)
        EXPECT_TRUE(written[i] == wanted[i]) << "copied picture " << i;
    for (int i = plan.headFrames + plan.copiedFrames; i < count; ++i)
        EXPECT_GE(Psnr(written[i], wanted[i]), 45.0) << "re-encoded tail picture " << i;
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + out + "' -f null - 2>&1"), "");
    // Sound starts with the packet holding the mark: within one AAC packet of it, and so of
    // the picture (which the source may start a little after its sound).
    const double lead = StartTime(out, "v:0") - StartTime(out, "a:0");
    EXPECT_GE(lead, 0.0);
    EXPECT_LE(lead, 1024.0 / 48000.0 + StartTime(source, "v:0") - StartTime(source, "a:0"));
}

} // namespace

TEST_F(LosslessCut, ReadsStreamsAndNamesCodecs)
{
    SourceStreams streams;
    std::string error;
    ASSERT_TRUE(ReadSourceStreams(Path("h264.mp4"), &streams, &error)) << error;
    EXPECT_EQ(CodecName(streams.videoCaps), "H.264");
    EXPECT_EQ(CodecName(streams.audioCaps), "AAC");
    EXPECT_TRUE(WriterTakes("mp4mux", streams.videoCaps));
    EXPECT_TRUE(WriterTakes("matroskamux", streams.videoCaps));
    ASSERT_TRUE(ReadSourceStreams(Path("vp9.webm"), &streams, &error)) << error;
    EXPECT_EQ(CodecName(streams.videoCaps), "VP9");
    EXPECT_EQ(CodecName(streams.audioCaps), "Opus");
    EXPECT_FALSE(WriterTakes("avimux", streams.videoCaps));
    ASSERT_TRUE(ReadSourceStreams(Path("mpeg2.mpg"), &streams, &error)) << error;
    EXPECT_EQ(CodecName(streams.videoCaps), "MPEG-2 video");
    EXPECT_EQ(CodecName(streams.audioCaps), "MP2");
    EXPECT_FALSE(ReadSourceStreams(Path("missing.mp4"), &streams, &error));
    EXPECT_FALSE(error.empty());
    // A scan stops at its limit instead of reading on to the file's end (a 3 GB source was
    // read whole, twice, before every copy).
    for (const char *file : {"h264.mp4", "h264.mkv", "vp9.webm"}) {
        for (const gint64 until : {gint64(0), gint64(2 * GST_SECOND)}) {
            SourceScan scan;
            ASSERT_TRUE(ScanSource(Path(file), until, &scan, &error)) << error;
            EXPECT_FALSE(scan.video.reachedEnd) << file << " " << until;
            EXPECT_FALSE(scan.audio.reachedEnd) << file << " " << until;
        }
        SourceScan whole;
        ASSERT_TRUE(ScanSource(Path(file), 60 * GST_SECOND, &whole, &error)) << error;
        EXPECT_TRUE(whole.video.reachedEnd) << file;
    }
}

TEST_F(LosslessCut, H264FromMidGroupIsExactInMp4AndMkv)
{
    // Frames 71 to 130: a head up to the key frame at 100, copied pictures, an end between
    // reordered pictures.
    for (const auto &[input, output, muxer] : {std::tuple{"h264.mp4", "cut.mp4", "mp4mux"},
                                               std::tuple{"h264.mkv", "cut.mkv", "matroskamux"}}) {
        SCOPED_TRACE(output);
        SectionCopyPlan plan;
        Copy(Request(input, output, muxer, 71 * kFrame, 131 * kFrame), &plan);
        EXPECT_EQ(plan.videoStart, 71 * kFrame);
        EXPECT_EQ(plan.headFrames, 29);
        CheckExactSection(Path(input), Path(output), 71, 60, plan);
    }
}

TEST_F(LosslessCut, AMarkFarInIsReadFromTheKeyFrameBeforeIt)
{
    // Past the first seconds the source is read from a seek, not from its start: the same
    // pictures must come out.
    SectionCopyPlan plan;
    Copy(Request("h264.mp4", "late.mp4", "mp4mux", 141 * kFrame, 181 * kFrame), &plan);
    EXPECT_EQ(plan.headFrames, 9);
    CheckExactSection(Path("h264.mp4"), Path("late.mp4"), 141, 40, plan);
}

TEST_F(LosslessCut, OpenGroupsAreNotJoinedAtRecoveryPoints)
{
    // Pictures around a recovery point refer across it: the section is encoded whole instead.
    SectionCopyPlan plan;
    Copy(Request("opengop.mp4", "opengop.mkv", "matroskamux", 71 * kFrame, 131 * kFrame), &plan);
    EXPECT_TRUE(plan.exact);
    EXPECT_EQ(plan.copiedFrames, 0);
    const std::vector<std::string> written = Pictures(Path("opengop.mkv"));
    const std::vector<std::string> wanted
        = Pictures(Path("opengop.mp4"), "select=between(n\\,71\\,130)");
    ASSERT_EQ(written.size(), 60u);
    ASSERT_EQ(wanted.size(), 60u);
    for (std::size_t i = 0; i < written.size(); ++i)
        EXPECT_GE(Psnr(written[i], wanted[i]), 45.0) << "picture " << i;
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + Path("opengop.mkv") + "' -f null - 2>&1"), "");
}

TEST_F(LosslessCut, Vp9WebmIntoMkvIsExact)
{
    SectionCopyPlan plan;
    Copy(Request("vp9.webm", "vp9.mkv", "matroskamux", 30 * kFrame, 120 * kFrame), &plan);
    CheckExactSection(Path("vp9.webm"), Path("vp9.mkv"), 30, 90, plan);
}

TEST_F(LosslessCut, Mpeg2StartsAtTheKeyFrameBeforeTheMark)
{
    // The encoder places its key frames itself (open groups, adaptive B-frames): find the one
    // at or before picture 71 as ffmpeg decodes it.
    const std::string types = Shell("ffprobe -v error -select_streams v -show_entries "
                                    "frame=pict_type -of csv=p=0 '"
                                    + Path("mpeg2.mpg") + "' | grep -o '^[IPB]' | tr -d '\\n'");
    ASSERT_GT(types.size(), 131u);
    const int key = int(types.find_last_of('I', 71));
    ASSERT_GT(key, 0);
    SectionCopyPlan plan;
    // Program streams start their clock where the file says, not at 0.
    const REFERENCE_TIME first = REFERENCE_TIME(StartTime(Path("mpeg2.mpg"), "v:0") * UNITS + 0.5);
    Copy(
        Request("mpeg2.mpg", "mpeg2.mkv", "matroskamux", first + 71 * kFrame, first + 131 * kFrame),
        &plan);
    EXPECT_FALSE(plan.exact);
    EXPECT_EQ(plan.videoStart, first + key * kFrame);
    EXPECT_EQ(plan.framesBeforeMark, 71 - key);
    const std::vector<std::string> written = Pictures(Path("mpeg2.mkv"));
    const std::vector<std::string> source = Pictures(Path("mpeg2.mpg"));
    ASSERT_GE(written.size(), std::size_t(131 - key));
    ASSERT_GE(source.size(), 131u);
    for (int i = 0; i < 131 - key; ++i)
        EXPECT_TRUE(written[i] == source[key + i]) << "picture " << i;
    // ffmpeg guesses decode times for MPEG-2 in Matroska and complains of its own guesses, for
    // its own files as well: only real errors count.
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + Path("mpeg2.mkv")
                    + "' -f null - 2>&1 | grep -v 'non monotonically increasing dts'"),
              "");
}

TEST_F(LosslessCut, ContainersThatCannotHoldTheStreamAreRefused)
{
    SectionCopyPlan plan;
    EXPECT_NE(PlanSectionCopy(Request("vp9.webm", "vp9.avi", "avimux", 0, 50 * kFrame), &plan),
              S_OK);
    EXPECT_EQ(plan.refusal, "AVI cannot hold VP9 pictures copied from the source.");
    EXPECT_NE(PlanSectionCopy(Request("h264.mp4", "h264.ogg", "oggmux", 0, 50 * kFrame), &plan),
              S_OK);
    EXPECT_EQ(plan.refusal, "Ogg cannot hold H.264 pictures copied from the source.");
    EXPECT_FALSE(std::filesystem::exists(Path("vp9.avi")));
    EXPECT_FALSE(std::filesystem::exists(Path("h264.ogg")));
}

TEST_F(LosslessCut, AStopLeavesAFileThatDecodes)
{
    const SectionCopyRequest request
        = Request("h264.mp4", "stopped.mp4", "mp4mux", 10 * kFrame, 190 * kFrame);
    SectionCopyPlan plan;
    ASSERT_EQ(PlanSectionCopy(request, &plan), S_OK) << plan.refusal;
    std::shared_ptr<ConversionGraph> graph;
    ASSERT_EQ(BuildSectionCopy(request, plan, &graph), S_OK);
    ASSERT_EQ(graph->Run(), S_OK) << graph->LastError();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (graph->WrittenPosition() < UNITS && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(graph->Stop(), S_OK) << graph->LastError();
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + Path("stopped.mp4") + "' -f null - 2>&1"), "");
    // The written second counts from the earliest decode time, 2 pictures before the first.
    EXPECT_GE(Pictures(Path("stopped.mp4")).size(), 23u);
}

TEST_F(LosslessCut, EncodedStreamsHoldExactlyTheSection)
{
    // Picture and sound both encoded: decoded from the key frame before the mark and cut to it,
    // the picture at a smaller size.
    SectionCopyRequest request
        = Request("h264.mp4", "encoded.mkv", "matroskamux", 71 * kFrame, 131 * kFrame);
    request.video = StreamWay::Encode;
    request.audio = StreamWay::Encode;
    request.width = 160;
    request.height = 120;
    request.videoEncoder = WrapElement(gst::Adopt(gst_element_factory_make("x264enc", nullptr)));
    request.audioEncoder = WrapElement(gst::Adopt(gst_element_factory_make("vorbisenc", nullptr)));
    SectionCopyPlan plan;
    Copy(request, &plan);
    const std::string out = Path("encoded.mkv");
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + out + "' -f null - 2>&1"), "");
    EXPECT_EQ(StreamEntry(out, "v:0", "width"), "160");
    const std::string frames = Shell("ffprobe -v error -count_frames -select_streams v:0 "
                                     "-show_entries stream=nb_read_frames -of csv=p=0 '"
                                     + out + "'");
    EXPECT_EQ(std::atoi(frames.c_str()), 60);
    // The first picture is the mark's: compared at the written size with the source's.
    const std::string first = Shell("ffmpeg -v error -i '" + out
                                    + "' -frames:v 1 -f rawvideo -pix_fmt gray - 2>/dev/null");
    const std::string wanted = Shell("ffmpeg -v error -i '" + Path("h264.mp4")
                                     + "' -vf 'select=eq(n\\,71),scale=160:120' -frames:v 1 "
                                       "-f rawvideo -pix_fmt gray - 2>/dev/null");
    const std::string next = Shell("ffmpeg -v error -i '" + Path("h264.mp4")
                                   + "' -vf 'select=eq(n\\,72),scale=160:120' -frames:v 1 "
                                     "-f rawvideo -pix_fmt gray - 2>/dev/null");
    ASSERT_EQ(first.size(), wanted.size());
    EXPECT_GT(Psnr(first, wanted), Psnr(first, next));
    const double sound = std::atof(
        Shell("ffprobe -v error -select_streams a:0 -show_entries packet=pts_time,duration_time "
              "-of csv=p=0 '"
              + out + "' | tail -n 1 | awk -F, '{print $1 + $2}'")
            .c_str());
    EXPECT_NEAR(sound - StartTime(out, "a:0"), 2.4, 0.03);
}
