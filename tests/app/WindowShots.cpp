// Pictures of the main window at a large interface font and of the preview of a video (also with
// its pop-up menu open), for a person to look at under a real display and window manager (not a
// test: it asserts nothing):
//   xvfb-run -a -s '-screen 0 1280x1024x24' sh -c 'openbox & build/bin/window_shots OUTDIR VIDEO'
// It then waits up to 30 s for the preview's close box to be clicked (for example with xdotool)
// and says whether that closed the video. With LANGUAGE and POINTS (0: the window's own font)
// the pictures are named after both, the window is also taken with a video open, a long output
// path and the keyboard focus moved by Tab, the replace prompt and the font chooser are taken
// too, the window is taken again after the Font command chose another size, where both windows
// went is printed each time, and there is no wait. With MARKS ("2-7", seconds) as well, the last
// picture is instead the window with the start and end marks set and the preview beside it, on a
// transparent ground (wm-marks-...png): what a software centre shows. CW_SHOT_OUTPUT names the
// output file the window shows.
#include "app/AboutDlg.h"
#include "app/VinteloDlg.h"
#include "localisation/InterfaceFont.h"
#include "localisation/Language.h"
#include "options/DialogOutputSettings.h"
#include "platform/Choosers.h"
#include "platform/MessageBoxes.h"
#include "platform/WidgetServices.h"
#include "preview/TrimControls.h"
#include "preview/VcdCore.h"
#include "settings/SettingsStore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontDialog>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

void Save(const QString &path)
{
    QTest::qWait(800);
    QGuiApplication::primaryScreen()->grabWindow(0).save(path);
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
}

// A key on the main window, made the active window first as a user's click would.
void KeyOnWindow(QWidget *window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    window->activateWindow();
    QTest::qWaitForWindowActive(window);
    QTest::keyClick(window, key, modifiers);
}

// The main window with its marks at start and end seconds and the preview to its right, each
// window with its frame, on a transparent ground.
void SaveWithMarks(CVinteloDlg &dialog, int start, int end, const QString &path)
{
    CVcdCore *player = CTrimControls::Player();
    if (!player)
        return;
    QWidget *preview = player->Window();
    // Side by side, tops level; the preview's move places its picture, not its frame.
    dialog.move(0, 0);
    QTest::qWait(300);
    const QPoint place(dialog.frameGeometry().right() + 24, dialog.frameGeometry().top());
    preview->move(place);
    QTest::qWait(300);
    preview->move(preview->pos() + place - preview->frameGeometry().topLeft());
    QTest::qWait(500);
    for (int second = 0; second < start; ++second)
        KeyOnWindow(&dialog, Qt::Key_Right, Qt::ShiftModifier);
    KeyOnWindow(&dialog, Qt::Key_I);
    for (int second = start; second < end; ++second)
        KeyOnWindow(&dialog, Qt::Key_Right, Qt::ShiftModifier);
    KeyOnWindow(&dialog, Qt::Key_O);
    dialog.setFocus(); // no focus frame on a button
    QTest::qWait(1500);
    const QRect windows = dialog.frameGeometry().united(preview->frameGeometry());
    QImage picture(windows.size(), QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    for (QWidget *window : {static_cast<QWidget *>(&dialog), preview}) {
        const QRect frame = window->frameGeometry();
        painter.drawPixmap(frame.topLeft() - windows.topLeft(),
                           QGuiApplication::primaryScreen()->grabWindow(
                               0, frame.x(), frame.y(), frame.width(), frame.height()));
    }
    painter.end();
    picture.save(path);
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
}

void Print(const char *what, const QRect &r)
{
    std::printf("%s %d,%d %dx%d\n", what, r.x(), r.y(), r.width(), r.height());
}

// Where the window manager put both windows, frames included, and whether they keep apart.
void Report(QWidget &main, QWidget *preview)
{
    const QRect area = main.screen()->availableGeometry();
    const QRect mainFrame = main.frameGeometry();
    const QRect previewFrame = preview->frameGeometry();
    Print("work area", area);
    Print("main frame", mainFrame);
    Print("preview frame", previewFrame);
    Print("preview client", preview->geometry());
    std::printf("overlap: %s; main on the work area: %s; preview on it: %s\n",
                previewFrame.intersects(mainFrame) ? "YES" : "no",
                area.contains(mainFrame) ? "yes" : "NO",
                area.contains(previewFrame) ? "yes" : "NO");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTDIR VIDEO [LANGUAGE [POINTS [MARKS]]]\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    SettingsStore store((config.path() + "/clipwright.conf").toStdString());
    platform::MessageBoxRecorder boxes;
    platform::ChooserRecorder choosers;
    CLanguage &language = CLanguage::Instance();
    language.UseSettings(&store);
    language.Initialize(CW_BINARY_DIR "/bin", argc > 3 ? argv[3] : "English");
    const int points = argc > 4 ? std::atoi(argv[4]) : 16;
    const bool named = argc > 4;
    const QString tag = named ? QString("-%1-%2pt").arg(argv[3]).arg(points) : QString("-16pt");
    if (points > 0) {
        // The language's own face (a CJK cut for Chinese and Japanese) at the size asked for.
        QFont font(QString::fromStdString(language.GetInterfaceFont().lfFaceName));
        font.setPointSize(points);
        language.SaveInterfaceFont(FromQFont(font));
    }

    CVinteloDlg dialog(store);
    dialog.move(0, 300);
    dialog.show();
    QTest::qWaitForWindowExposed(&dialog);
    Save(out + "/wm-main" + tag + ".png");

    // The other dialogs at the same font, each shown on its own beside the main window.
    {
        CDialogOutputSettings options(store, &dialog);
        options.m_szOutputFile = (config.path() + "/output.wmv").toStdString();
        options.OnInitDialog();
        options.move(0, 0);
        options.show();
        QTest::qWaitForWindowExposed(&options);
        Save(out + "/wm-options" + tag + ".png");
    }
    {
        CAboutDlg about(&dialog);
        about.move(0, 0);
        about.show();
        QTest::qWaitForWindowExposed(&about);
        Save(out + "/wm-about" + tag + ".png");
    }

    if (named) {
        // Qt's own dialogs in the language and the interface font: the replace prompt and the
        // font chooser.
        platform::WidgetMessageBoxService prompts(&dialog);
        prompts.SetFontSource([] { return InterfaceQFont(CLanguage::Instance()); });
        QTimer::singleShot(0, [&] {
            Save(out + "/wm-prompt" + tag + ".png");
            if (QWidget *box = QApplication::activeModalWidget())
                box->close();
        });
        prompts.Show({platform::BoxKind::Owned,
                      (config.path() + "/output.wmv ").toStdString() + language.GetString(127),
                      language.GetString(108), platform::BoxButtons::YesNo,
                      platform::BoxIcon::Exclamation});
        QFontDialog fonts(InterfaceQFont(language), &dialog);
        fonts.move(0, 0);
        fonts.show();
        QTest::qWaitForWindowExposed(&fonts);
        Save(out + "/wm-font" + tag + ".png");
    }

    if (qEnvironmentVariableIsSet("CW_SHOT_OUTPUT"))
        dialog.Job().m_szOutputFile = qEnvironmentVariable("CW_SHOT_OUTPUT").toStdString();
    else if (named) // a path long enough to be shortened in the status line
        dialog.Job().m_szOutputFile
            = (config.path() + "/" + QString("Holiday videos 2026 ").repeated(6) + "/clip.wmv")
                  .toStdString();
    choosers.QueueAnswer(argv[2]);
    qobject_cast<QAbstractButton *>(dialog.Control(CVinteloDlg::IDC_BUTTON_ADD_VIDEO))->click();
    if (argc > 5) {
        int start = 0, end = 0;
        if (std::sscanf(argv[5], "%d-%d", &start, &end) == 2 && 0 <= start && start < end)
            SaveWithMarks(dialog, start, end, out + "/wm-marks" + tag + ".png");
        return 0;
    }
    if (named) {
        dialog.activateWindow();
        QTest::qWait(300);
        QTest::keyClick(&dialog, Qt::Key_Tab);
        Save(out + "/wm-video" + tag + ".png");
        if (CVcdCore *player = CTrimControls::Player())
            Report(dialog, player->Window());
        // The Font command with the video open: 9 pt becomes 16 pt and any other size 9 pt.
        QFont other(QString::fromStdString(CLanguage::Instance().GetInterfaceFont().lfFaceName));
        other.setPointSize(points == 9 ? 16 : 9);
        choosers.QueueFontAnswer(other.toString().toStdString());
        dialog.OnFont();
        Save(out + QString("/wm-video%1-then-%2pt.png").arg(tag).arg(other.pointSize()));
        if (CVcdCore *player = CTrimControls::Player())
            Report(dialog, player->Window());
        return 0;
    }
    Save(out + "/wm-preview.png");
    if (CVcdCore *player = CTrimControls::Player()) {
        // The preview's pop-up menu, as the Menu key opens it.
        QTimer::singleShot(0, [&] {
            Save(out + "/wm-preview-menu.png");
            if (QWidget *menu = QApplication::activePopupWidget())
                menu->close();
        });
        player->Window()->activateWindow();
        QTest::keyClick(player->Window()->windowHandle(), Qt::Key_Menu);
        const QRect frame = player->Window()->frameGeometry();
        std::printf("preview frame %d,%d %dx%d, client %dx%d, work area %d,%d %dx%d\n", frame.x(),
                    frame.y(), frame.width(), frame.height(), player->Window()->width(),
                    player->Window()->height(), dialog.screen()->availableGeometry().x(),
                    dialog.screen()->availableGeometry().y(),
                    dialog.screen()->availableGeometry().width(),
                    dialog.screen()->availableGeometry().height());
        std::printf("close box at %d,%d\n", frame.right() - 12, frame.top() + 10);
        std::fflush(stdout);
    }
    const bool closed = QTest::qWaitFor([] { return CTrimControls::Player() == nullptr; }, 30000);
    std::printf("video closed by the close box: %s; photo count %d\n", closed ? "yes" : "no",
                dialog.Job().m_nPhotoCount);
    Save(out + "/wm-after-close.png");
    return 0;
}
