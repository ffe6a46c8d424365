#include "PreviewTestSupport.h"

#include "platform/GraphNotify.h"
#include "platform/MessageBoxes.h"
#include "preview/PreviewGeometry.h"
#include "preview/PreviewWindow.h"
#include "preview/VcdCore.h"
#include "preview/VideoWidget.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cstdlib>
#include <map>
#include <thread>

namespace {

using preview::FullScreenVideoRect;

// Within half a frame of 25 fps: the same frame.
bool Near(REFERENCE_TIME a, REFERENCE_TIME b)
{
    return std::abs(a - b) < 200000;
}

const char kCannotPlay[] = "Cannot play the file.  The file is either corrupt or\nthe player does "
                           "not support the format you are trying to play.\nYou need to install "
                           "appropriate decoders.";

// A player opened on a fixture, with an owner that records every position it is told.
struct OpenPlayer
{
    platform::MessageBoxRecorder boxes;
    OwnerWindow owner;
    CVcdCore player{&owner};
    std::vector<REFERENCE_TIME> positions;

    explicit OpenPlayer(const char *fixture)
    {
        owner.setGeometry(300, 500, 400, 300);
        owner.show();
        owner.onTick = [this] { positions.push_back(player.m_llCurrentPosition); };
        player.m_szMediaPath = Fixture(fixture);
    }

    // Waits for n more position reports.
    bool WaitTicks(int n)
    {
        const int target = owner.ticks + n;
        return WaitUntil([&] { return owner.ticks >= target; });
    }

    CPreviewWindow *Window() const { return static_cast<CPreviewWindow *>(player.Window()); }

    std::map<int, QAction *> MenuItems(QMenu &menu) const
    {
        std::map<int, QAction *> items;
        for (QAction *action : menu.actions())
            if (!action->isSeparator())
                items[action->data().toInt()] = action;
        return items;
    }
};

} // namespace

TEST(PreviewPlayer, WindowAndFullScreenPlacementRules)
{
    // Beside the work area's left edge, above the main window, 4/3 as wide as that room is high.
    EXPECT_EQ(preview::PreviewWindowRect(QRect(0, 0, 1280, 1024), QRect(400, 400, 600, 300)),
              QRect(QPoint(100, 5), QPoint(526 - 1, 400 - 1)));
    EXPECT_EQ(preview::PreviewWindowRect(QRect(0, 30, 1280, 994), QRect(400, 335, 600, 300)),
              QRect(QPoint(100, 35), QPoint(400 - 1, 335 - 1)));

    // 320x240 at ten times its size exceeds 1280x1024 both ways; the width limits first.
    EXPECT_EQ(FullScreenVideoRect(1280, 1024, 3200, 2400), QRect(0, 32, 1280, 960));
    // Fits: centred at its own size.
    EXPECT_EQ(FullScreenVideoRect(1280, 1024, 640, 480), QRect(320, 272, 640, 480));
    // Too wide only: full width, aspect kept.
    EXPECT_EQ(FullScreenVideoRect(1280, 1024, 2000, 500), QRect(0, 352, 1280, 320));
    // Too high only: full height.
    EXPECT_EQ(FullScreenVideoRect(1280, 1024, 500, 2000), QRect(512, 0, 256, 1024));
    // Too big both ways, the height limits more.
    EXPECT_EQ(FullScreenVideoRect(1280, 1024, 2000, 4000), QRect(384, 0, 512, 1024));
    // The cut fraction goes before halving, so both margins stay equal (427 high -> 428).
    EXPECT_EQ(FullScreenVideoRect(1280, 1024, 3000, 1001), QRect(0, 298, 1280, 428));
}

TEST(PreviewPlayer, TheWindowStaysWithinTheWorkArea)
{
    const QRect screen(0, 0, 1280, 1024);
    const QMargins frame(4, 24, 4, 4);
    // Without a main window to keep clear of.
    auto fit = [&](const QRect &area, const QPoint &at, const QSize &picture) {
        return preview::PlaceWindows(area, QRect(), picture, frame, at).previewClient;
    };
    // Fits where it was put: the client sits inside the frame, at its own size.
    EXPECT_EQ(fit(screen, QPoint(100, 5), QSize(320, 240)), QRect(104, 29, 320, 240));
    // 720p on a 1280-wide screen: scaled to the room inside the frame (1272 wide, 720 * 1272 /
    // 1280 high, cut) and moved to the left edge.
    EXPECT_EQ(fit(screen, QPoint(100, 5), QSize(1280, 720)), QRect(4, 29, 1272, 715));
    // Fits in size but starts too far right or too low: moved back, not shrunk.
    EXPECT_EQ(fit(screen, QPoint(900, 700), QSize(640, 480)), QRect(636, 540, 640, 480));
    // A panel at the top: the caption stays below it.
    EXPECT_EQ(fit(QRect(0, 30, 1280, 994), QPoint(100, 0), QSize(320, 240)),
              QRect(104, 54, 320, 240));
    // Too high for the area: the height limits, aspect kept.
    EXPECT_EQ(fit(QRect(0, 0, 1280, 600), QPoint(0, 0), QSize(1000, 1000)).size(), QSize(572, 572));

    // A real window with a picture wider than the screen: its frame stays on the screen.
    OpenPlayer t("video_only_1280x720.mp4");
    ASSERT_TRUE(t.player.OpenClip());
    QWidget *window = t.Window();
    const QRect area = window->screen()->availableGeometry();
    ASSERT_LT(area.width(), 1280);
    for (int command : {0, int(CVcdCore::ID_NORMAL_SIZE)}) {
        if (command)
            t.player.OnMenuCommand(command);
        QCoreApplication::processEvents();
        EXPECT_TRUE(area.contains(window->frameGeometry())) << command;
        const QRect video = t.player.VideoRect();
        EXPECT_EQ(video.size(), window->size());
        EXPECT_NEAR(video.width() * 720.0 / 1280.0, video.height(), 1.0);
    }
}

TEST(PreviewPlayer, PlaysReportsEverySecondPausesAndStopsAtZero)
{
    OpenPlayer t("long_95_7.mp4");
    ASSERT_TRUE(t.player.OpenClip());
    EXPECT_TRUE(t.boxes.Boxes().empty());
    EXPECT_EQ(t.player.State(), Stopped);
    EXPECT_EQ(t.player.m_bNoVideo, 0);
    ASSERT_NE(t.Window(), nullptr);
    EXPECT_TRUE(t.Window()->isVisible());
    EXPECT_EQ(t.Window()->windowTitle(), "long_95_7.mp4  ");
    EXPECT_EQ(t.Window()->size(), QSize(64, 48));
    EXPECT_EQ(t.player.VideoRect(), QRect(0, 0, 64, 48));
    EXPECT_TRUE(t.player.TimerActive(CVcdCore::kPositionTimer));
    EXPECT_FALSE(t.player.TimerActive(CVcdCore::kCursorTimer));

    // Pause does nothing while stopped.
    t.player.Pause();
    EXPECT_EQ(t.player.State(), Stopped);
    EXPECT_EQ(t.Window()->windowTitle(), "long_95_7.mp4  ");

    t.player.Play();
    EXPECT_EQ(t.player.State(), Running);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(t.WaitTicks(3));
    // Timers never fire early by more than a little, so three reports take about two seconds.
    EXPECT_GE(clock.elapsed(), 1800);
    ASSERT_GE(t.positions.size(), 3u);
    EXPECT_EQ(t.player.m_llStopPosition, 957000000);
    EXPECT_GT(t.positions.back(), t.positions.front());
    EXPECT_GT(t.positions.back(), 0);

    t.player.Pause();
    EXPECT_EQ(t.player.State(), Paused);
    EXPECT_EQ(t.Window()->windowTitle(), "long_95_7.mp4  (Paused)");
    ASSERT_TRUE(t.WaitTicks(1));
    const REFERENCE_TIME paused = t.positions.back();
    ASSERT_TRUE(t.WaitTicks(2));
    EXPECT_EQ(t.positions.back(), paused);

    t.player.Stop();
    EXPECT_EQ(t.player.State(), Stopped);
    EXPECT_EQ(t.Window()->windowTitle(), "long_95_7.mp4  ");
    ASSERT_TRUE(t.WaitTicks(1));
    EXPECT_EQ(t.positions.back(), 0);
    // The first frame is what is shown.
    EXPECT_TRUE(Near(t.player.VideoWidget()->CurrentFramePosition(), 0));

    t.player.CloseClip();
    EXPECT_EQ(t.player.State(), Closed);
    EXPECT_EQ(t.player.Window(), nullptr);
    EXPECT_TRUE(t.player.m_szMediaPath.empty());
}

TEST(PreviewPlayer, CompletionEndsStoppedAtTheFirstFrame)
{
    OpenPlayer t("h264_aac.mp4");
    ASSERT_TRUE(t.player.OpenClip());
    t.player.Play();
    t.player.Pause();
    EXPECT_EQ(t.Window()->windowTitle(), "h264_aac.mp4  (Paused)");
    t.player.Play();
    EXPECT_EQ(t.Window()->windowTitle(), "h264_aac.mp4  ");
    ASSERT_TRUE(t.WaitTicks(1));
    ASSERT_TRUE(WaitUntil([&] { return t.player.State() == Stopped; }));
    EXPECT_EQ(t.Window()->windowTitle(), "h264_aac.mp4  ");
    ASSERT_TRUE(t.WaitTicks(1));
    EXPECT_EQ(t.positions.back(), 0);
    EXPECT_TRUE(Near(t.player.VideoWidget()->CurrentFramePosition(), 0));
    // And it plays again from the start.
    t.player.Play();
    EXPECT_EQ(t.player.State(), Running);
    ASSERT_TRUE(WaitUntil([&] { return t.player.State() == Stopped; }));
}

TEST(PreviewPlayer, SeekShowsTheFrameAtThatTimeInTheWindow)
{
    OpenPlayer t("bars_320x240.mp4");
    ASSERT_TRUE(t.player.OpenClip());
    CVideoWidget *video = t.player.VideoWidget();
    ASSERT_NE(video, nullptr);
    // 1.24 s lies between key frames' neighbours: only an accurate seek lands on frame 31.
    ASSERT_EQ(t.player.Seek(12400000), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return Near(video->CurrentFramePosition(), 12400000); }, 10000))
        << video->CurrentFramePosition();
    QCoreApplication::processEvents();

    // Rendered into a picture of its own, and as the window shows it (drawn straight into the
    // window's pixels at its own size).
    const QPoint inWindow = video->mapTo(t.Window(), QPoint(0, 0));
    const QImage window = t.Window()
                              ->screen()
                              ->grabWindow(t.Window()->winId())
                              .toImage()
                              .copy(QRect(inWindow, video->size()));
    for (const QImage &shown : {video->grab().toImage(), window}) {
        ASSERT_EQ(shown.size(), QSize(320, 240));
        const QColor bars[]
            = {Qt::white, Qt::yellow, Qt::cyan, Qt::green, Qt::magenta, Qt::red, Qt::blue};
        for (int i = 0; i < 7; ++i) {
            const QColor pixel = shown.pixelColor((2 * i + 1) * 320 / 14, 80);
            EXPECT_NEAR(pixel.red(), bars[i].red(), 24) << "bar " << i;
            EXPECT_NEAR(pixel.green(), bars[i].green(), 24) << "bar " << i;
            EXPECT_NEAR(pixel.blue(), bars[i].blue(), 24) << "bar " << i;
        }
    }

    // Seeking before the start shows the start.
    EXPECT_EQ(t.player.Seek(-5), S_OK);
    EXPECT_TRUE(WaitUntil([&] { return Near(video->CurrentFramePosition(), 0); }, 10000));
}

TEST(PreviewPlayer, AudioOnlyFileKeepsTheWindowHiddenAndStillReports)
{
    OpenPlayer t("vorbis_audio.ogg");
    ASSERT_TRUE(t.player.OpenClip());
    EXPECT_TRUE(t.boxes.Boxes().empty());
    EXPECT_EQ(t.player.m_bNoVideo, 1);
    ASSERT_NE(t.Window(), nullptr);
    EXPECT_FALSE(t.Window()->isVisible());
    t.player.ToggleFullScreen();
    EXPECT_EQ(t.player.m_bFullScreen, 0);
    EXPECT_FALSE(t.Window()->isVisible());

    // Sound goes to the desktop's output, or nowhere on a machine without one; time runs.
    t.player.Play();
    ASSERT_TRUE(t.WaitTicks(1));
    ASSERT_TRUE(WaitUntil([&] { return !t.positions.empty() && t.positions.back() > 0; }));
    EXPECT_EQ(t.player.m_llStopPosition, 20000000);
    ASSERT_TRUE(WaitUntil([&] { return t.player.State() == Stopped; }));
}

TEST(PreviewPlayer, FullScreenFillsTheScreenAndEscapeComesBack)
{
    OpenPlayer t("h264_aac.mp4");
    ASSERT_TRUE(t.player.OpenClip());
    CPreviewWindow *window = t.Window();
    const QRect screen = window->screen()->geometry();

    t.player.OnMenuCommand(CVcdCore::ID_FULL_SCREEN);
    EXPECT_EQ(t.player.m_bFullScreen, 1);
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(window->geometry(), screen);
    EXPECT_EQ(t.player.VideoRect(),
              FullScreenVideoRect(screen.width(), screen.height(), 3200, 2400));
    EXPECT_TRUE(t.player.TimerActive(CVcdCore::kCursorTimer));
    {
        std::unique_ptr<QMenu> menu = window->BuildPopupMenu();
        EXPECT_TRUE(t.MenuItems(*menu)[CVcdCore::ID_FULL_SCREEN]->isChecked());
    }
    // Resizing the window does not undo the aspect placement.
    QCoreApplication::processEvents();
    EXPECT_EQ(t.player.VideoRect(),
              FullScreenVideoRect(screen.width(), screen.height(), 3200, 2400));

    QTest::keyRelease(window, Qt::Key_Escape);
    EXPECT_EQ(t.player.m_bFullScreen, 0);
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->size(), QSize(320, 240));
    EXPECT_EQ(t.player.VideoRect(), QRect(0, 0, 320, 240));
    EXPECT_FALSE(t.player.TimerActive(CVcdCore::kCursorTimer));
    // Escape outside full screen changes nothing.
    QTest::keyRelease(window, Qt::Key_Escape);
    EXPECT_EQ(t.player.m_bFullScreen, 0);
    EXPECT_EQ(window->size(), QSize(320, 240));

    // "Normal size" after a change of size puts the video back at its own size.
    window->resize(500, 400);
    QCoreApplication::processEvents();
    EXPECT_EQ(t.player.VideoRect(), QRect(0, 0, 500, 400));
    t.player.OnMenuCommand(CVcdCore::ID_NORMAL_SIZE);
    EXPECT_EQ(window->size(), QSize(320, 240));

    // Closing while in full screen leaves nothing behind.
    t.player.ToggleFullScreen();
    t.player.CloseClip();
    EXPECT_EQ(t.player.Window(), nullptr);
    EXPECT_EQ(t.player.m_bFullScreen, 0);
}

TEST(PreviewPlayer, PopupMenuFollowsTheStateAndClosePostsTheCommand)
{
    OpenPlayer t("h264_aac.mp4");
    ASSERT_TRUE(t.player.OpenClip());
    CPreviewWindow *window = t.Window();
    auto enabled = [&](int command) {
        std::unique_ptr<QMenu> menu = window->BuildPopupMenu();
        return t.MenuItems(*menu)[command]->isEnabled();
    };
    {
        std::unique_ptr<QMenu> menu = window->BuildPopupMenu();
        EXPECT_EQ(menu->title(), "PREVIEW");
        QStringList texts;
        for (QAction *action : menu->actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        EXPECT_EQ(texts.join('|'), "Full screen|Normal size|-|Play|Pause|Stop|-|Close");
        EXPECT_FALSE(t.MenuItems(*menu)[CVcdCore::ID_FULL_SCREEN]->isChecked());
    }
    EXPECT_TRUE(enabled(CVcdCore::ID_PLAY));
    EXPECT_FALSE(enabled(CVcdCore::ID_PAUSE));
    EXPECT_FALSE(enabled(CVcdCore::ID_STOP));
    t.player.OnMenuCommand(CVcdCore::ID_PLAY);
    EXPECT_EQ(t.player.State(), Running);
    EXPECT_FALSE(enabled(CVcdCore::ID_PLAY));
    EXPECT_TRUE(enabled(CVcdCore::ID_PAUSE));
    t.player.OnMenuCommand(CVcdCore::ID_PAUSE);
    EXPECT_EQ(t.player.State(), Paused);
    EXPECT_FALSE(enabled(CVcdCore::ID_PAUSE));
    EXPECT_TRUE(enabled(CVcdCore::ID_STOP));
    t.player.OnMenuCommand(CVcdCore::ID_STOP);
    EXPECT_EQ(t.player.State(), Stopped);

    // A right click shows the menu at the pointer; what is chosen there is done.
    t.player.m_nOwnerOnTop = 0;
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        shown = true;
        menu->setActiveAction(t.MenuItems(*menu)[CVcdCore::ID_PLAY]);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QTest::mouseClick(window, Qt::RightButton, {}, QPoint(20, 20));
    EXPECT_TRUE(shown);
    EXPECT_EQ(t.player.State(), Running);
    EXPECT_EQ(t.player.m_nOwnerOnTop, 1);
    t.player.Stop();

    // "Close" and the close box ask the owner to close the video; the window stays till then.
    t.player.OnMenuCommand(CVcdCore::ID_CLOSE);
    window->close();
    ASSERT_TRUE(WaitUntil([&] { return t.owner.commands.size() == 2; }));
    EXPECT_EQ(t.owner.commands, (std::vector<int>{1056, 1056}));
    EXPECT_EQ(t.player.Window(), window);
    EXPECT_TRUE(window->isVisible());
}

TEST(PreviewPlayer, ClicksRaiseThePreviewAndTheOwnerInTurn)
{
    OpenPlayer t("h264_aac.mp4");
    ASSERT_TRUE(t.player.OpenClip());
    auto ownerOnTop = [&] { return t.owner.windowFlags().testFlag(Qt::WindowStaysOnTopHint); };
    QTest::mouseClick(t.Window(), Qt::LeftButton, {}, QPoint(10, 10));
    const bool first = ownerOnTop();
    QTest::mouseClick(t.Window(), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_NE(ownerOnTop(), first);
    EXPECT_TRUE(t.owner.isVisible());

    // In full screen the owner goes out of sight and comes back on top.
    t.player.ToggleFullScreen();
    QTest::mouseClick(t.Window(), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(t.owner.isMinimized());
    EXPECT_FALSE(ownerOnTop());
    QTest::mouseClick(t.Window(), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_FALSE(t.owner.isMinimized());
    EXPECT_TRUE(ownerOnTop());
    t.player.ToggleFullScreen();
    EXPECT_TRUE(t.owner.isVisible());
}

TEST(PreviewPlayer, UnplayableFilesShowTheMessageAndLeaveNoWindow)
{
    for (const char *name : {"text_renamed.avi", "empty.mp4", "random.mkv", "missing.mp4"}) {
        OpenPlayer t(name);
        EXPECT_FALSE(t.player.OpenClip()) << name;
        ASSERT_EQ(t.boxes.Boxes().size(), 1u) << name;
        EXPECT_EQ(t.boxes.Boxes()[0].kind, platform::BoxKind::Report);
        EXPECT_EQ(t.boxes.Boxes()[0].text, kCannotPlay);
        EXPECT_EQ(t.player.Window(), nullptr);
        EXPECT_EQ(t.player.State(), Closed);
        // Transport on a closed player is harmless.
        t.player.Play();
        t.player.Stop();
        EXPECT_EQ(t.player.Seek(0), E_NOINTERFACE);
        EXPECT_EQ(t.player.State(), Closed);
    }
}

TEST(PreviewPlayer, GraphNotifierPostsToItsReceiverUntilDetached)
{
    struct Receiver : QObject
    {
        int events = 0;
        bool event(QEvent *e) override
        {
            if (e->type() != messages::WM_GRAPHNOTIFY)
                return QObject::event(e);
            ++events;
            return true;
        }
    } receiver;
    auto notifier = std::make_unique<CGraphNotifier>(&receiver);
    std::function<void()> callback = notifier->Callback();
    std::thread streaming([&] {
        for (int i = 0; i < 3; ++i)
            callback();
    });
    streaming.join();
    EXPECT_EQ(receiver.events, 0); // posted, not delivered on the streaming thread
    ASSERT_TRUE(WaitUntil([&] { return receiver.events == 3; }, 5000));
    notifier.reset();
    callback(); // a graph may still hold the callback
    QCoreApplication::processEvents();
    EXPECT_EQ(receiver.events, 3);
}

// The file's data goes from under a playing graph (cut to nothing, as when its medium is taken
// out): the graph's end or error is the player's cue to stop and tell, once, without a box.
TEST(PreviewPlayer, AFileWhoseDataGoesWhilePlayingStopsThePlayer)
{
    QTemporaryDir dir;
    const QString copy = dir.path() + "/cut.mp4";
    ASSERT_TRUE(QFile::copy(QString::fromStdString(Fixture("long_95_7.mp4")), copy));
    OpenPlayer t("long_95_7.mp4");
    t.player.m_szMediaPath = copy.toStdString();
    std::vector<std::string> told;
    t.player.m_sourceLostHandler = [&](const std::string &path) { told.push_back(path); };
    ASSERT_TRUE(t.player.OpenClip());
    t.player.Play();
    ASSERT_TRUE(t.WaitTicks(1));
    ASSERT_TRUE(QFile::resize(copy, 0));
    ASSERT_TRUE(WaitUntil([&] { return t.player.SourceLost(); }, 60000));
    EXPECT_EQ(told, std::vector<std::string>{copy.toStdString()});
    EXPECT_EQ(t.player.State(), Stopped);
    EXPECT_TRUE(t.boxes.Boxes().empty()) << t.boxes.Texts()[0];
    // The window keeps its last picture; asking again tells again.
    EXPECT_FALSE(t.player.VideoWidget()->CurrentFrame().isNull());
    t.player.Seek(0);
    EXPECT_EQ(told.size(), 2u);
}
