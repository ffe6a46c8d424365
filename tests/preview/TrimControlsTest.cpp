#include "PreviewTestSupport.h"

#include "app/VinteloApp.h"
#include "app/VinteloDlg.h"
#include "job/ConversionJob.h"
#include "preview/TrimControls.h"
#include "preview/VcdCore.h"
#include "preview/VideoWidget.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace {

using Dlg = CVinteloDlg;

constexpr int kPreviewControls[] = {1000, 1055, 1058, 1060, 1061, 1062, 1063, 1065, 1064};

// The texts of the pop-up menu that is open now, "-" for a separator; closes it. Empty when
// none is open.
std::string TakeOpenMenu()
{
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    if (!menu)
        return std::string();
    QStringList texts;
    for (QAction *action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    menu->close();
    return texts.join('|').toStdString();
}

struct OpenDialog
{
    AppTestEnvironment env;
    Dlg dialog{env.store};

    explicit OpenDialog(const char *fixture)
    {
        dialog.move(300, 500);
        dialog.show();
        env.choosers.QueueAnswer(Fixture(fixture));
        Click(Dlg::IDC_BUTTON_ADD_VIDEO);
    }

    void Click(int id) { qobject_cast<QAbstractButton *>(dialog.Control(id))->click(); }
    // Opens a copy of the fixture kept in the test's folder, which the test may take away.
    std::string OpenCopy(const char *fixture, const char *name)
    {
        const std::string copy = env.dir.path().toStdString() + '/' + name;
        if (!QFile::copy(QString::fromStdString(Fixture(fixture)), QString::fromStdString(copy)))
            return std::string();
        env.choosers.QueueAnswer(copy);
        Click(Dlg::IDC_BUTTON_ADD_VIDEO);
        return copy;
    }
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
    EXPECT_EQ(t.dialog.Job().m_llStartTime, player->m_llCurrentPosition);
    EXPECT_EQ(t.Text(1065), "00:00:47");
    ASSERT_EQ(player->Seek(100000000), S_OK);
    ASSERT_TRUE(t.NextTick());
    t.Click(Dlg::IDC_BUTTON_END_TIME);
    EXPECT_NEAR(static_cast<double>(t.dialog.Job().m_llEndTime), 100000000.0, 1000000.0);
    EXPECT_EQ(t.Text(1064), "00:00:10");
    EXPECT_LT(t.dialog.Job().m_llEndTime, t.dialog.Job().m_llStartTime);
}

TEST(TrimControls, EndTimeBeforeTheFirstReportIsZero)
{
    OpenDialog t("long_95_7.mp4");
    ASSERT_NE(CTrimControls::Player(), nullptr);
    EXPECT_NEAR(static_cast<double>(t.dialog.Job().m_llEndTime), 957000000.0, 10000.0);
    t.Click(Dlg::IDC_BUTTON_END_TIME);
    EXPECT_EQ(t.dialog.Job().m_llEndTime, 0);
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
    EXPECT_EQ(t.dialog.Job().m_nPhotoCount, 0);
    EXPECT_EQ(t.dialog.Job().m_llStartTime, 0);
    EXPECT_EQ(t.dialog.Job().m_llEndTime, 0);
    EXPECT_EQ(t.Text(1065), "00:00:00");
    EXPECT_EQ(t.Text(1064), "00:00:00");
    EXPECT_EQ(t.Text(1057), "");
    EXPECT_EQ(t.Slider()->value(), 0);
    for (int id : kPreviewControls)
        EXPECT_FALSE(t.dialog.Control(id)->isEnabled()) << id;

    // With no player every control is harmless, and a late report empties the position text.
    t.dialog.OnPlay();
    t.dialog.OnStartTime();
    EXPECT_EQ(t.dialog.Job().m_llStartTime, 0);
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

// As the program runs its window, the preview beside it still hears the window system: a right
// click and the menu keys open its menu (a modal main window would swallow them, and drops and
// the close box with them).
TEST(TrimControls, ThePreviewTakesClicksAndKeysWhileTheWindowRuns)
{
    OpenDialog t("h264_aac.mp4");
    ASSERT_NE(CTrimControls::Player(), nullptr);
    const std::string entries = "Full screen|Normal size|-|Play|Pause|Stop|-|Close";
    // Every menu that opens is noted and closed.
    std::vector<std::string> menus;
    QTimer taker;
    QObject::connect(&taker, &QTimer::timeout, [&] {
        if (QApplication::activePopupWidget())
            menus.push_back(TakeOpenMenu());
    });
    taker.start(10);
    QTimer::singleShot(0, [&] {
        // Through the window system's path, where a window blocked by a modal one hears nothing.
        QWindow *preview = CTrimControls::Player()->Window()->windowHandle();
        if (!preview) {
            ADD_FAILURE() << "the preview has no window";
            t.dialog.close();
            return;
        }
        QTest::mouseClick(preview, Qt::RightButton, {}, QPoint(20, 20));
        QTest::keyClick(preview, Qt::Key_Menu);
        QTest::keyClick(preview, Qt::Key_F10, Qt::ShiftModifier);
        // F10 alone is no menu key.
        QTest::keyClick(preview, Qt::Key_F10);
        QTest::qWait(100);
        t.dialog.close();
    });
    // Shown by its run, as the program shows it.
    t.dialog.hide();
    t.dialog.RunUntilEnded();
    EXPECT_EQ(menus, (std::vector<std::string>{entries, entries, entries}));
}

// The open video's file goes (removed while it plays, renamed away while it stands): the preview
// finds out when play or a seek is asked, stops and says so in the status line; Convert then
// says once that the file is missing, and nothing follows.
TEST(TrimControls, AVideoWhoseFileGoesStopsThePreviewAndConvertSaysItOnce)
{
    OpenDialog t("h264_aac.mp4");
    auto gone = [](const std::string &path) {
        return "The video " + path
               + " is gone (removed, renamed or its drive taken out): the preview has stopped.";
    };
    const std::string removed = t.OpenCopy("long_95_7.mp4", "removed.mp4");
    ASSERT_FALSE(removed.empty());
    CVcdCore *player = CTrimControls::Player();
    ASSERT_NE(player, nullptr);
    t.Click(Dlg::IDC_BUTTON_PLAY);
    ASSERT_TRUE(t.NextTick());
    ASSERT_EQ(std::remove(removed.c_str()), 0);
    t.Click(Dlg::IDC_BUTTON_PAUSE);
    t.Click(Dlg::IDC_BUTTON_PLAY);
    EXPECT_TRUE(player->SourceLost());
    EXPECT_EQ(player->State(), Stopped);
    EXPECT_EQ(t.dialog.StatusText().toStdString(), gone(removed));
    EXPECT_TRUE(t.env.boxes.Boxes().empty()) << t.env.boxes.Texts()[0];
    // The window stays with its last picture; asking again says it again.
    EXPECT_TRUE(player->Window()->isVisible());
    t.dialog.ShowStatus("something else");
    t.Click(Dlg::IDC_BUTTON_PLAY);
    EXPECT_EQ(player->State(), Stopped);
    EXPECT_EQ(t.dialog.StatusText().toStdString(), gone(removed));

    // Convert: the one message names the file; declining to look for it ends there.
    const std::string out = t.env.dir.path().toStdString() + "/out.wmv";
    t.dialog.Job().m_szOutputFile = out;
    t.env.boxes.QueueAnswer(platform::BoxAnswer::No);
    t.Click(Dlg::IDC_BUTTON_CONVERT);
    EXPECT_EQ(t.dialog.Job().m_bConverting, 0);
    ASSERT_EQ(t.env.boxes.Texts().size(), 1u) << t.env.boxes.Texts()[1];
    EXPECT_NE(t.env.boxes.Texts()[0].find('"' + removed + "\" could not be found."),
              std::string::npos)
        << t.env.boxes.Texts()[0];
    EXPECT_FALSE(QFile::exists(QString::fromStdString(out)));
    EXPECT_TRUE(t.dialog.Control(Dlg::IDC_BUTTON_ADD_VIDEO)->isEnabled());

    // Renamed away while it stands: found at the next seek.
    t.env.boxes.Clear();
    const std::string renamed = t.OpenCopy("long_95_7.mp4", "renamed.mp4");
    ASSERT_FALSE(renamed.empty());
    player = CTrimControls::Player();
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(t.NextTick());
    ASSERT_EQ(std::rename(renamed.c_str(), (renamed + ".old").c_str()), 0);
    t.Slider()->setValue(300);
    t.dialog.OnSliderReleased();
    EXPECT_TRUE(player->SourceLost());
    EXPECT_EQ(player->State(), Stopped);
    EXPECT_EQ(t.dialog.StatusText().toStdString(), gone(renamed));
    EXPECT_TRUE(t.env.boxes.Boxes().empty()) << t.env.boxes.Texts()[0];
}
