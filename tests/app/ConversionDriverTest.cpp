// How the main window shows a conversion and asks its questions: the Convert button's caption
// and picture, the locked controls, timer 1112, the status line, its boxes and dialogs. What the
// conversion itself does is tests/convert/ConversionDriverTest.cpp.
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
#include <QFile>
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

// Every control usable again, the button back at Convert.
bool Usable(const Dlg &dialog)
{
    for (int id : {Dlg::IDC_BUTTON_ADD_VIDEO, Dlg::IDC_BUTTON_OUTPUT_SETTINGS,
                   Dlg::IDC_BUTTON_START_TIME, Dlg::IDC_BUTTON_END_TIME, Dlg::IDC_BUTTON_CONVERT})
        if (!dialog.Control(id)->isEnabled())
            return false;
    return dialog.Job().m_bConverting == 0
           && Button(dialog, Dlg::IDC_BUTTON_CONVERT)->text() == "Convert";
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

TEST(ConversionWindow, TheConvertButtonTurnsToStopAndTheWindowIsLockedWhileItRuns)
{
    AppTestEnvironment env;
    Dlg dialog(env.store);
    const std::string out = env.dir.path().toStdString() + "/out.wmv";
    Open(env, dialog, "h264_aac.mp4", out, OutputFormatWmv);
    dialog.Job().m_bUseVideoCompressor = 1; // the Windows Media writer compresses by itself

    Button(dialog, Dlg::IDC_BUTTON_CONVERT)->click();
    ASSERT_EQ(dialog.Job().m_bConverting, 1)
        << (env.boxes.Boxes().empty() ? "" : env.boxes.Texts()[0]);
    EXPECT_EQ(Button(dialog, Dlg::IDC_BUTTON_CONVERT)->text(), "Stop");
    EXPECT_EQ(IconImage(dialog), IconImage(artwork::IconStop));
    EXPECT_NE(IconImage(dialog), IconImage(artwork::IconApplication));
    EXPECT_TRUE(Locked(dialog));
    ASSERT_NE(ConversionTimer(dialog), nullptr);
    EXPECT_TRUE(ConversionTimer(dialog)->isActive());
    EXPECT_EQ(ConversionTimer(dialog)->interval(), 1000);

    // Leaving is refused while the graph runs.
    dialog.close();
    EXPECT_EQ(dialog.Job().m_bConverting, 1);
    ASSERT_FALSE(env.boxes.Boxes().empty());
    EXPECT_EQ(env.boxes.Texts().back(), "Please first stop converting");

    // The timer's tick shows in the status line.
    ConversionTimer(dialog)->stop();
    OnConversionTimer(dialog.Job(), dialog.Converter());
    EXPECT_EQ(Status(dialog), "Please wait... Used Time: 00:00:01");
    ConversionTimer(dialog)->start();

    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Job().m_bConverting == 0; }, 120000));
    EXPECT_EQ(Status(dialog).toStdString(),
              "Done. Output file: " + out + "     Resolution: 320*240");
    EXPECT_EQ(Button(dialog, Dlg::IDC_BUTTON_CONVERT)->text(), "Convert");
    EXPECT_EQ(IconImage(dialog), IconImage(artwork::IconApplication));
    EXPECT_FALSE(Locked(dialog));
    EXPECT_FALSE(ConversionTimer(dialog)->isActive());
    EXPECT_TRUE(Usable(dialog));
}

TEST(ConversionWindow, ItsQuestionsAreItsOwnBoxes)
{
    AppTestEnvironment env;
    Dlg dialog(env.store);
    const std::string existing = env.dir.path().toStdString() + "/existing.avi";
    std::ofstream(existing) << "keep";
    Open(env, dialog, "h264_aac.mp4", existing, OutputFormatAvi);

    // An existing file and the answer No: untouched.
    env.boxes.QueueAnswer(platform::BoxAnswer::No);
    Button(dialog, Dlg::IDC_BUTTON_CONVERT)->click();
    ASSERT_EQ(env.boxes.Boxes().size(), 1u);
    EXPECT_EQ(env.boxes.Boxes()[0].text, existing + " exists. Do you want to replace it?");
    EXPECT_EQ(env.boxes.Boxes()[0].caption, "Warning");
    EXPECT_EQ(dialog.Job().m_bConverting, 0);
    std::string content;
    std::ifstream(existing) >> content;
    EXPECT_EQ(content, "keep");
    EXPECT_TRUE(Usable(dialog));

    // AVI without a compressor and the answer No to the warning: nothing starts.
    env.boxes.Clear();
    dialog.Job().m_szOutputFile = env.dir.path().toStdString() + "/new.avi";
    dialog.Job().m_bUseVideoCompressor = 0;
    env.boxes.QueueAnswer(platform::BoxAnswer::No);
    Button(dialog, Dlg::IDC_BUTTON_CONVERT)->click();
    ASSERT_EQ(env.boxes.Boxes().size(), 1u);
    EXPECT_EQ(env.boxes.Boxes()[0].buttons, platform::BoxButtons::YesNo);
    EXPECT_NE(env.boxes.Texts()[0].find(std::string("please download it at ") + kDivxDownloadPage
                                        + "\nDo you want to continue?"),
              std::string::npos);
    EXPECT_EQ(dialog.Job().m_bConverting, 0);
    EXPECT_TRUE(Usable(dialog));

    // The video gone since it was opened: asked where it went; No, and nothing runs.
    env.boxes.Clear();
    const std::string gone = env.dir.path().toStdString() + "/gone.mp4";
    ASSERT_TRUE(
        QFile::copy(QString::fromStdString(Fixture("h264_aac.mp4")), QString::fromStdString(gone)));
    env.choosers.QueueAnswer(gone);
    Button(dialog, Dlg::IDC_BUTTON_ADD_VIDEO)->click();
    ASSERT_EQ(dialog.Job().m_szPhotoFile[0], gone);
    dialog.Job().m_szOutputFile = env.dir.path().toStdString() + "/located.wmv";
    dialog.Job().m_nOutputFormat = OutputFormatWmv;
    env.boxes.Clear();
    ASSERT_TRUE(QFile::remove(QString::fromStdString(gone)));
    env.boxes.QueueAnswer(platform::BoxAnswer::No);
    Button(dialog, Dlg::IDC_BUTTON_CONVERT)->click();
    ASSERT_FALSE(env.boxes.Texts().empty());
    EXPECT_NE(env.boxes.Texts()[0].find("could not be found.\nDo you want to locate it?"),
              std::string::npos);
    EXPECT_EQ(dialog.Job().m_bConverting, 0);
    EXPECT_TRUE(Usable(dialog));
}

TEST(ConversionWindow, TheFilterPropertiesDialogComesUpBeforeAnMp4Runs)
{
    AppTestEnvironment env;
    for (int format : {OutputFormatMp4, OutputFormatMkv}) {
        Dlg dialog(env.store);
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
    }
}
