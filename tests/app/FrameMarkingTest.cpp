#include "AppTestSupport.h"

#include "app/VinteloApp.h"
#include "app/VinteloDlg.h"
#include "media/RenderTestSupport.h"
#include "preview/TrimControls.h"
#include "preview/VcdCore.h"
#include "preview/VideoWidget.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QLabel>
#include <QTest>

namespace {

using Dlg = CVinteloDlg;
using rendertest::FrameNumber;

// The number the preview shows, once the picture of the player's position has arrived.
int ShownFrame()
{
    CVcdCore *player = CTrimControls::Player();
    const REFERENCE_TIME wanted = player->m_llCurrentPosition;
    if (!QTest::qWaitFor(
            [&] {
                return std::abs(player->VideoWidget()->CurrentFramePosition() - wanted) < 200000;
            },
            20000))
        return -1;
    const QImage picture
        = player->VideoWidget()->CurrentFrame().convertToFormat(QImage::Format_Grayscale8);
    std::vector<unsigned char> grey;
    for (int y = 0; y < picture.height(); ++y)
        grey.insert(grey.end(), picture.constScanLine(y),
                    picture.constScanLine(y) + picture.width());
    return FrameNumber(grey, picture.width(), picture.height());
}

// The number of the picture the preview holds now, without waiting for any position.
int PictureNumber()
{
    const QImage picture = CTrimControls::Player()->VideoWidget()->CurrentFrame().convertToFormat(
        QImage::Format_Grayscale8);
    std::vector<unsigned char> grey;
    for (int y = 0; y < picture.height(); ++y)
        grey.insert(grey.end(), picture.constScanLine(y),
                    picture.constScanLine(y) + picture.width());
    return FrameNumber(grey, picture.width(), picture.height());
}

// A key on the main window, made the active window first as a user's click would.
void KeyOnMainWindow(Dlg &dialog, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    dialog.activateWindow();
    QTest::qWaitForWindowActive(&dialog);
    QTest::keyClick(&dialog, key, modifiers);
}

} // namespace

// Step to frame 50 and press I, on to frame 125 and press O: the conversion holds frames
// 50 to 124, exactly.
TEST(FrameMarking, StepsLandOnConsecutiveFramesAndMarksConvertExactly)
{
    AppTestEnvironment env;
    Dlg dialog(env.store);
    dialog.show();
    env.choosers.QueueAnswer(Fixture("numbered_25fps.mp4"));
    qobject_cast<QAbstractButton *>(dialog.Control(Dlg::IDC_BUTTON_ADD_VIDEO))->click();
    ASSERT_EQ(dialog.Job().m_nPhotoCount, 1);
    CVcdCore *player = CTrimControls::Player();
    ASSERT_NE(player, nullptr);
    QWidget *preview = player->Window();
    ASSERT_EQ(ShownFrame(), 0);

    // Frame by frame, in the preview window and in the main window by turns.
    for (int frame = 1; frame <= 50; ++frame) {
        if (frame % 2)
            QTest::keyClick(preview, Qt::Key_Right);
        else
            KeyOnMainWindow(dialog, Qt::Key_Right);
        ASSERT_EQ(ShownFrame(), frame);
    }
    QTest::keyClick(preview, Qt::Key_Left);
    EXPECT_EQ(ShownFrame(), 49);
    QTest::keyClick(preview, Qt::Key_Right);
    EXPECT_EQ(ShownFrame(), 50);
    QTest::keyClick(preview, Qt::Key_I);
    EXPECT_EQ(dialog.Job().m_llStartTime, 2 * UNITS);
    EXPECT_EQ(dialog.Control(Dlg::IDC_STATIC_START_TIME)->toolTip(), "00:00:02.000, frame 50");
    EXPECT_EQ(dialog.Control(Dlg::IDC_STATIC_POSITION)->toolTip(), "00:00:02.000, frame 50");

    // A second at a time, then the end mark where frame 125 begins.
    for (int second = 1; second <= 3; ++second) {
        KeyOnMainWindow(dialog, Qt::Key_Right, Qt::ShiftModifier);
        ASSERT_EQ(ShownFrame(), 50 + 25 * second);
    }
    KeyOnMainWindow(dialog, Qt::Key_O);
    EXPECT_EQ(dialog.Job().m_llEndTime, 5 * UNITS);
    EXPECT_EQ(dialog.Control(Dlg::IDC_STATIC_END_TIME)->toolTip(), "00:00:05.000, frame 125");

    // Space plays and pauses; a step while playing only pauses.
    KeyOnMainWindow(dialog, Qt::Key_Space);
    EXPECT_EQ(player->State(), Running);
    KeyOnMainWindow(dialog, Qt::Key_Right);
    EXPECT_EQ(player->State(), Paused);
    QTest::keyClick(preview, Qt::Key_Space);
    EXPECT_EQ(player->State(), Running);
    QTest::keyClick(preview, Qt::Key_Space);
    EXPECT_EQ(player->State(), Paused);
    // Home and End: the first and the last frame.
    KeyOnMainWindow(dialog, Qt::Key_End);
    EXPECT_EQ(ShownFrame(), 249);
    QTest::keyClick(preview, Qt::Key_Home);
    EXPECT_EQ(ShownFrame(), 0);
    // The marks stay where they were set.
    EXPECT_EQ(dialog.Job().m_llStartTime, 2 * UNITS);
    EXPECT_EQ(dialog.Job().m_llEndTime, 5 * UNITS);

    const std::string out = env.dir.path().toStdString() + "/marked.wmv";
    dialog.Job().m_szOutputFile = out;
    dialog.Job().m_dOutputFrameRate = 25;
    dialog.Job().m_bUseVideoCompressor = 1; // the Windows Media writer compresses by itself
    env.boxes.Clear();
    qobject_cast<QAbstractButton *>(dialog.Control(Dlg::IDC_BUTTON_CONVERT))->click();
    ASSERT_EQ(dialog.Job().m_bConverting, 1)
        << (env.boxes.Boxes().empty() ? "" : env.boxes.Texts()[0]);
    // Keys do not move the video while it converts.
    QTest::keyClick(preview, Qt::Key_I);
    EXPECT_EQ(dialog.Job().m_llStartTime, 2 * UNITS);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Job().m_bConverting == 0; }, 120000));

    ASSERT_EQ(rendertest::Probe(out, "v", "nb_read_frames"), "75");
    EXPECT_EQ(FrameNumber(rendertest::GreyFrame(out, 0), 320, 240), 50);
    EXPECT_EQ(FrameNumber(rendertest::GreyFrame(out, 74), 320, 240), 124);
}

// While the thumb is held the picture follows to key frames and the display shows the held
// position; letting go lands exactly.
TEST(FrameMarking, DraggingTheSliderFollowsWithKeyFramesAndTheReleaseIsExact)
{
    AppTestEnvironment env;
    Dlg dialog(env.store);
    dialog.show();
    env.choosers.QueueAnswer(Fixture("long_95_7.mp4")); // a key frame every 10 s
    qobject_cast<QAbstractButton *>(dialog.Control(Dlg::IDC_BUTTON_ADD_VIDEO))->click();
    CVcdCore *player = CTrimControls::Player();
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->m_llStopPosition > 0; }, 20000));
    auto *slider = qobject_cast<QAbstractSlider *>(dialog.Control(Dlg::IDC_SLIDER_POSITION));
    auto *position = qobject_cast<QLabel *>(dialog.Control(Dlg::IDC_STATIC_POSITION));
    auto shown = [&] { return player->VideoWidget()->CurrentFramePosition(); };

    // Held at 288/600 of 95.7 s = 45.9 s: a key frame beside it (40 or 50 s) is shown.
    // As a press on the thumb does: the reports of playback leave the thumb alone.
    CVinteloApp::Instance().m_bSliderTracking = 1;
    slider->setSliderDown(true);
    slider->setSliderPosition(288);
    EXPECT_EQ(position->text(), "00:00:45 / 00:01:35");
    auto keyFrameBeside = [&] {
        const REFERENCE_TIME at = shown();
        return (std::abs(at - 40 * UNITS) < 200000 || std::abs(at - 50 * UNITS) < 200000);
    };
    ASSERT_TRUE(QTest::qWaitFor(keyFrameBeside, 20000)) << shown();
    // Moved on and let go: the exact position, not a key frame.
    slider->setSliderPosition(150); // 23.925 s
    slider->setSliderDown(false);
    CVinteloApp::Instance().m_bSliderTracking = 0;
    dialog.OnSliderReleased();
    const REFERENCE_TIME target = 150 * player->m_llStopPosition / 600;
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::abs(shown() - target) < 1000000; }, 20000))
        << shown();
}

// Played and paused, by the Pause button or Space, I and O mark the picture on screen (the one
// that stays there), every time; the marks convert to exactly those frames.
TEST(FrameMarking, AfterAPauseIAndOMarkTheShownFrame)
{
    AppTestEnvironment env;
    Dlg dialog(env.store);
    dialog.show();
    env.choosers.QueueAnswer(Fixture("numbered_25fps.mp4"));
    qobject_cast<QAbstractButton *>(dialog.Control(Dlg::IDC_BUTTON_ADD_VIDEO))->click();
    CVcdCore *player = CTrimControls::Player();
    ASSERT_NE(player, nullptr);
    ASSERT_EQ(ShownFrame(), 0);
    auto *play = qobject_cast<QAbstractButton *>(dialog.Control(Dlg::IDC_BUTTON_PLAY));
    auto *pause = qobject_cast<QAbstractButton *>(dialog.Control(Dlg::IDC_BUTTON_PAUSE));

    int startFrame = -1;
    int endFrame = -1;
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE(run);
        const bool byButton = run % 2 == 0;
        const int before = PictureNumber();
        if (before > 200)
            KeyOnMainWindow(dialog, Qt::Key_Home);
        const int from = PictureNumber();
        byButton ? play->click() : KeyOnMainWindow(dialog, Qt::Key_Space);
        // Let it play a few frames, a different number each run.
        const int until = from + 3 + run % 7;
        ASSERT_TRUE(QTest::qWaitFor([&] { return PictureNumber() >= until; }, 20000));
        byButton ? pause->click() : KeyOnMainWindow(dialog, Qt::Key_Space);
        ASSERT_EQ(player->State(), Paused);
        const bool start = run < 10 ? run % 2 == 0 : run % 2 == 1;
        KeyOnMainWindow(dialog, start ? Qt::Key_I : Qt::Key_O);
        // A picture that comes after the pause would replace the one the user saw.
        QTest::qWait(150);
        const int shown = PictureNumber();
        const REFERENCE_TIME mark = start ? dialog.Job().m_llStartTime : dialog.Job().m_llEndTime;
        EXPECT_EQ(mark, shown * UNITS / 25) << "shown frame " << shown;
        (start ? startFrame : endFrame) = shown;
    }
    ASSERT_GE(startFrame, 0);
    ASSERT_GE(endFrame, 0);
    if (endFrame <= startFrame) {
        // Runs ended the other way round: put the end after the start, on the frame shown.
        KeyOnMainWindow(dialog, Qt::Key_End);
        ASSERT_EQ(ShownFrame(), 249);
        KeyOnMainWindow(dialog, Qt::Key_O);
        endFrame = 249;
    }

    const std::string out = env.dir.path().toStdString() + "/paused.wmv";
    dialog.Job().m_szOutputFile = out;
    dialog.Job().m_dOutputFrameRate = 25;
    dialog.Job().m_bUseVideoCompressor = 1;
    env.boxes.Clear();
    qobject_cast<QAbstractButton *>(dialog.Control(Dlg::IDC_BUTTON_CONVERT))->click();
    ASSERT_EQ(dialog.Job().m_bConverting, 1)
        << (env.boxes.Boxes().empty() ? "" : env.boxes.Texts()[0]);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Job().m_bConverting == 0; }, 120000));
    const int frames = endFrame - startFrame;
    ASSERT_EQ(rendertest::Probe(out, "v", "nb_read_frames"), std::to_string(frames));
    EXPECT_EQ(FrameNumber(rendertest::GreyFrame(out, 0), 320, 240), startFrame);
    EXPECT_EQ(FrameNumber(rendertest::GreyFrame(out, frames - 1), 320, 240), endFrame - 1);
}
