#include "AppTestSupport.h"

#include "app/ConversionWindow.h"
#include "app/VinteloDlg.h"
#include "convert/ConversionDriver.h"
#include "media/core/FilterInternal.h"
#include "media/encoders/CompressorEnumeration.h"
#include "resources/Artwork.h"
#include "settings/CompressorChoices.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>

namespace {

using Dlg = CVinteloDlg;

QAbstractButton *Button(const Dlg &dialog, int id)
{
    return qobject_cast<QAbstractButton *>(dialog.Control(id));
}

QString Status(const Dlg &dialog)
{
    return qobject_cast<QLabel *>(dialog.Control(Dlg::IDC_STATIC_STATUS))->text();
}

bool Locked(const Dlg &dialog)
{
    for (int id : {Dlg::IDC_BUTTON_ADD_VIDEO, Dlg::IDC_BUTTON_OUTPUT_SETTINGS,
                   Dlg::IDC_BUTTON_START_TIME, Dlg::IDC_BUTTON_END_TIME})
        if (dialog.Control(id)->isEnabled())
            return false;
    return true;
}

QTimer *ConversionTimer(const Dlg &dialog)
{
    return dialog.findChild<QTimer *>(QStringLiteral("timer1112"));
}

// Opens a fixture as the user would and points the output at dir/name.
void Open(AppTestEnvironment &env, Dlg &dialog, const char *fixture, const std::string &output,
          int format)
{
    env.choosers.QueueAnswer(Fixture(fixture));
    Button(dialog, Dlg::IDC_BUTTON_ADD_VIDEO)->click();
    ASSERT_EQ(dialog.Job().m_nPhotoCount, 1);
    dialog.Job().m_szOutputFile = output;
    dialog.Job().m_nOutputFormat = format;
    dialog.Job().m_dOutputFrameRate = 25;
    env.boxes.Clear();
}

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

// The Convert button's picture as drawn, and an icon of the program's artwork.
QImage IconImage(const Dlg &dialog)
{
    return Button(dialog, Dlg::IDC_BUTTON_CONVERT)->icon().pixmap(32, 32).toImage();
}
QImage IconImage(int number)
{
    return artwork::Icon(number).pixmap(32, 32).toImage();
}

} // namespace

TEST(ConversionDriver, CompletionEndsTheConversionWithTheDoneLine)
{
    AppTestEnvironment env;
    Dlg dialog;
    const std::string out = env.dir.path().toStdString() + "/out.wmv";
    Open(env, dialog, "h264_aac.mp4", out, OutputFormatWmv);
    dialog.Job().m_bUseVideoCompressor = 1; // the Windows Media writer compresses by itself

    Button(dialog, Dlg::IDC_BUTTON_CONVERT)->click();
    ASSERT_EQ(dialog.Job().m_bConverting, 1)
        << (env.boxes.Boxes().empty() ? "" : env.boxes.Texts()[0]);
    EXPECT_TRUE(env.boxes.Boxes().empty()); // WMV: no compressor warning
    EXPECT_EQ(Button(dialog, Dlg::IDC_BUTTON_CONVERT)->text(), "Stop");
    EXPECT_EQ(IconImage(dialog), IconImage(artwork::IconStop));
    EXPECT_NE(IconImage(dialog), IconImage(artwork::IconApplication));
    EXPECT_TRUE(Locked(dialog));
    ASSERT_NE(ConversionTimer(dialog), nullptr);
    EXPECT_TRUE(ConversionTimer(dialog)->isActive());
    EXPECT_EQ(ConversionTimer(dialog)->interval(), 1000);
    EXPECT_EQ(dialog.Job().m_bUseVideoCompressor, 0);
    EXPECT_EQ(dialog.Job().m_bUseAudioCompressor, 0);

    // Leaving is refused while the graph runs.
    dialog.close();
    EXPECT_EQ(dialog.Job().m_bConverting, 1);
    ASSERT_FALSE(env.boxes.Boxes().empty());
    EXPECT_EQ(env.boxes.Texts().back(), "Please first stop converting");

    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Job().m_bConverting == 0; }, 120000));
    EXPECT_EQ(Status(dialog).toStdString(),
              "Done. Output file: " + out + "     Resolution: 320*240");
    EXPECT_EQ(Button(dialog, Dlg::IDC_BUTTON_CONVERT)->text(), "Convert");
    EXPECT_EQ(IconImage(dialog), IconImage(artwork::IconApplication));
    EXPECT_FALSE(Locked(dialog));
    EXPECT_FALSE(ConversionTimer(dialog)->isActive());
    EXPECT_EQ(dialog.Job().m_nElapsedSeconds, 0);
    EXPECT_TRUE(DecodesCleanly(out));
    EXPECT_NEAR(Duration(out), 2.0, 0.04);
    EXPECT_EQ(Shell("ffprobe -v error -select_streams v:0 -show_entries stream=codec_name -of "
                    "default=nw=1:nk=1 '"
                    + out + "'"),
              "wmv2\n");
}

TEST(ConversionDriver, ConvertPressedAgainStopsWithAPlayableFile)
{
    AppTestEnvironment env;
    Dlg dialog;
    const std::string out = env.dir.path().toStdString() + "/stopped.mkv";
    Open(env, dialog, "long_95_7.mp4", out, OutputFormatMkv);
    dialog.Job().m_bUseVideoCompressor = 0;
    dialog.Job().m_bUseAudioCompressor = 0;
    env.boxes.QueueAnswer(platform::BoxAnswer::Yes); // the compressor warning
    // Enough work that the stop comes long before the end.
    dialog.Job().m_nOutputWidth = 320;
    dialog.Job().m_nOutputHeight = 240;

    Button(dialog, Dlg::IDC_BUTTON_CONVERT)->click();
    ASSERT_EQ(dialog.Job().m_bConverting, 1);
    ASSERT_EQ(env.boxes.Boxes().size(), 1u);
    EXPECT_NE(env.boxes.Texts()[0].find(std::string("please download it at ") + kDivxDownloadPage
                                        + "\nDo you want to continue?"),
              std::string::npos);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto &graph = dialog.Converter().Run().pControl;
            return graph && graph->CurrentPosition() > 0;
        },
        60000));
    ASSERT_EQ(dialog.Job().m_bConverting, 1);
    Button(dialog, Dlg::IDC_BUTTON_CONVERT)->click();
    EXPECT_EQ(dialog.Job().m_bConverting, 0);
    // A stop is no completion: the line says how much was written.
    const std::string status = Status(dialog).toStdString();
    EXPECT_EQ(status.rfind("Stopped: ", 0), 0u) << status;
    // The whole video, 95.7 s, is the section.
    EXPECT_NE(status.find(" of 95.70 s written. Output file: " + out + "     Resolution: 320*240"),
              std::string::npos)
        << status;
    EXPECT_FALSE(Locked(dialog));
    EXPECT_TRUE(DecodesCleanly(out));
    const double length = Duration(out);
    EXPECT_GT(length, 0.0);
    EXPECT_LT(length, 95.0);

    // A second conversion counts its time from 0 again.
    ConversionTimer(dialog)->stop();
    OnConversionTimer(dialog.Job(), dialog.Converter());
    EXPECT_EQ(Status(dialog), "Please wait... Used Time: 00:00:01");
    dialog.Job().m_nElapsedSeconds = 3660;
    OnConversionTimer(dialog.Job(), dialog.Converter());
    EXPECT_EQ(Status(dialog), "Please wait... Used Time: 01:01:01");
    dialog.Job().m_nElapsedSeconds = 0;
}

TEST(ConversionDriver, RefusalsLeaveEveryFileAsItWas)
{
    AppTestEnvironment env;
    Dlg dialog;
    Button(dialog, Dlg::IDC_BUTTON_CONVERT)->setEnabled(true);
    dialog.OnConvert();
    ASSERT_EQ(env.boxes.Texts().size(), 1u);
    EXPECT_EQ(env.boxes.Texts()[0], "Please open a video file first!");

    const std::string existing = env.dir.path().toStdString() + "/existing.avi";
    std::ofstream(existing) << "keep";
    Open(env, dialog, "h264_aac.mp4", existing, OutputFormatAvi);

    // An existing file and the answer No: untouched.
    env.boxes.QueueAnswer(platform::BoxAnswer::No);
    dialog.OnConvert();
    ASSERT_EQ(env.boxes.Boxes().size(), 1u);
    EXPECT_EQ(env.boxes.Boxes()[0].text, existing + " exists. Do you want to replace it?");
    EXPECT_EQ(env.boxes.Boxes()[0].caption, "Warning");
    EXPECT_EQ(dialog.Job().m_bConverting, 0);
    std::string content;
    std::ifstream(existing) >> content;
    EXPECT_EQ(content, "keep");

    // AVI without a compressor and the answer No to the warning: nothing starts.
    env.boxes.Clear();
    dialog.Job().m_szOutputFile = env.dir.path().toStdString() + "/new.avi";
    dialog.Job().m_bUseVideoCompressor = 0;
    env.boxes.QueueAnswer(platform::BoxAnswer::No);
    dialog.OnConvert();
    ASSERT_EQ(env.boxes.Boxes().size(), 1u);
    EXPECT_EQ(env.boxes.Boxes()[0].buttons, platform::BoxButtons::YesNo);
    EXPECT_EQ(dialog.Job().m_bConverting, 0);

    // The opened video itself as the output: refused before it could be deleted.
    env.boxes.Clear();
    const std::string source = Fixture("h264_aac.mp4");
    const std::string before = Shell("md5sum < '" + source + "'");
    dialog.Job().m_szOutputFile = source;
    dialog.OnConvert();
    ASSERT_EQ(env.boxes.Boxes().size(), 1u);
    EXPECT_NE(env.boxes.Texts()[0].find("is the video being converted"), std::string::npos);
    EXPECT_EQ(Shell("md5sum < '" + source + "'"), before);

    // A folder that does not exist: said before anything starts.
    env.boxes.Clear();
    dialog.Job().m_szOutputFile = env.dir.path().toStdString() + "/missing/out.avi";
    dialog.OnConvert();
    ASSERT_EQ(env.boxes.Boxes().size(), 1u);
    EXPECT_NE(env.boxes.Texts()[0].find("does not exist"), std::string::npos);
    EXPECT_EQ(dialog.Job().m_bConverting, 0);

    // DSM: no such writer here; the install message, and nothing runs.
    env.boxes.Clear();
    dialog.Job().m_szOutputFile = env.dir.path().toStdString() + "/out.dsm";
    dialog.Job().m_nOutputFormat = OutputFormatDsm;
    dialog.Job().m_bUseVideoCompressor = 0;
    dialog.Job().m_bUseAudioCompressor = 0;
    env.boxes.QueueAnswer(platform::BoxAnswer::Yes);
    dialog.OnConvert();
    EXPECT_EQ(env.boxes.Texts().back(), "Please install DSM Splitter/Muxer codec)");
    EXPECT_EQ(dialog.Job().m_bConverting, 0);
    EXPECT_EQ(Button(dialog, Dlg::IDC_BUTTON_CONVERT)->text(), "Convert");
}

TEST(ConversionDriver, AnErrorOfTheRunningGraphEndsTheConversionAndSaysWhy)
{
    AppTestEnvironment env;
    Dlg dialog;
    const std::string out = env.dir.path().toStdString() + "/failing.mkv";
    Open(env, dialog, "long_95_7.mp4", out, OutputFormatMkv);
    dialog.Job().m_bUseVideoCompressor = 0;
    dialog.Job().m_bUseAudioCompressor = 0;
    env.boxes.QueueAnswer(platform::BoxAnswer::Yes);
    Button(dialog, Dlg::IDC_BUTTON_CONVERT)->click();
    ASSERT_EQ(dialog.Job().m_bConverting, 1);
    env.boxes.Clear();

    // What a full disk reports from the file sink.
    GstElement *graph = media::ElementOf(dialog.Converter().Run().pControl->Graph());
    GST_ELEMENT_ERROR(graph, RESOURCE, NO_SPACE_LEFT, ("No space left on the device."), (nullptr));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Job().m_bConverting == 0; }, 30000));
    ASSERT_EQ(env.boxes.Boxes().size(), 1u);
    EXPECT_EQ(env.boxes.Texts()[0],
              "The conversion stopped because of an error: No space left on the device.");
    EXPECT_EQ(Status(dialog), QString::fromStdString(env.boxes.Texts()[0]));
    EXPECT_FALSE(ConversionTimer(dialog)->isActive());
    EXPECT_FALSE(Locked(dialog));
}

TEST(ConversionDriver, Mp4ShowsTheFilterPropertiesDialogBeforeRunningAndMkvDoesNot)
{
    AppTestEnvironment env;
    for (int format : {OutputFormatMp4, OutputFormatMkv}) {
        Dlg dialog;
        const std::string out
            = env.dir.path().toStdString() + (format == OutputFormatMp4 ? "/out.mp4" : "/out.mkv");
        Open(env, dialog, "h264_aac.mp4", out, format);
        dialog.Job().m_bUseVideoCompressor = 1;
        dialog.Job().m_bUseAudioCompressor = 1;
        media::Filter video, audio;
        ASSERT_EQ(media::CreateCompressor("x264enc", &video), S_OK);
        ASSERT_EQ(media::CreateCompressor("voaacenc", &audio), S_OK);
        dialog.Job().m_videoCompressor = video;
        dialog.Job().m_audioCompressor = audio;

        QStringList shown;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                shown << modal->metaObject()->className();
                modal->close();
            }
        });
        closer.start(20);
        Button(dialog, Dlg::IDC_BUTTON_CONVERT)->click();
        closer.stop();
        ASSERT_EQ(dialog.Job().m_bConverting, 1) << format;
        EXPECT_EQ(shown,
                  format == OutputFormatMp4 ? QStringList{"CDialogFilterPerproty"} : QStringList{});
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Job().m_bConverting == 0; }, 120000));
        EXPECT_TRUE(DecodesCleanly(out));
        EXPECT_NEAR(Duration(out), 2.0, 0.08);
    }
}
