#include "PreviewTestSupport.h"

#include "app/VinteloDlg.h"
#include "localisation/InterfaceFont.h"
#include "localisation/Language.h"
#include "platform/DialogUnits.h"
#include "preview/PreviewGeometry.h"
#include "preview/TrimControls.h"
#include "preview/VcdCore.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>

#include <cstdio>
#include <string>

namespace {

using preview::PlaceWindows;
using preview::WindowLayout;

std::string Text(const QRect &r)
{
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width())
           + "x" + std::to_string(r.height());
}

// The main window's frame at a point size of DejaVu Sans, as the template grows with it.
QSize MainFrameAt(int points, const QMargins &frame)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(points);
    const QRect units(0, 0, 357, 196);
    return platform::DialogUnitsToPixels(units, platform::DialogBaseUnits(font))
        .size()
        .grownBy(frame);
}

// What must hold wherever the windows go: both on the work area, the preview's frame above the
// main window's and clear of it, its picture no larger than wished and of the wished shape.
void ExpectSound(const QRect &area, const QRect &main, const QRect &previewFrame,
                 const QSize &shown, const QSize &wished, const std::string &where)
{
    EXPECT_TRUE(area.contains(main)) << where << ": main " << Text(main) << " in " << Text(area);
    if (wished.isEmpty())
        return;
    EXPECT_TRUE(area.contains(previewFrame))
        << where << ": preview " << Text(previewFrame) << " in " << Text(area);
    EXPECT_FALSE(previewFrame.intersects(main))
        << where << ": " << Text(previewFrame) << " over " << Text(main);
    EXPECT_LT(previewFrame.bottom(), main.top()) << where;
    EXPECT_GT(shown.width(), 0) << where;
    EXPECT_LE(shown.width(), wished.width()) << where;
    EXPECT_LE(shown.height(), wished.height()) << where;
    EXPECT_NEAR(shown.height(), double(shown.width()) * wished.height() / wished.width(), 1.0)
        << where << ": " << shown.width() << "x" << shown.height();
}

// Whether a picture of wished fits at its own size above a main window of mainSize.
bool Fits(const QRect &area, const QSize &mainSize, const QSize &wished, const QMargins &frame)
{
    return wished.width() + frame.left() + frame.right() <= area.width()
           && wished.height() + frame.top() + frame.bottom() + mainSize.height() <= area.height();
}

// A 1920x1080 clip, made once per build directory: the fixtures hold nothing that large.
QString FullHdClip()
{
    const QString dir = QStringLiteral(CW_BINARY_DIR "/placement");
    const QString path = dir + "/video_only_1920x1080.mp4";
    if (QFileInfo::exists(path))
        return path;
    QDir().mkpath(dir);
    // Made under a name of its own and renamed, so a test running beside never reads half of it.
    const QString part = path + "." + QString::number(QCoreApplication::applicationPid());
    Shell("gst-launch-1.0 -q videotestsrc num-buffers=10 pattern=smpte ! "
          "video/x-raw,format=I420,width=1920,height=1080,framerate=25/1 ! "
          "x264enc speed-preset=ultrafast ! mp4mux ! filesink location='"
          + part.toStdString() + "'");
    if (!QFile::rename(part, path))
        QFile::remove(part);
    return QFileInfo::exists(path) ? path : QString();
}

// The rules on the real windows, with their frames as the platform gives them.
void ExpectPlaced(CVinteloDlg &dialog, const QSize &wished, const std::string &where)
{
    const QRect area = dialog.screen()->availableGeometry();
    const QRect main = dialog.frameGeometry();
    // However it was fitted, the window is its template at the font it shows, on every control.
    EXPECT_EQ(dialog.size(), dialog.DialogUnitsToPixels(QRect(0, 0, 357, 196)).size()) << where;
    for (QWidget *control : dialog.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (!control->isWindow()) {
            EXPECT_EQ(control->font(), dialog.font())
                << where << " " << control->property("controlId").toInt();
        }

    QRect previewFrame;
    QSize shown;
    if (!wished.isEmpty()) {
        CVcdCore *player = CTrimControls::Player();
        ASSERT_NE(player, nullptr) << where;
        QWidget *preview = player->Window();
        ASSERT_TRUE(preview && preview->isVisible()) << where;
        previewFrame = preview->frameGeometry();
        shown = player->VideoRect().size();
        EXPECT_EQ(shown, preview->size()) << where;
        const QRect client = preview->geometry();
        const QMargins frame(client.left() - previewFrame.left(), client.top() - previewFrame.top(),
                             previewFrame.right() - client.right(),
                             previewFrame.bottom() - client.bottom());
        if (Fits(area, main.size(), wished, frame)) {
            EXPECT_EQ(shown, wished) << where << ": shown smaller than it had room for";
        }
    }
    ExpectSound(area, main, previewFrame, shown, wished, where);
}

} // namespace

// Known layouts, worked out by hand.
TEST(WindowPlacement, ThePreviewGoesAboveTheMainWindow)
{
    const QRect screen(0, 0, 1280, 1024);
    const QMargins frame(4, 24, 4, 4);
    const QRect centred(325, 337, 630, 350);

    // 480p fits where the preview opens; the main window moves down just clear of it.
    WindowLayout layout = PlaceWindows(screen, centred, QSize(640, 480), frame, QPoint(100, 5));
    EXPECT_EQ(layout.previewClient, QRect(104, 29, 640, 480));
    EXPECT_EQ(layout.mainFrame, QRect(325, 513, 630, 350));

    // 1080p does not: the room above the bottom-most main window (1024 - 350 - 28 high) sets the
    // height, 646 * 16 / 9 the width, and the preview's frame goes up to the top edge.
    layout = PlaceWindows(screen, centred, QSize(1920, 1080), frame, QPoint(100, 5));
    EXPECT_EQ(layout.previewClient, QRect(104, 24, 1148, 646));
    EXPECT_EQ(layout.mainFrame, QRect(325, 674, 630, 350));

    // A main window already below the preview stays where it is.
    layout
        = PlaceWindows(screen, QRect(325, 600, 630, 350), QSize(640, 480), frame, QPoint(100, 5));
    EXPECT_EQ(layout.mainFrame, QRect(325, 600, 630, 350));

    // The window that ran off the right edge after a 16 pt font: moved back in.
    layout = PlaceWindows(screen, QRect(325, 337, 1164, 641), QSize(), frame, QPoint());
    EXPECT_EQ(layout.mainFrame, QRect(116, 337, 1164, 641));
    EXPECT_TRUE(layout.previewClient.isNull());

    // Wider than the screen, or taller than three quarters of it: limited, and moved the least.
    layout = PlaceWindows(QRect(0, 0, 1024, 768), QRect(200, 300, 1164, 641), QSize(), frame,
                          QPoint());
    EXPECT_EQ(layout.mainFrame, QRect(0, 192, 1024, 576));
}

// Every screen, panel, font, source, size choice and starting place of the report's kind.
TEST(WindowPlacement, NeitherWindowOverlapsOrLeavesTheWorkArea)
{
    const QMargins frame(1, 22, 1, 1); // a thin border and a caption, as openbox draws them
    const QRect areas[] = {
        QRect(0, 0, 1280, 1024), QRect(0, 0, 1024, 768),
        QRect(0, 30, 1280, 994), // a panel at the top
        QRect(48, 0, 976, 768),  // a panel at the left
        QRect(0, 0, 1024, 728),  // a panel at the bottom
    };
    const QSize sources[] = {QSize(640, 480), QSize(1280, 720), QSize(1920, 1080)};
    // Original size, half and double.
    const std::pair<int, int> choices[] = {{1, 1}, {1, 2}, {2, 1}};
    int cases = 0;
    for (const QRect &area : areas) {
        for (int points : {9, 16}) {
            const QSize mainSize = MainFrameAt(points, frame);
            const QPoint starts[]
                = {area.center() - QPoint(mainSize.width() / 2, mainSize.height() / 2),
                   area.topLeft(), area.bottomRight() - QPoint(100, 100), QPoint(-300, -300)};
            for (const QPoint &start : starts) {
                const QRect main(start, mainSize);
                const std::string at
                    = Text(area) + " " + std::to_string(points) + "pt from " + Text(main);
                // No video open.
                const WindowLayout none = PlaceWindows(area, main, QSize(), frame, QPoint());
                ExpectSound(area, none.mainFrame, QRect(), QSize(), QSize(), at);
                EXPECT_TRUE(none.previewClient.isNull()) << at;
                // The window is limited only when it cannot fit with a quarter left over.
                const bool roomy = mainSize.width() <= area.width()
                                   && mainSize.height() <= area.height() * 3 / 4;
                EXPECT_EQ(none.mainFrame.size() == mainSize, roomy) << at;
                if (roomy && area.contains(main)) {
                    EXPECT_EQ(none.mainFrame, main) << at << ": moved though it was on the area";
                }

                for (const QSize &source : sources) {
                    for (const auto &[n, d] : choices) {
                        const QSize wished = source * n / d;
                        for (const QPoint &previewAt :
                             {area.topLeft() + QPoint(100, 5), area.bottomRight()}) {
                            const std::string where = at + " " + std::to_string(wished.width())
                                                      + "x" + std::to_string(wished.height());
                            const WindowLayout layout
                                = PlaceWindows(area, main, wished, frame, previewAt);
                            const QRect preview = layout.previewClient.marginsAdded(frame);
                            ExpectSound(area, layout.mainFrame, preview,
                                        layout.previewClient.size(), wished, where);
                            EXPECT_EQ(layout.mainFrame.size(), none.mainFrame.size()) << where;
                            if (Fits(area, layout.mainFrame.size(), wished, frame)) {
                                EXPECT_EQ(layout.previewClient.size(), wished) << where;
                            }
                            ++cases;
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(cases, 5 * 2 * 4 * 3 * 3 * 2);
}

// The program's own windows on this process's screen: each font, then each source at each size
// choice, then the other font with the video still open. RealWindowsOnChosenScreens runs it on
// the screens of the report.
TEST(WindowPlacement, RealWindowsOnThisScreen)
{
    const QString fullHd = FullHdClip();
    ASSERT_FALSE(fullHd.isEmpty());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    std::printf("on a screen of %dx%d\n", screen.width(), screen.height());
    const std::string sources[] = {Fixture("video_only_640x480.mp4"),
                                   Fixture("video_only_1280x720.mp4"), fullHd.toStdString()};
    for (int points : {9, 16}) {
        AppTestEnvironment env;
        CLanguage &language = CLanguage::Instance();
        ASSERT_TRUE(language.Initialize(CW_BINARY_DIR "/bin", "English"));
        auto fontAt = [](int size) {
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPointSize(size);
            return font;
        };
        language.SaveInterfaceFont(FromQFont(fontAt(points)));
        const std::string where = std::to_string(screen.width()) + "x"
                                  + std::to_string(screen.height()) + " " + std::to_string(points)
                                  + "pt";

        CVinteloDlg dialog(env.store);
        dialog.show();
        QCoreApplication::processEvents();
        ExpectPlaced(dialog, QSize(), where);

        QSize wished;
        for (const std::string &source : sources) {
            dialog.OpenVideoFile(source);
            ASSERT_EQ(dialog.Job().m_nPhotoCount, 1) << source;
            const QSize size(dialog.Job().m_nSourceWidth, dialog.Job().m_nSourceHeight);
            QCoreApplication::processEvents();
            ExpectPlaced(dialog, size, where + " " + source);
            CVcdCore *player = CTrimControls::Player();
            ASSERT_NE(player, nullptr);
            for (const auto &[n, d] : {std::pair(1, 2), std::pair(2, 1), std::pair(1, 1)}) {
                ASSERT_EQ(player->InitVideoWindow(n, d), S_OK);
                wished = size * n / d;
                ExpectPlaced(dialog, wished,
                             where + " " + source + " at " + std::to_string(n) + "/"
                                 + std::to_string(d));
            }
        }
        EXPECT_EQ(wished, QSize(1920, 1080));

        // The Font command: both windows are placed again at once.
        const QSize before = dialog.size();
        env.choosers.QueueFontAnswer(fontAt(points == 9 ? 16 : 9).toString().toStdString());
        dialog.OnFont();
        EXPECT_NE(dialog.size(), before) << where;
        ExpectPlaced(dialog, wished, where + " after the Font command");
        QCoreApplication::processEvents();
        ExpectPlaced(dialog, wished, where + " after the Font command, events handled");
    }
}

// The report's screens, each in a process of its own (the platform takes its screens at start).
TEST(WindowPlacement, RealWindowsOnChosenScreens)
{
    ASSERT_FALSE(FullHdClip().isEmpty());
    QTemporaryDir dir;
    for (const QSize &size : {QSize(1280, 1024), QSize(1024, 768)}) {
        const QString name = QString("%1x%2").arg(size.width()).arg(size.height());
        const QString config = dir.filePath(name + ".json");
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QString("{\"screens\": [{\"name\": \"screen\", \"x\": 0, \"y\": 0, \"width\": "
                           "%1, \"height\": %2, \"logicalDpi\": 96, \"logicalBaseDpi\": 96, "
                           "\"dpr\": 1}]}\n")
                       .arg(size.width())
                       .arg(size.height())
                       .toUtf8());
        file.close();

        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen:configfile=" + config);
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=WindowPlacement.RealWindowsOnThisScreen"});
        ASSERT_TRUE(child.waitForFinished(240000)) << name.toStdString();
        const std::string output = child.readAll().toStdString();
        EXPECT_EQ(child.exitCode(), 0) << output;
        EXPECT_NE(output.find("on a screen of " + name.toStdString()), std::string::npos) << output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
    }
}
