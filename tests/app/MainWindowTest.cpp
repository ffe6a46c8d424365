#include "AppTestSupport.h"

#include "app/VinteloApp.h"
#include "app/VinteloDlg.h"
#include "controls/BitmapSlider.h"
#include "controls/ButtonST.h"
#include "platform/WindowMessages.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

namespace {

using Dlg = CVinteloDlg;

const int kNeedVideo[]
    = {Dlg::IDC_BUTTON_CONVERT,  Dlg::IDC_SLIDER_POSITION,   Dlg::IDC_BUTTON_PLAY,
       Dlg::IDC_BUTTON_PAUSE,    Dlg::IDC_BUTTON_STOP,       Dlg::IDC_BUTTON_START_TIME,
       Dlg::IDC_BUTTON_END_TIME, Dlg::IDC_STATIC_START_TIME, Dlg::IDC_STATIC_END_TIME};

QString Text(const Dlg &dialog, int id)
{
    QWidget *widget = dialog.Control(id);
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    return qobject_cast<QAbstractButton *>(widget)->text();
}

} // namespace

TEST(MainWindow, StartsInTheNoVideoStateWithItsStatusLine)
{
    AppTestEnvironment env;
    Dlg dialog(env.store);
    ASSERT_TRUE(dialog.Initialized());

    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    EXPECT_EQ(dialog.StatusText(),
              "Output file: " + videos + "/output.wmv     Resolution: Original size");
    for (int id : kNeedVideo)
        EXPECT_FALSE(dialog.Control(id)->isEnabled()) << id;
    for (int id : {Dlg::IDC_BUTTON_ADD_VIDEO, Dlg::IDC_BUTTON_OUTPUT_SETTINGS, Dlg::IDC_BUTTON_HELP,
                   Dlg::IDC_BUTTON_ABOUT, Dlg::IDC_BUTTON_HOMEPAGE, Dlg::IDC_BUTTON_EXIT})
        EXPECT_TRUE(dialog.Control(id)->isEnabled()) << id;
    EXPECT_TRUE(dialog.Control(Dlg::IDC_BUTTON_CLOSE)->isHidden());
    EXPECT_EQ(Text(dialog, Dlg::IDC_STATIC_START_TIME), "00:00:00");
    EXPECT_EQ(Text(dialog, Dlg::IDC_STATIC_END_TIME), "00:00:00");
    EXPECT_EQ(Text(dialog, Dlg::IDC_BUTTON_ADD_VIDEO), "Open Video");
    EXPECT_EQ(Text(dialog, Dlg::IDC_BUTTON_HELP), "&Help");

    auto *slider = static_cast<CBitmapSlider *>(dialog.Control(Dlg::IDC_SLIDER_POSITION));
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), 600);
    EXPECT_EQ(slider->value(), 0);

    EXPECT_EQ(dialog.Control(Dlg::IDC_BUTTON_ADD_VIDEO)->toolTip(), "Open a video file");
    EXPECT_EQ(dialog.Control(Dlg::IDC_BUTTON_CONVERT)->toolTip(), "Convert video");
    EXPECT_EQ(dialog.Control(Dlg::IDC_BUTTON_EXIT)->toolTip(), "Exit");
    EXPECT_EQ(static_cast<CButtonST *>(dialog.Control(Dlg::IDC_BUTTON_ABOUT))->IconAlignment(),
              CButtonST::IconAbove);

    // The working state after start-up: the compressors are the stored ones until Options says.
    EXPECT_EQ(dialog.Job().m_bUseVideoCompressor, kCompressorFromStore);
    EXPECT_EQ(dialog.Job().m_bUseAudioCompressor, kCompressorFromStore);
    EXPECT_EQ(dialog.Job().m_nPhotoCount, 0);
    EXPECT_EQ(dialog.Job().m_nMusicCount, 0);
    EXPECT_EQ(dialog.Job().m_nDefaultPhotoDuration, 8);
    EXPECT_EQ(dialog.Job().m_nTransitionMode, 0);
    EXPECT_EQ(dialog.Job().m_nSourceWidth, 0);
    EXPECT_DOUBLE_EQ(dialog.Job().m_dSourceFrameRate, 23.976);
    EXPECT_EQ(dialog.Job().m_nVideoBitrate, 798720u);
    EXPECT_EQ(dialog.Job().m_nOutputFormat, 1);
    EXPECT_EQ(dialog.Job().m_nStretchMode, 2);
    EXPECT_TRUE(env.boxes.Boxes().empty());
}

TEST(MainWindow, ControlsSitWhereTheTemplatePutsThem)
{
    AppTestEnvironment env;
    Dlg dialog(env.store);
    EXPECT_EQ(dialog.size(), dialog.DialogUnitsToPixels(QRect(0, 0, 357, 196)).size());
    const struct
    {
        int id;
        QRect units;
    } expected[] = {
        {Dlg::IDC_BUTTON_ADD_VIDEO, {9, 5, 66, 32}},
        {Dlg::IDC_BUTTON_ABOUT, {281, 5, 66, 32}},
        {Dlg::IDC_STATIC_POSITION, {68, 43, 202, 14}},
        {Dlg::IDC_SLIDER_POSITION, {7, 63, 343, 17}},
        {Dlg::IDC_BUTTON_STOP, {250, 87, 66, 14}},
        {Dlg::IDC_STATIC_END_TIME, {248, 116, 66, 14}},
        {Dlg::IDC_BUTTON_EXIT, {252, 141, 66, 22}},
        {Dlg::IDC_STATIC_STATUS, {7, 175, 343, 14}},
    };
    for (const auto &entry : expected)
        EXPECT_EQ(dialog.Control(entry.id)->geometry(), dialog.DialogUnitsToPixels(entry.units))
            << entry.id;
    // Every control lies inside the window and none overlaps the next row.
    const QRect client = dialog.rect();
    for (QWidget *child : dialog.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(client.contains(child->geometry())) << child->property("controlId").toInt();
}

TEST(MainWindow, StoredSettingsShapeTheStatusLineAndRates)
{
    AppTestEnvironment env;
    env.store.WriteInt("Settings", "nOuptputFormat", 3);
    env.store.WriteString("Settings", "OutputName", "/d/clips/movie.wmv");
    env.store.WriteInt("Settings", "OutputFrameRateIndex", 9);
    env.store.WriteInt("TransitionSettings", "PhotoDuration", 5);
    env.store.WriteInt("TransitionSettings", "TransitionType", 2);
    env.store.WriteInt("TransitionSettings", "TransitionName", 12);
    Dlg dialog(env.store);
    EXPECT_EQ(dialog.Job().m_szOutputFile, "/d/clips/movie.asf");
    EXPECT_EQ(dialog.StatusText(), "Output file: /d/clips/movie.asf     Resolution: Original size");
    EXPECT_EQ(dialog.Job().m_nFrameRateIndex, 1);
    EXPECT_DOUBLE_EQ(dialog.Job().m_dOutputFrameRate, 23.976);
    EXPECT_EQ(dialog.Job().m_nDefaultPhotoDuration, 5);
    EXPECT_EQ(dialog.Job().m_nTransitionMode, 2);
    EXPECT_EQ(dialog.Job().m_nSameTransition, 12);
}

TEST(MainWindow, ExitIsRefusedWhileConvertingAndStoresTheLanguageOtherwise)
{
    AppTestEnvironment env;
    Dlg dialog(env.store);
    dialog.show();
    auto *exitButton = qobject_cast<QAbstractButton *>(dialog.Control(Dlg::IDC_BUTTON_EXIT));

    dialog.Job().m_bConverting = 1;
    exitButton->click();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    dialog.close();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(env.boxes.Boxes().size(), 3u);
    for (const auto &box : env.boxes.Boxes()) {
        EXPECT_EQ(box.text, "Please first stop converting");
        EXPECT_EQ(box.caption, "Warning");
        EXPECT_EQ(box.kind, platform::BoxKind::Owned);
    }
    EXPECT_EQ(env.store.ReadString("Option", "CurrentLanguage", "none"), "none");

    // Playing a preview does not block closing: only a conversion does.
    dialog.Job().m_bConverting = 0;
    exitButton->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(env.store.ReadString("Option", "CurrentLanguage", "none"), "english");
    EXPECT_EQ(env.boxes.Boxes().size(), 3u);
}

TEST(MainWindow, PostedEventsAndEveryEnabledButtonAreSafe)
{
    AppTestEnvironment env;
    Dlg dialog(env.store);
    dialog.show();
    QCoreApplication::postEvent(&dialog, new QEvent(messages::PositionTick));
    QCoreApplication::postEvent(&dialog, new QEvent(messages::WM_GRAPHNOTIFY));
    QCoreApplication::processEvents();
    AutoCloseModal closer;
    for (int id : {Dlg::IDC_BUTTON_OUTPUT_SETTINGS, Dlg::IDC_BUTTON_HELP, Dlg::IDC_BUTTON_ABOUT,
                   Dlg::IDC_BUTTON_HOMEPAGE})
        qobject_cast<QAbstractButton *>(dialog.Control(id))->click();
    EXPECT_TRUE(dialog.isVisible());

    // Holding the slider raises the application's tracking flag until release.
    auto *slider = dialog.Control(Dlg::IDC_SLIDER_POSITION);
    slider->setEnabled(true);
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(10, slider->height() / 2));
    EXPECT_EQ(CVinteloApp::Instance().m_bSliderTracking, 1);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(10, slider->height() / 2));
    EXPECT_EQ(CVinteloApp::Instance().m_bSliderTracking, 0);
}

TEST(MainWindow, ASettingsFileThatIsNotIniStartsWithTheDefaults)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/clipwright.conf";
    {
        QFile junk(path);
        ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
        for (int i = 0; i < 8192; ++i)
            junk.putChar(static_cast<char>((i * 37 + 11) % 256));
    }
    SettingsStore store(path.toStdString());
    platform::MessageBoxRecorder boxes;
    {
        Dlg dialog(store);
        EXPECT_TRUE(dialog.Initialized());
        EXPECT_EQ(dialog.Job().m_nOutputFormat, 1);
        EXPECT_EQ(dialog.Job().m_nFrameRateIndex, FrameRateSource);
        EXPECT_EQ(dialog.Job().m_nVideoBitrate, 798720u);
        EXPECT_TRUE(dialog.StatusText().endsWith("output.wmv     Resolution: Original size"));
        dialog.show();
        dialog.close();
        EXPECT_FALSE(dialog.isVisible());
    }
    EXPECT_TRUE(boxes.Boxes().empty());
}
