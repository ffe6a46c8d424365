// Conversions that never lose a file, never hang and never report a failure as success, driven
// through a recording front end on real fixtures; the files are read back by ffprobe. The
// command line's side is tests/cli/output-safety.
#include "ConversionTestSupport.h"

#include "convert/ConversionDriver.h"
#include "convert/OutputCheck.h"
#include "convert/OutputFile.h"
#include "media/core/MediaPlatform.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utime.h>

namespace {

std::string Contents(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

int Temporaries(const QString &folder)
{
    return QDir(folder).entryList({".clipwright-*.part"}, QDir::Hidden | QDir::Files).size();
}

// Where one stream of a file ends, by ffprobe's reading of its packets.
double StreamEnd(const std::string &file, const char *stream)
{
    return std::atof(Shell(std::string("ffprobe -v error -select_streams ") + stream
                           + " -show_entries packet=pts_time,duration_time -of csv=p=0 '" + file
                           + "' | awk -F, '$1 != \"N/A\" { e = $1 + ($2 == \"N/A\" ? 0 : $2); "
                             "if (e > m) m = e } END { print m }'")
                         .c_str());
}

int Frames(const std::string &file)
{
    return std::atoi(Shell("ffprobe -v error -count_packets -select_streams v:0 -show_entries "
                           "stream=nb_read_packets -of default=nw=1:nk=1 '"
                           + file + "'")
                         .c_str());
}

} // namespace

TEST(OutputSafety, AFailedOverwriteKeepsTheOldFileByteForByte)
{
    EngineTestEnvironment env;
    const QString folder = env.dir.path();
    const std::string out = folder.toStdString() + "/existing.mkv";
    std::ofstream(out, std::ios::binary) << std::string(50000, 'k') << "the user's file";
    const std::string before = Contents(out);
    env.Open(Fixture("long_95_7.mp4"), out, OutputFormatMkv);
    env.job.m_bUseVideoCompressor = 0;
    env.job.m_bUseAudioCompressor = 0;
    env.host.answers = {true,  // replace it
                        true}; // no compressor: go on
    env.Convert();
    ASSERT_EQ(env.job.m_bConverting, 1);
    ASSERT_EQ(env.host.Questions()[0], "replace " + out);
    // Yes no longer deletes it: the new file is written beside it.
    EXPECT_EQ(Contents(out), before);
    EXPECT_EQ(Temporaries(folder), 1);
    env.boxes.Clear();

    env.FailAsOnAFullDisk();
    ASSERT_TRUE(env.WaitIdle(30000));
    ASSERT_EQ(env.boxes.Texts().size(), 1u);
    EXPECT_EQ(env.boxes.Texts()[0],
              "The conversion stopped because of an error: No space left on the device.");
    EXPECT_EQ(Contents(out), before);
    EXPECT_EQ(Temporaries(folder), 0);
    EXPECT_TRUE(env.Usable());

    // Refused by the writer before it runs (raw sound in MP4): the same.
    env.boxes.Clear();
    env.job.m_nOutputFormat = OutputFormatMp4;
    env.host.answers = {true, true};
    env.Convert();
    EXPECT_EQ(env.job.m_bConverting, 0);
    EXPECT_EQ(Contents(out), before);
    EXPECT_EQ(Temporaries(folder), 0);

    // A conversion that completes replaces it.
    env.boxes.Clear();
    env.job.m_nOutputFormat = OutputFormatMkv;
    env.job.m_llEndTime = 2 * UNITS;
    env.host.answers = {true, true};
    env.Convert();
    ASSERT_TRUE(env.WaitIdle(60000));
    EXPECT_EQ(env.host.status, "Done. Output file: " + out + "     Resolution: 64*48");
    EXPECT_NE(Contents(out), before);
    EXPECT_EQ(Frames(out), 50);
    EXPECT_EQ(Temporaries(folder), 0);
}

TEST(OutputSafety, OnlyARegularFileIsReplaced)
{
    EngineTestEnvironment env;
    const std::string folder = env.dir.path().toStdString();
    env.Open(Fixture("h264_aac.mp4"), folder + "/x.wmv", OutputFormatWmv);
    const std::string pipe = folder + "/pipe.wmv";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    env.job.m_szOutputFile = pipe;
    env.Convert();
    ASSERT_EQ(env.boxes.Texts().size(), 1u);
    EXPECT_EQ(env.boxes.Texts()[0],
              "The output file " + pipe
                  + " is a named pipe (FIFO), not a regular file; only a regular file is "
                    "replaced. Choose another output file in the Options dialog.");
    struct stat st;
    ASSERT_EQ(stat(pipe.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(env.Usable());

    if (geteuid() != 0)
        GTEST_SKIP() << "a character device needs root to be made (mknod); the pipe was refused";
    const std::string device = folder + "/null.wmv";
    ASSERT_EQ(mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    env.boxes.Clear();
    env.job.m_szOutputFile = device;
    env.Convert();
    ASSERT_EQ(env.boxes.Texts().size(), 1u);
    EXPECT_NE(env.boxes.Texts()[0].find("is a character device, not a regular file"),
              std::string::npos);
    ASSERT_EQ(stat(device.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(env.job.m_bConverting, 0);
}

TEST(OutputSafety, AStopSaysSoAndEveryStreamEndsWithinAFrame)
{
    EngineTestEnvironment env;
    const std::string out = env.dir.path().toStdString() + "/stopped.mkv";
    env.Open(Fixture("long_30min.mp4"), out, OutputFormatMkv);
    env.job.m_llEndTime = 600 * UNITS;
    env.job.m_bUseVideoCompressor = 0;
    env.job.m_bUseAudioCompressor = 0;
    env.host.answers.push_back(true);
    env.Convert();
    ASSERT_EQ(env.job.m_bConverting, 1);
    ASSERT_TRUE(env.WaitFor(
        [&] {
            const auto &graph = env.conversion.pControl;
            return graph && graph->CurrentPosition() > 5 * UNITS;
        },
        60000));
    env.Convert(); // Stop
    ASSERT_EQ(env.job.m_bConverting, 0);
    const std::string status = env.host.status;
    EXPECT_EQ(status.rfind("Stopped: ", 0), 0u) << status;
    EXPECT_NE(status.find(" of 600.00 s written. Output file: " + out + "     Resolution: 64*48"),
              std::string::npos)
        << status;
    const double video = StreamEnd(out, "v:0"), sound = StreamEnd(out, "a:0");
    EXPECT_GT(video, 5.0);
    EXPECT_LT(video, 600.0);
    EXPECT_NEAR(video, sound, 0.04);
    // The stopped line gives what the file holds.
    EXPECT_NE(status.find(SecondsText(static_cast<REFERENCE_TIME>(video * UNITS + 0.5))),
              std::string::npos)
        << status << " / " << video;
    EXPECT_TRUE(env.Usable());
    // Only the compressor warning was asked, and no box shown.
    EXPECT_EQ(env.host.Questions(),
              std::vector<std::string>{std::string("uncompressed ") + kDivxDownloadPage});
    EXPECT_TRUE(env.boxes.Texts().empty());
}

TEST(OutputSafety, AStopAsTheWindowsMediaWriterStartsIsAStop)
{
    // Stop pressed before a picture has reached the writer: the ASF writer, ended before its
    // streams have a format, used to fail ("negotiation problem"). A stop is a stop: the old
    // file stays, or what was written is in place, and no error is shown.
    EngineTestEnvironment env;
    const std::string out = env.dir.path().toStdString() + "/early.wmv";
    std::ofstream(out) << "old";
    env.Open(Fixture("long_30min.mp4"), out, OutputFormatWmv);
    env.job.m_llEndTime = 600 * UNITS;
    env.job.m_nOutputWidth = 1280;
    env.job.m_nOutputHeight = 720;
    for (int run = 0; run < 3; ++run) {
        env.host.answers.push_back(true); // replace the old file
        env.Convert();
        ASSERT_EQ(env.job.m_bConverting, 1);
        env.Convert(); // Stop, at once
        ASSERT_EQ(env.job.m_bConverting, 0);
        const std::string status = env.host.status;
        EXPECT_TRUE(status.rfind("Stopped before anything was written: ", 0) == 0
                    || status.rfind("Stopped: ", 0) == 0)
            << status;
        if (status.rfind("Stopped before", 0) == 0)
            EXPECT_EQ(Contents(out), "old");
        EXPECT_TRUE(env.Usable());
    }
    for (const std::string &text : env.boxes.Texts())
        EXPECT_EQ(text.find("error"), std::string::npos) << text;
    EXPECT_EQ(Temporaries(env.dir.path()), 0);
}

TEST(OutputSafety, ReversedMarksAreRefusedAndTheWindowStaysUsable)
{
    EngineTestEnvironment env;
    const std::string out = env.dir.path().toStdString() + "/marks.wmv";
    env.Open(Fixture("long_95_7.mp4"), out, OutputFormatWmv);
    const std::vector<std::string> statusBefore = env.host.statuses;
    env.job.m_llEndTime = 4 * UNITS;
    env.job.m_llStartTime = 15 * UNITS;
    env.Convert();
    ASSERT_EQ(env.boxes.Texts().size(), 1u);
    EXPECT_EQ(env.boxes.Texts()[0], "The start mark (00:00:15) is after the end mark (00:00:04). "
                                    "Set the start mark before the end mark, then convert again.");
    EXPECT_TRUE(env.Usable());
    EXPECT_EQ(env.host.statuses, statusBefore);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(out)));
    EXPECT_EQ(Temporaries(env.dir.path()), 0);

    env.boxes.Clear();
    env.job.m_llEndTime = env.job.m_llStartTime = 4 * UNITS + 2000000;
    env.Convert();
    ASSERT_EQ(env.boxes.Texts().size(), 1u);
    EXPECT_EQ(env.boxes.Texts()[0],
              "The start mark and the end mark are both at 00:00:04.200: there is nothing to "
              "convert. Set the end mark after the start mark, then convert again.");
    EXPECT_TRUE(env.Usable());

    // Marked the right way round, it converts.
    env.boxes.Clear();
    env.job.m_llStartTime = 3 * UNITS;
    env.Convert();
    ASSERT_EQ(env.job.m_bConverting, 1) << (env.boxes.Texts().empty() ? "" : env.boxes.Texts()[0]);
    ASSERT_TRUE(env.WaitIdle(60000));
    EXPECT_EQ(env.host.status, "Done. Output file: " + out + "     Resolution: 64*48");
    EXPECT_EQ(Frames(out), 30); // 1.2 s at 25 fps
}

TEST(OutputSafety, ASectionOfOneFrameOrLessGivesOneFrameQuickly)
{
    EngineTestEnvironment env;
    const std::string folder = env.dir.path().toStdString();
    env.Open(Fixture("h264_aac.mp4"), folder + "/a.wmv", OutputFormatWmv);
    struct Case
    {
        REFERENCE_TIME start, end;
        double rate;
    };
    int n = 0;
    for (const Case &c :
         {Case{0, 400000, 25}, Case{UNITS, UNITS + 100000, 25}, Case{19600000, 20000000, 23.976}}) {
        const std::string out = folder + "/frame" + std::to_string(++n) + ".wmv";
        env.job.m_szOutputFile = out;
        env.job.m_llStartTime = c.start;
        env.job.m_llEndTime = c.end;
        env.job.m_dOutputFrameRate = c.rate;
        env.boxes.Clear();
        const auto began = std::chrono::steady_clock::now();
        env.Convert();
        ASSERT_EQ(env.job.m_bConverting, 1) << n;
        ASSERT_TRUE(env.WaitIdle(10000)) << "case " << n << " hangs";
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(10));
        EXPECT_TRUE(env.boxes.Texts().empty()) << env.boxes.Texts()[0];
        EXPECT_EQ(env.host.status.rfind("Done.", 0), 0u) << env.host.status;
        EXPECT_EQ(Frames(out), 1) << n;
    }
}

TEST(OutputSafety, AFileLocatedAgainKeepsItsSound)
{
    EngineTestEnvironment env;
    const std::string folder = env.dir.path().toStdString();
    const std::string first = folder + "/clip.mp4";
    ASSERT_TRUE(QFile::copy(QString::fromStdString(Fixture("h264_aac.mp4")),
                            QString::fromStdString(first)));
    const std::string out = folder + "/located.wmv";
    env.Open(first, out, OutputFormatWmv);
    // The file goes away after opening and turns up elsewhere.
    ASSERT_TRUE(QDir(env.dir.path()).mkdir("moved"));
    const std::string moved = folder + "/moved/clip.mp4";
    ASSERT_EQ(std::rename(first.c_str(), moved.c_str()), 0);
    env.host.locations.push_back(moved);
    env.Convert();
    ASSERT_FALSE(env.host.Questions().empty());
    EXPECT_EQ(env.host.Questions()[0], "locate " + first);
    ASSERT_EQ(env.job.m_bConverting, 1);
    ASSERT_TRUE(env.WaitIdle(60000));
    EXPECT_EQ(env.host.status, "Done. Output file: " + out + "     Resolution: 320*240");
    EXPECT_EQ(Shell("ffprobe -v error -select_streams a -show_entries stream=codec_name -of "
                    "default=nw=1:nk=1 '"
                    + out + "'"),
              "wmav2\n");
    EXPECT_NEAR(StreamEnd(out, "a:0"), 2.0, 0.06);
    // The job follows the file.
    EXPECT_EQ(env.job.m_szPhotoFile[0], moved);
    EXPECT_EQ(env.job.m_szMusicFile[0], moved);
}

TEST(OutputSafety, AnInputThatStopsDeliveringIsAnErrorWithTheTimeItReached)
{
    EngineTestEnvironment env;
    const std::string folder = env.dir.path().toStdString();
    // Its index promises 10 s; its data stops at about a third.
    const std::string whole = folder + "/whole.mp4", cut = folder + "/cut.mp4";
    Shell("ffmpeg -v error -nostdin -i '" + Fixture("numbered_25fps.mp4")
          + "' -c copy -movflags +faststart '" + whole + "'");
    const std::string data = Contents(whole);
    ASSERT_GT(data.size(), 1000u);
    std::ofstream(cut, std::ios::binary) << data.substr(0, data.size() / 3);
    const std::string out = folder + "/cut.wmv";
    env.Open(cut, out, OutputFormatWmv);
    ASSERT_EQ(env.job.m_llEndTime, 10 * UNITS);
    env.Convert();
    ASSERT_EQ(env.job.m_bConverting, 1);
    ASSERT_TRUE(env.WaitIdle(60000));
    ASSERT_EQ(env.boxes.Texts().size(), 1u);
    const std::string text = env.boxes.Texts()[0];
    EXPECT_EQ(text.rfind("The conversion stopped because of an error: The input " + cut
                             + " stopped delivering at ",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find(" s of the 10.00 s to convert."), std::string::npos) << text;
    EXPECT_EQ(env.host.status, text);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(out)));
    EXPECT_EQ(Temporaries(env.dir.path()), 0);
    EXPECT_TRUE(env.Usable());
}

TEST(OutputSafety, AHeaderThatClaimsMoreThanTheStreamsHoldIsConvertedWithANote)
{
    EngineTestEnvironment env;
    const std::string folder = env.dir.path().toStdString();
    // A whole WebM of 5 s whose header states 6 s.
    const std::string claim = folder + "/claim.webm";
    Shell("ffmpeg -v error -nostdin -f lavfi -i testsrc=size=320x240:rate=25:duration=5 -f lavfi "
          "-i sine=duration=5 -c:v libvpx -c:a libopus '"
          + claim + "' && perl -0777 -pi -e "
          + "'s/\\x44\\x89\\x88(.{8})/\"\\x44\\x89\\x88\" . pack(\"d>\", unpack(\"d>\", $1) + "
            "1000)/se' '"
          + claim + "'");
    const std::string out = folder + "/claim.mkv";
    env.Open(claim, out, OutputFormatMkv);
    ASSERT_GT(env.job.m_llEndTime, 59 * UNITS / 10);
    env.Convert();
    ASSERT_EQ(env.job.m_bConverting, 1);
    ASSERT_TRUE(env.WaitIdle(60000));
    EXPECT_TRUE(env.boxes.Texts().empty()) << env.boxes.Texts()[0];
    EXPECT_NE(env.host.status.find("Note: the input " + claim + " holds 5.0"), std::string::npos)
        << env.host.status;
    EXPECT_EQ(Frames(out), 125);
    EXPECT_TRUE(env.Usable());
}

TEST(OutputSafety, TheReadBackCheckFindsStreamsThatDoNotMatch)
{
    ASSERT_TRUE(media::InitializeMediaPlatform());
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    auto make = [&](const std::string &name, const std::string &args) {
        const std::string path = folder + "/" + name;
        Shell("ffmpeg -v error -nostdin -f lavfi -i testsrc=size=64x48:rate=25 -f lavfi -i "
              "sine=frequency=440:sample_rate=44100 "
              + args + " -c:v libx264 -bf 2 -c:a aac '" + path + "' 2>&1");
        return path;
    };
    OutputExpectation want;
    want.length = 4 * UNITS;
    want.sound = true;

    const OutputCheckResult good = CheckWrittenFile(make("good.mp4", "-t 4"), want);
    EXPECT_TRUE(good.matches) << good.differences;
    EXPECT_EQ(good.frames, 100);
    EXPECT_NEAR(double(good.written) / UNITS, 4.0, 0.05);

    // The sound ends a second early (what a stop that ends the groups apart gave).
    const OutputCheckResult shortSound
        = CheckWrittenFile(make("short.mp4", "-map 0:v -map 1:a -t 4 -af atrim=0:3"), want);
    EXPECT_FALSE(shortSound.matches);
    EXPECT_NE(shortSound.differences.find("the sound lasts 3."), std::string::npos)
        << shortSound.differences;
    // ...unless the source's sound itself ended there.
    OutputExpectation shorterSource = want;
    shorterSource.soundSourceEnd = 3 * UNITS;
    EXPECT_TRUE(CheckWrittenFile(folder + "/short.mp4", shorterSource).matches);

    // The picture stops at 2 s of 4.
    const OutputCheckResult shortVideo = CheckWrittenFile(
        make("picture.mp4", "-map 0:v -map 1:a -t 4 -vf trim=0:2,setpts=PTS-STARTPTS"), want);
    EXPECT_NE(shortVideo.differences.find("the video lasts 2.00 s instead of 4.00 s"),
              std::string::npos)
        << shortVideo.differences;
    EXPECT_NE(shortVideo.differences.find("the video holds 50 frames instead of 100"),
              std::string::npos)
        << shortVideo.differences;

    // No sound where sound was asked for.
    const OutputCheckResult mute = CheckWrittenFile(make("mute.mp4", "-t 4 -an"), want);
    EXPECT_NE(mute.differences.find("no sound stream was written"), std::string::npos)
        << mute.differences;

    // The picture starting half a second after the sound.
    Shell("ffmpeg -v error -nostdin -itsoffset 0.5 -f lavfi -i testsrc=size=64x48:rate=25 -f lavfi "
          "-i sine=frequency=440:sample_rate=44100 -t 4 -c:v libx264 -c:a aac '"
          + folder + "/late.mkv' 2>&1");
    const OutputCheckResult late = CheckWrittenFile(folder + "/late.mkv", want);
    EXPECT_NE(late.differences.find("the first picture is at 0.5"), std::string::npos)
        << late.differences;

    // Ogg is counted like the others: all 100 frames pass, one picture left out does not,
    // nor do pictures Theora codes as empty packets (repeats no other reader counts).
    auto ogg = [&](const std::string &name, const std::string &filter) {
        Shell("ffmpeg -v error -nostdin -f lavfi -i testsrc=size=64x48:rate=25 -f lavfi -i "
              "sine=frequency=440:sample_rate=44100 -t 4 -vf '"
              + filter + "' -fps_mode vfr -c:v libtheora -c:a libvorbis '" + folder + "/" + name
              + "' 2>&1");
        return CheckWrittenFile(folder + "/" + name, want);
    };
    const OutputCheckResult wholeOgg = ogg("whole.ogg", "null");
    EXPECT_TRUE(wholeOgg.matches) << wholeOgg.differences;
    EXPECT_EQ(wholeOgg.frames, 100);
    const OutputCheckResult droppedOgg = ogg("dropped.ogg", "select=not(eq(n\\,50))");
    EXPECT_FALSE(droppedOgg.matches);
    EXPECT_NE(droppedOgg.differences.find("the video skips 0.08 s after "), std::string::npos)
        << droppedOgg.differences;
    Shell("gst-launch-1.0 -q videotestsrc num-buffers=100 pattern=solid-color ! "
          "video/x-raw,width=64,height=48,framerate=25/1 ! theoraenc ! oggmux ! filesink "
          "location='"
          + folder + "/repeats.ogg' 2>&1");
    OutputExpectation picture = want;
    picture.sound = false;
    const OutputCheckResult repeats = CheckWrittenFile(folder + "/repeats.ogg", picture);
    EXPECT_NE(repeats.differences.find("frames instead of 100"), std::string::npos)
        << repeats.differences;

    // Not a media file at all.
    std::ofstream(folder + "/text.mkv") << "not a video";
    const OutputCheckResult text = CheckWrittenFile(folder + "/text.mkv", want);
    EXPECT_FALSE(text.readable);
}

TEST(OutputSafety, OggKeepsTheLastPacketsOfStreamsThatEndTogetherOrApart)
{
    // Large pictures: when both streams still held a packet as the input ended, the Ogg writer
    // once wrote the sound's last one and dropped the picture's (48 frames of 50 here).
    EngineTestEnvironment env;
    const std::string folder = env.dir.path().toStdString();
    auto make = [&](const std::string &name, int pictureSeconds, int soundSeconds) {
        const std::string path = folder + "/" + name + ".mp4";
        Shell("ffmpeg -v error -nostdin -f lavfi -i testsrc2=size=1920x1080:rate=25:duration="
              + std::to_string(pictureSeconds)
              + " -f lavfi -i sine=frequency=440:sample_rate=44100:duration="
              + std::to_string(soundSeconds)
              + " -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac '" + path + "' 2>&1");
        return path;
    };
    struct Case
    {
        std::string source;
        REFERENCE_TIME start, end;
        int frames;
        double soundEnd;
    };
    const Case cases[] = {
        {make("together", 3, 3), UNITS / 2, 5 * UNITS / 2, 50, 2.0},
        {make("shortsound", 3, 2), UNITS / 2, 3 * UNITS, 62, 1.5},
        {make("shortpicture", 2, 3), UNITS / 2, 3 * UNITS, 38, 2.5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.source);
        const std::string out = c.source + ".ogm";
        env.StartAgain();
        env.Open(c.source, out, OutputFormatOgm);
        env.job.m_llStartTime = c.start;
        env.job.m_llEndTime = c.end;
        env.Convert();
        ASSERT_EQ(env.job.m_bConverting, 1);
        ASSERT_TRUE(env.WaitIdle(120000));
        // The read-back passed: every frame of the section is in the file.
        EXPECT_EQ(env.host.status.rfind("Done.", 0), 0u) << env.host.status;
        EXPECT_EQ(Frames(out), c.frames);
        EXPECT_NEAR(StreamEnd(out, "a:0"), c.soundEnd, 0.03);
        EXPECT_EQ(Shell("ffmpeg -nostdin -v error -i '" + out + "' -f null - 2>&1"), "");
    }
}

TEST(OutputSafety, TemporariesLiveBesideTheOutputAndGoWithTheirOwner)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string target = folder + "/out.mkv";
    std::ofstream(target) << "old";
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);

    std::string error;
    {
        // Discarded (or dropped): the target is as it was, no temporary is left.
        auto file = OutputFile::Create(target, true, &error);
        ASSERT_TRUE(file) << error;
        EXPECT_EQ(file->TemporaryPath().rfind(folder + "/.clipwright-out.mkv-", 0), 0u);
        std::ofstream(file->TemporaryPath()) << "new";
    }
    EXPECT_EQ(Contents(target), "old");
    EXPECT_EQ(Temporaries(dir.path()), 0);

    // Committed: renamed over the target, which keeps its permissions.
    auto file = OutputFile::Create(target, true, &error);
    ASSERT_TRUE(file);
    std::ofstream(file->TemporaryPath()) << "new";
    ASSERT_TRUE(file->Commit(&error)) << error;
    EXPECT_EQ(Contents(target), "new");
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(Temporaries(dir.path()), 0);

    // Without leave to replace, a file that appeared meanwhile stays.
    const std::string other = folder + "/other.mkv";
    auto fresh = OutputFile::Create(other, false, &error);
    ASSERT_TRUE(fresh);
    std::ofstream(other) << "appeared";
    EXPECT_FALSE(fresh->Commit(&error));
    EXPECT_NE(error.find("appeared during the conversion"), std::string::npos) << error;
    EXPECT_EQ(Contents(other), "appeared");
    EXPECT_EQ(Temporaries(dir.path()), 0);

    // A temporary whose owner lives is kept; one nobody holds (a killed run's) is removed.
    auto living = OutputFile::Create(target, true, &error);
    ASSERT_TRUE(living);
    const std::string stale = folder + "/.clipwright-out.mkv-dead00.part";
    std::ofstream(stale) << "left by a killed run";
    const utimbuf old{std::time(nullptr) - 60, std::time(nullptr) - 60};
    ASSERT_EQ(utime(stale.c_str(), &old), 0);
    ASSERT_EQ(utime(living->TemporaryPath().c_str(), &old), 0);
    EXPECT_EQ(OutputFile::RemoveStaleTemporaries(folder), 1);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(stale)));
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(living->TemporaryPath())));
    EXPECT_FALSE(OutputFile::IsTemporaryName("out.mkv"));
    EXPECT_FALSE(OutputFile::IsTemporaryName(".clipwright-.part"));

    // Only regular files, or nothing, may be at the output path.
    EXPECT_EQ(OutputFile::Refusal(target), "");
    EXPECT_EQ(OutputFile::Refusal(folder + "/none.mkv"), "");
    EXPECT_EQ(OutputFile::Refusal(folder),
              "The output file " + folder
                  + " is a folder, not a regular file; only a regular file is replaced.");
}
