#include "PreviewTestSupport.h"

#include "app/MainWindowState.h"
#include "app/VinteloApp.h"
#include "app/VinteloDlg.h"
#include "preview/TrimControls.h"
#include "preview/VcdCore.h"
#include "preview/VideoWidget.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QSlider>
#include <QTest>

namespace {

using Dlg = CVinteloDlg;

constexpr int kPreviewControls[] = {1000, 1055, 1058, 1060, 1061, 1062, 1063, 1065, 1064};

struct OpenDialog
{
    AppTestEnvironment env;
    Dlg dialog;

    explicit OpenDialog(const char *fixture)
    {
        dialog.move(300, 500);
        dialog.show();
        env.choosers.QueueAnswer(Fixture(fixture));
        Click(Dlg::IDC_BUTTON_ADD_VIDEO);
    }

    void Click(int id) { qobject_cast<QAbstractButton *>(dialog.Control(id))->click(); }
    QString Text(int id) const { return qobject_cast<QLabel *>(dialog.Control(id))->text(); }
    QSlider *Slider() const { return qobject_cast<QSlider *>(dialog.Control(1055)); }
    // Waits until the main window has handled the next position report.
    bool NextTick()
    {
        TickCounter counter;
        dialog.installEventFilter(&counter);
        const bool arrived = WaitUntil([&] { return counter.ticks > 0; });
        dialog.removeEventFilter(&counter);
        return arrived;
    }

    struct TickCounter : QObject
    {
        int ticks = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == messages::PositionTick)
                ++ticks;
            return false;
        }
    };
};

} // namespace

TEST(TrimControls, TimeTextsAreWholeSeconds)
{
    EXPECT_EQ(CTrimControls::TimeText(0), "00:00:00");
    EXPECT_EQ(CTrimControls::TimeText(37259999999), "01:02:05");
    EXPECT_EQ(CTrimControls::TimeText(957000000), "00:01:35");
}

TEST(TrimControls, OpeningStartsThePlayerAndTheButtonsDriveIt)
{
    OpenDialog t("h264_aac.mp4");
    CVcdCore *player = CTrimControls::Player();
    ASSERT_NE(player, nullptr);
    EXPECT_TRUE(t.env.boxes.Boxes().empty());
    EXPECT_EQ(player->State(), Stopped);
    ASSERT_NE(player->Window(), nullptr);
    EXPECT_TRUE(player->Window()->isVisible());
    EXPECT_EQ(player->Window()->windowTitle(), "h264_aac.mp4  ");
    for (int id : kPreviewControls)
        EXPECT_TRUE(t.dialog.Control(id)->isEnabled()) << id;

    t.Click(Dlg::IDC_BUTTON_PLAY);
    EXPECT_EQ(player->State(), Running);
    t.Click(Dlg::IDC_BUTTON_PAUSE);
    EXPECT_EQ(player->State(), Paused);
    t.Click(Dlg::IDC_BUTTON_STOP);
    EXPECT_EQ(player->State(), Stopped);

    // A second open replaces the player.
    t.env.choosers.QueueAnswer(Fixture("vp8_vorbis.mkv"));
    t.Click(Dlg::IDC_BUTTON_ADD_VIDEO);
    ASSERT_NE(CTrimControls::Player(), nullptr);
    EXPECT_EQ(CTrimControls::Player()->Window()->windowTitle(), "vp8_vorbis.mkv  ");
    EXPECT_EQ(CTrimControls::Player()->Window()->size(), QSize(176, 144));
}

TEST(TrimControls, SliderReleaseSeeksAndADragIsNotUndoneByATick)
{
    OpenDialog t("long_95_7.mp4");
    CVcdCore *player = CTrimControls::Player();
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(t.NextTick());
    EXPECT_EQ(player->m_llStopPosition, 957000000);
    EXPECT_EQ(t.Text(1057), "00:00:00 / 00:01:35");

    // Hold the thumb, drag it to the middle, and let a report arrive meanwhile.
    QSlider *slider = t.Slider();
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(4, slider->height() / 2));
    EXPECT_EQ(CVinteloApp::Instance().m_bSliderTracking, 1);
    slider->setValue(300);
    ASSERT_TRUE(t.NextTick());
    EXPECT_EQ(slider->value(), 300);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(4, slider->height() / 2));
    EXPECT_EQ(CVinteloApp::Instance().m_bSliderTracking, 0);
    EXPECT_EQ(t.dialog.m_nSliderPos, 300);

    // 300 of 600 on 95.7 s is 47.85 s; the shown frame is within one frame (0.1 s) of it.
    ASSERT_TRUE(t.NextTick());
    EXPECT_NEAR(static_cast<double>(player->m_llCurrentPosition), 478500000.0, 1000000.0);
    EXPECT_NEAR(static_cast<double>(player->VideoWidget()->CurrentFramePosition()), 478500000.0,
                1000000.0);
    EXPECT_EQ(t.Text(1057), "00:00:47 / 00:01:35");
    EXPECT_NEAR(slider->value(), 300, 1);

    // The marks take the last reported position; an end before the start is accepted.
    t.Click(Dlg::IDC_BUTTON_START_TIME);
    EXPECT_EQ(t.dialog.m_llStartTime, player->m_llCurrentPosition);
    EXPECT_EQ(t.Text(1065), "00:00:47");
    ASSERT_EQ(player->Seek(100000000), S_OK);
    ASSERT_TRUE(t.NextTick());
    t.Click(Dlg::IDC_BUTTON_END_TIME);
    EXPECT_NEAR(static_cast<double>(t.dialog.m_llEndTime), 100000000.0, 1000000.0);
    EXPECT_EQ(t.Text(1064), "00:00:10");
    EXPECT_LT(t.dialog.m_llEndTime, t.dialog.m_llStartTime);
}

TEST(TrimControls, EndTimeBeforeTheFirstReportIsZero)
{
    OpenDialog t("long_95_7.mp4");
    ASSERT_NE(CTrimControls::Player(), nullptr);
    EXPECT_NEAR(static_cast<double>(t.dialog.m_llEndTime), 957000000.0, 10000.0);
    t.Click(Dlg::IDC_BUTTON_END_TIME);
    EXPECT_EQ(t.dialog.m_llEndTime, 0);
    EXPECT_EQ(t.Text(1064), "00:00:00");
}

TEST(TrimControls, ClosingThePreviewWindowEmptiesTheJob)
{
    OpenDialog t("h264_aac.mp4");
    CVcdCore *player = CTrimControls::Player();
    ASSERT_NE(player, nullptr);
    t.Click(Dlg::IDC_BUTTON_PLAY);
    ASSERT_TRUE(t.NextTick());
    t.Click(Dlg::IDC_BUTTON_START_TIME);

    player->Window()->close();
    ASSERT_TRUE(WaitUntil([] { return CTrimControls::Player() == nullptr; }));
    EXPECT_EQ(t.dialog.m_nPhotoCount, 0);
    EXPECT_EQ(t.dialog.m_llStartTime, 0);
    EXPECT_EQ(t.dialog.m_llEndTime, 0);
    EXPECT_EQ(t.Text(1065), "00:00:00");
    EXPECT_EQ(t.Text(1064), "00:00:00");
    EXPECT_EQ(t.Text(1057), "");
    EXPECT_EQ(t.Slider()->value(), 0);
    for (int id : kPreviewControls)
        EXPECT_FALSE(t.dialog.Control(id)->isEnabled()) << id;

    // With no player every control is harmless, and a late report empties the position text.
    t.dialog.OnPlay();
    t.dialog.OnStartTime();
    EXPECT_EQ(t.dialog.m_llStartTime, 0);
    t.Slider()->setValue(200);
    t.dialog.OnSliderReleased();
    EXPECT_EQ(t.dialog.m_nSliderPos, 200);
    QCoreApplication::postEvent(&t.dialog, new QEvent(messages::PositionTick));
    QCoreApplication::processEvents();
    EXPECT_EQ(t.Text(1057), "");
}

TEST(TrimControls, ClosingTheMainWindowClosesThePlayer)
{
    {
        OpenDialog t("h264_aac.mp4");
        ASSERT_NE(CTrimControls::Player(), nullptr);
        t.Click(Dlg::IDC_BUTTON_PLAY);
    }
    EXPECT_EQ(CTrimControls::Player(), nullptr);
}

TEST(TrimControls, APlayerThatCannotOpenEmptiesTheVideoPath)
{
    platform::MessageBoxRecorder boxes;
    QWidget owner;
    ConversionJob state;
    state.m_nPhotoCount = 1;
    state.m_szPhotoFile[0] = Fixture("text_renamed.avi");
    int sliderPos = 0;
    CTrimControls controls(&owner, state, sliderPos, [](int) { return nullptr; });
    EXPECT_FALSE(controls.OpenPlayer(state.m_szPhotoFile[0]));
    EXPECT_EQ(CTrimControls::Player(), nullptr);
    EXPECT_TRUE(state.m_szPhotoFile[0].empty());
    EXPECT_EQ(state.m_nPhotoCount, 1); // the count stays; the convert command finds no path
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].kind, platform::BoxKind::Report);
    // Without a player and without controls every handler is harmless.
    controls.OnPlay();
    controls.OnSliderReleased();
    controls.OnPositionTick(0);
    controls.OnEndTime();
    EXPECT_EQ(state.m_llEndTime, 0);
}
