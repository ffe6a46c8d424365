// Takes screenshots of the main window for a person to look at (run under xvfb-run):
// the right-click menu with its Language submenu, the window in German, and with a large bold
// interface font. Not a test: it asserts nothing.
#include "app/VinteloDlg.h"
#include "localisation/Language.h"
#include "localisation/PopupMenu.h"
#include "platform/Choosers.h"
#include "platform/MessageBoxes.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

void Save(const QString &path)
{
    QApplication::processEvents();
    QTest::qWait(300);
    QGuiApplication::primaryScreen()->grabWindow(0, 0, 0, 720, 440).save(path);
    std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication application(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const int fontPixels = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 16;

    SettingsStore store((config.path() + "/clipwright.conf").toStdString());
    platform::MessageBoxRecorder boxes;
    platform::ChooserRecorder choosers;
    CLanguage &language = CLanguage::Instance();
    language.UseSettings(&store);
    language.Initialize(CW_BINARY_DIR "/bin", "English");

    CVinteloDlg dialog(store);
    dialog.move(20, 20);
    dialog.show();
    QTest::qWaitForWindowExposed(&dialog);
    QTest::qWait(300);
    Save(out + "/main-english.png");

    // Right-click on the window, open the Language submenu, take the picture, close.
    QTimer::singleShot(200, [&] {
        QWidget *popup = QApplication::activePopupWidget();
        if (!popup)
            return;
        QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Right);
        QTimer::singleShot(300, [&] {
            Save(out + "/popup-language.png");
            while (QWidget *open = QApplication::activePopupWidget())
                open->close();
        });
    });
    const QPoint empty = dialog.DialogUnitsToPixels(QRect(100, 150, 1, 1)).topLeft();
    QTest::mouseClick(&dialog, Qt::RightButton, {}, empty);

    dialog.OnCommand(menus::kFirstLanguageCommand + 1); // German
    Save(out + "/main-german.png");

    QFont large(QStringLiteral("DejaVu Sans"));
    large.setPixelSize(fontPixels);
    large.setBold(true);
    choosers.QueueFontAnswer(large.toString().toStdString());
    dialog.OnCommand(menus::IDM_POPUPMENU_FONT);
    Save(out + "/main-german-large-bold.png");

    // Hovering one button, and the look of the disabled ones.
    QTest::mouseMove(dialog.Control(CVinteloDlg::IDC_BUTTON_OUTPUT_SETTINGS));
    Save(out + "/main-hover.png");

    for (const auto &box : boxes.Boxes())
        std::printf("box: %s | %s\n", box.caption.c_str(), box.text.c_str());
    return 0;
}
