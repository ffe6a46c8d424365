// Conversions through the main window, offscreen: every format and setting chosen in the options
// dialog as a user chooses it, then Convert. Each output is read back by ffprobe and ffmpeg. The
// writers driven without a window are tests/convert/ConversionFormatsTest.cpp.
#include "AppTestSupport.h"

#include "../options/OptionsDialogSupport.h"
#include "app/VinteloDlg.h"
#include "media/encoders/CompressorEnumeration.h"
#include "settings/CompressorChoices.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTimer>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using Dlg = CVinteloDlg;

} // namespace

// The same conversions as a user makes them: the format and everything else chosen in the
// options dialog through its controls, on a fresh profile, then Convert.
namespace {

using namespace ui;

void OpenVideo(AppTestEnvironment &env, Dlg &window, const std::string &file)
{
    env.choosers.QueueAnswer(file);
    qobject_cast<QAbstractButton *>(window.Control(Dlg::IDC_BUTTON_ADD_VIDEO))->click();
    ASSERT_EQ(window.Job().m_nPhotoCount, 1);
}

// Converts with what the window holds; the boxes shown on the way are in env.boxes.
void ConvertThroughWindow(AppTestEnvironment &env, Dlg &window)
{
    env.boxes.QueueAnswer(platform::BoxAnswer::Yes);
    // MP4 shows the filter properties dialog first: "Continue" as a user would.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    closer.start(20);
    qobject_cast<QAbstractButton *>(window.Control(Dlg::IDC_BUTTON_CONVERT))->click();
    closer.stop();
    ASSERT_EQ(window.Job().m_bConverting, 1)
        << (env.boxes.Boxes().empty() ? "" : env.boxes.Texts().back());
    const bool finished = QTest::qWaitFor([&] { return window.Job().m_bConverting == 0; }, 180000);
    ASSERT_TRUE(finished);
    EXPECT_TRUE(window.StatusText().startsWith("Done")) << window.StatusText().toStdString();
}

std::string FormatOf(const std::string &file)
{
    return Shell("ffprobe -v error -show_entries format=format_name -of default=nw=1:nk=1 '" + file
                 + "' | tr -d '\\n'");
}

// What ffprobe calls the stream an encoder of the lists writes.
std::string CodecWrittenBy(const QString &listed)
{
    static const std::map<QString, std::string> kCodecs = {
        {"x264 H.264 encoder", "h264"},      {"AAC encoder (VisualOn)", "aac"},
        {"AAC encoder (libav)", "aac"},      {"MPEG-4 Part 2 (DivX compatible)", "mpeg4"},
        {"MP3 encoder (LAME)", "mp3"},       {"Theora encoder", "theora"},
        {"Vorbis encoder", "vorbis"},        {"Opus encoder", "opus"},
        {"VP9 encoder (WebM)", "vp9"},       {"VP8 encoder (WebM)", "vp8"},
        {"Uncompressed Audio", "pcm_s16le"},
    };
    const auto it = kCodecs.find(listed);
    return it == kCodecs.end() ? "unknown: " + listed.toStdString() : it->second;
}

struct WindowFormatCase
{
    const char *entry; // in the format list
    const char *extension;
    const char *container; // ffprobe's format_name
};

const WindowFormatCase kWindowFormats[] = {
    {"WMV", ".wmv", "asf"},
    {"ASF", ".asf", "asf"},
    {"MP4", ".mp4", "mov,mp4,m4a,3gp,3g2,mj2"},
    {"MKV", ".mkv", "matroska,webm"},
    {"AVI", ".avi", "avi"},
    {"Ogg", ".ogm", "ogg"},
};

} // namespace

TEST(WindowFormats, EachFormatChosenInOptionsWritesItsContainerWithTheCodecsShown)
{
    for (const WindowFormatCase &c : kWindowFormats) {
        SCOPED_TRACE(c.entry);
        AppTestEnvironment env;
        Dlg window(env.store);
        OpenVideo(env, window, Fixture("h264_aac.mp4"));
        const std::string out = env.dir.path().toStdString() + "/clip" + c.extension;
        QString video, audio;
        RunOptions(window, [&](CDialogOutputSettings &dialog) {
            Choose(dialog, 1094, Combo(dialog, 1094)->findText(c.entry));
            EXPECT_EQ(Combo(dialog, 1094)->currentText(), c.entry);
            // The path's extension follows the format at once.
            EXPECT_TRUE(Text(dialog, 1022).endsWith(c.extension))
                << Text(dialog, 1022).toStdString();
            Type(dialog, 1022, QString::fromStdString(out));
            if (!dialog.Control(1001)->isHidden()) {
                video = Combo(dialog, 1001)->currentText();
                audio = Combo(dialog, 1002)->currentText();
            }
            Click(dialog, 1082);
        });
        env.boxes.Clear();
        ConvertThroughWindow(env, window);
        // No "very big file" warning: the picture is compressed in every format.
        EXPECT_TRUE(env.boxes.Boxes().empty())
            << (env.boxes.Boxes().empty() ? "" : env.boxes.Texts().front());

        EXPECT_EQ(FormatOf(out), c.container);
        EXPECT_EQ(Shell("ffmpeg -nostdin -v error -i '" + out + "' -f null - 2>&1"), "");
        if (video.isEmpty()) {
            EXPECT_EQ(StreamEntry(out, "v:0", "codec_name"), "wmv2");
            EXPECT_EQ(StreamEntry(out, "a:0", "codec_name"), "wmav2");
        } else {
            EXPECT_EQ(StreamEntry(out, "v:0", "codec_name"), CodecWrittenBy(video));
            EXPECT_EQ(StreamEntry(out, "a:0", "codec_name"), CodecWrittenBy(audio));
        }
        if (std::string(c.entry) == "MP4") {
            EXPECT_EQ(video, "x264 H.264 encoder");
            EXPECT_TRUE(audio.startsWith("AAC encoder")) << audio.toStdString();
        }
    }
}

TEST(WindowFormats, AStoredMp4StaysMp4ThroughOptionsAndConvert)
{
    AppTestEnvironment env;
    env.store.WriteInt("Settings", "nOuptputFormat", OutputFormatMp4);
    env.store.WriteString("Settings", "OutputName", env.dir.path().toStdString() + "/clip.mp4");
    Dlg window(env.store);
    OpenVideo(env, window, Fixture("h264_aac.mp4"));
    RunOptions(window, [&](CDialogOutputSettings &dialog) {
        EXPECT_EQ(Combo(dialog, 1094)->currentText(), "MP4");
        Click(dialog, 1082);
    });
    EXPECT_EQ(window.Job().m_nOutputFormat, OutputFormatMp4);
    EXPECT_EQ(env.store.ReadInt("Settings", "nOuptputFormat", -1), OutputFormatMp4);
    env.boxes.Clear();
    ConvertThroughWindow(env, window);
    EXPECT_TRUE(env.boxes.Boxes().empty());
    const std::string out = env.dir.path().toStdString() + "/clip.mp4";
    EXPECT_EQ(FormatOf(out), "mov,mp4,m4a,3gp,3g2,mj2");
    EXPECT_EQ(StreamEntry(out, "v:0", "codec_name"), "h264");
    EXPECT_EQ(StreamEntry(out, "a:0", "codec_name"), "aac");
}

// "Original" on a fresh profile changes nothing of the picture: rate, frames and size.
TEST(OriginalMeansOriginal, AFreshProfileKeepsTheSourcesRateFramesAndSize)
{
    AppTestEnvironment env;
    // 480x270 is no multiple of 8: the rule for typed sizes made it 480x264.
    const std::string source = env.dir.path().toStdString() + "/wide_2997.mp4";
    ASSERT_EQ(Shell("ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=480x270:rate=30000/1001 "
                    "-frames:v 60 -c:v libx264 -pix_fmt yuv420p '"
                    + source + "' 2>&1"),
              "");
    Dlg window(env.store);
    OpenVideo(env, window, source);
    const std::string out = env.dir.path().toStdString() + "/out.mkv";
    RunOptions(window, [&](CDialogOutputSettings &dialog) {
        EXPECT_EQ(Combo(dialog, 1068)->currentIndex(), 0);
        EXPECT_EQ(Combo(dialog, 1025)->currentIndex(), 0);
        Choose(dialog, 1094, Combo(dialog, 1094)->findText("MKV"));
        Type(dialog, 1022, QString::fromStdString(out));
        Click(dialog, 1082);
    });
    EXPECT_EQ(window.Job().m_nOutputWidth, 480);
    EXPECT_EQ(window.Job().m_nOutputHeight, 270);
    ConvertThroughWindow(env, window);
    EXPECT_EQ(StreamEntry(out, "v:0", "width"), "480");
    EXPECT_EQ(StreamEntry(out, "v:0", "height"), "270");
    EXPECT_EQ(StreamEntry(out, "v:0", "r_frame_rate"), "30000/1001");
    EXPECT_EQ(Shell("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                    "stream=nb_read_frames -of default=nw=1:nk=1 '"
                    + out + "' | tr -d '\\n'"),
              "60");
}

TEST(OriginalMeansOriginal, ATypedRateWithADecimalCommaIsThatRate)
{
    AppTestEnvironment env;
    Dlg window(env.store);
    OpenVideo(env, window, Fixture("h264_aac.mp4"));
    const std::string out = env.dir.path().toStdString() + "/out.mkv";
    RunOptions(window, [&](CDialogOutputSettings &dialog) {
        Choose(dialog, 1094, Combo(dialog, 1094)->findText("MKV"));
        Type(dialog, 1022, QString::fromStdString(out));
        Choose(dialog, 1068, 6);
        Type(dialog, 1069, "12,5");
        Click(dialog, 1082);
    });
    EXPECT_DOUBLE_EQ(window.Job().m_dOutputFrameRate, 12.5);
    EXPECT_EQ(env.store.ReadString("Settings", "OutputFrameRate", ""), "12,5");
    ConvertThroughWindow(env, window);
    EXPECT_EQ(StreamEntry(out, "v:0", "r_frame_rate"), "25/2");
}

// Copy chosen in the options as a user chooses it: the size and rate shown are the source's,
// greyed, and the file holds the marked frames, those from the first key frame on exactly as
// the source holds them but for the end's last B-frame run (x264 makes runs of up to 3), which
// is re-encoded to end at the mark.
TEST(WindowFormats, CopyFromTheSourceWritesTheMarkedFramesUntouchedAfterTheFirstKeyFrame)
{
    AppTestEnvironment env;
    const std::string source = env.dir.path().toStdString() + "/keys_2s.mp4";
    ASSERT_EQ(Shell("ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi "
                    "-i sine=sample_rate=48000 -t 6 -c:v libx264 -g 50 -keyint_min 50 "
                    "-sc_threshold 0 -pix_fmt yuv420p -c:a aac '"
                    + source + "' 2>&1"),
              "");
    Dlg window(env.store);
    OpenVideo(env, window, source);
    // 1.4 s to 4.6 s: 80 frames, the first key frame after the mark at 2 s (frame 50).
    window.Job().m_llStartTime = 14000000;
    window.Job().m_llEndTime = 46000000;
    const std::string out = env.dir.path().toStdString() + "/copy.mp4";
    RunOptions(window, [&](CDialogOutputSettings &dialog) {
        Choose(dialog, 1094, Combo(dialog, 1094)->findText("MP4"));
        Type(dialog, 1022, QString::fromStdString(out));
        ASSERT_EQ(Combo(dialog, 1001)->itemText(1), "Copy from the source (no re-encoding)");
        Choose(dialog, 1001, 1);
        Choose(dialog, 1002, 1);
        EXPECT_FALSE(dialog.Control(1025)->isEnabled());
        EXPECT_FALSE(dialog.Control(1068)->isEnabled());
        Click(dialog, 1082);
    });
    EXPECT_TRUE(window.Job().Copies(CompressorCategory::Video));
    env.boxes.Clear();
    ConvertThroughWindow(env, window);
    EXPECT_TRUE(env.boxes.Boxes().empty())
        << (env.boxes.Boxes().empty() ? "" : env.boxes.Texts().front());

    EXPECT_EQ(Shell("ffmpeg -nostdin -v error -i '" + out + "' -f null - 2>&1"), "");
    EXPECT_EQ(StreamEntry(out, "v:0", "codec_name"), "h264");
    EXPECT_EQ(StreamEntry(out, "a:0", "codec_name"), "aac");
    EXPECT_EQ(StreamEntry(out, "v:0", "width"), "320");
    const auto hashes = [](const std::string &file) {
        const std::string lines = Shell("ffmpeg -nostdin -v error -i '" + file
                                        + "' -map 0:v -f framemd5 - | grep -v '^#' | "
                                          "awk -F, '{ print $6 }'");
        std::vector<std::string> list;
        std::size_t at = 0;
        for (std::size_t end; (end = lines.find('\n', at)) != std::string::npos; at = end + 1)
            list.push_back(lines.substr(at, end - at));
        return list;
    };
    const std::vector<std::string> written = hashes(out);
    const std::vector<std::string> all = hashes(source);
    ASSERT_EQ(written.size(), 80u);
    ASSERT_EQ(all.size(), 150u);
    for (std::size_t i = 15; i + 3 < written.size(); ++i)
        EXPECT_EQ(written[i], all[35 + i]) << "frame " << 35 + i;
}
