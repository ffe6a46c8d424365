// Pictures of the main window at a large interface font and of the preview of a video, for a
// person to look at under a real display and window manager (not a test: it asserts nothing):
//   xvfb-run -a -s '-screen 0 1280x1024x24' sh -c 'openbox & build/bin/window_shots OUTDIR VIDEO'
// It then waits up to 30 s for the preview's close box to be clicked (for example with xdotool)
// and says whether that closed the video. With LANGUAGE and POINTS (0: the window's own font)
// the pictures are named after both, the window is also taken with a video open, a long output
// path and the keyboard focus moved by Tab, and again after the Font command chose another size;
// where both windows went is printed each time, and there is no wait.
#include "app/AboutDlg.h"
#include "app/VinteloDlg.h"
#include "localisation/InterfaceFont.h"
#include "localisation/Language.h"
#include "options/DialogOutputSettings.h"
#include "platform/Choosers.h"
#include "platform/MessageBoxes.h"
#include "preview/TrimControls.h"
#include "preview/VcdCore.h"
#include "settings/SettingsStore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

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
        std::fprintf(stderr, "usage: %s OUTDIR VIDEO [LANGUAGE [POINTS]]\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    SettingsStore store((config.path() + "/clipwright.conf").toStdString());
    SettingsStore::SetGlobal(&store);
    platform::MessageBoxRecorder boxes;
    platform::ChooserRecorder choosers;
    CLanguage &language = CLanguage::Instance();
    language.Initialize(CW_BINARY_DIR "/bin", argc > 3 ? argv[3] : "English");
    const int points = argc > 4 ? std::atoi(argv[4]) : 16;
    const bool named = argc > 4;
    const QString tag = named ? QString("-%1-%2pt").arg(argv[3]).arg(points) : QString("-16pt");
    if (points > 0) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSize(points);
        language.SaveInterfaceFont(FromQFont(font));
    }

    CVinteloDlg dialog;
    dialog.move(0, 300);
    dialog.show();
    QTest::qWaitForWindowExposed(&dialog);
    Save(out + "/wm-main" + tag + ".png");

    // The other dialogs at the same font, each shown on its own beside the main window.
    {
        CDialogOutputSettings options(&dialog);
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

    if (named) // a path long enough to be shortened in the status line
        dialog.m_szOutputFile
            = (config.path() + "/" + QString("Holiday videos 2026 ").repeated(6) + "/clip.wmv")
                  .toStdString();
    choosers.QueueAnswer(argv[2]);
    qobject_cast<QAbstractButton *>(dialog.Control(CVinteloDlg::IDC_BUTTON_ADD_VIDEO))->click();
    if (named) {
        dialog.activateWindow();
        QTest::qWait(300);
        QTest::keyClick(&dialog, Qt::Key_Tab);
        Save(out + "/wm-video" + tag + ".png");
        if (CVcdCore *player = CTrimControls::Player())
            Report(dialog, player->Window());
        // The Font command with the video open: 9 pt becomes 16 pt and any other size 9 pt.
        QFont other(QStringLiteral("DejaVu Sans"));
        other.setPointSize(points == 9 ? 16 : 9);
        choosers.QueueFontAnswer(other.toString().toStdString());
        dialog.OnFont();
        Save(out + QString("/wm-video%1-then-%2pt.png").arg(tag).arg(other.pointSize()));
        if (CVcdCore *player = CTrimControls::Player())
            Report(dialog, player->Window());
        SettingsStore::SetGlobal(nullptr);
        return 0;
    }
    Save(out + "/wm-preview.png");
    if (CVcdCore *player = CTrimControls::Player()) {
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
                dialog.m_nPhotoCount);
    Save(out + "/wm-after-close.png");
    SettingsStore::SetGlobal(nullptr);
    return 0;
}
