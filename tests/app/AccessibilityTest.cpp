#include "AppTestSupport.h"

#include "app/VinteloDlg.h"
#include "preview/TrimControls.h"
#include "preview/VcdCore.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <cstdlib>

namespace {

using Dlg = CVinteloDlg;

// The template's order, which keyboard navigation follows.
const int kTemplateOrder[] = {Dlg::IDC_BUTTON_HELP,      Dlg::IDC_STATIC_STATUS,
                              Dlg::IDC_BUTTON_CONVERT,   Dlg::IDC_BUTTON_OUTPUT_SETTINGS,
                              Dlg::IDC_BUTTON_ADD_VIDEO, Dlg::IDC_BUTTON_ABOUT,
                              Dlg::IDC_BUTTON_HOMEPAGE,  Dlg::IDC_SLIDER_POSITION,
                              Dlg::IDC_BUTTON_CLOSE,     Dlg::IDC_STATIC_POSITION,
                              Dlg::IDC_BUTTON_PLAY,      Dlg::IDC_BUTTON_PAUSE,
                              Dlg::IDC_BUTTON_STOP,      Dlg::IDC_BUTTON_START_TIME,
                              Dlg::IDC_BUTTON_END_TIME,  Dlg::IDC_STATIC_START_TIME,
                              Dlg::IDC_STATIC_END_TIME,  Dlg::IDC_BUTTON_EXIT};

// A key as the keyboard sends it: to whatever has the focus in the active window.
void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *target = QApplication::focusWidget();
    if (!target)
        target = QApplication::activeWindow();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, key, modifiers);
}

// Tab until the control with number id of window has the focus.
void TabTo(QWidget *window, QWidget *control)
{
    for (int i = 0; i < 40 && QApplication::focusWidget() != control; ++i)
        Key(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), control) << window->metaObject()->className();
}

// Back to the main window, as Alt+Tab under a window manager would.
void BackToMainWindow(Dlg &dialog)
{
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &dialog; }));
}

// Drives the next modal dialog from the keyboard alone: the focus to the output file, a path
// typed over it, then closing with key. A dialog left open by a failure is closed.
void AnswerOptionsWith(const QString &path, Qt::Key close, bool *answered)
{
    QTimer::singleShot(0, [=] {
        QWidget *options = QApplication::activeModalWidget();
        ASSERT_NE(options, nullptr);
        [&] {
            // As a window manager gives a new dialog the focus.
            options->activateWindow();
            ASSERT_TRUE(QTest::qWaitFor([&] {
                return QApplication::activeWindow() == options
                       && options->isAncestorOf(QApplication::focusWidget());
            }));
            QWidget *edit = nullptr;
            for (auto *line : options->findChildren<QLineEdit *>())
                if (line->property("controlId").toInt() == 1022)
                    edit = line;
            ASSERT_NE(edit, nullptr);
            TabTo(options, edit);
            Key(Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(edit, path);
            Key(close);
            *answered = !options->isVisible();
        }();
        if (options->isVisible())
            options->close();
    });
}

} // namespace

// Every control is named and described for a screen reader, in the window's language, and the
// keyboard walks the controls in the template's order.
TEST(Accessibility, EveryControlNamedAndTabOrderFollowsTheTemplate)
{
    AppTestEnvironment env;
    Dlg dialog;
    dialog.show();
    env.choosers.QueueAnswer(Fixture("h264_aac.mp4"));
    qobject_cast<QAbstractButton *>(dialog.Control(Dlg::IDC_BUTTON_ADD_VIDEO))->click();
    ASSERT_EQ(dialog.m_nPhotoCount, 1);

    for (int id : kTemplateOrder) {
        QWidget *control = dialog.Control(id);
        EXPECT_FALSE(control->accessibleName().isEmpty()) << id;
        EXPECT_FALSE(control->accessibleName().contains('&')) << id;
        EXPECT_FALSE(control->accessibleDescription().isEmpty()) << id;
    }
    EXPECT_EQ(dialog.Control(Dlg::IDC_BUTTON_HELP)->accessibleName(), "Help");
    EXPECT_EQ(dialog.Control(Dlg::IDC_BUTTON_ADD_VIDEO)->accessibleDescription(),
              "Open a video file");
    EXPECT_EQ(dialog.Control(Dlg::IDC_STATIC_END_TIME)->accessibleName(), "End Time");
    EXPECT_EQ(dialog.Control(Dlg::IDC_BUTTON_PLAY)->accessibleDescription(), "Play (Space)");

    // Tab from the first focusable control visits the rest in the template's order.
    std::vector<int> expected;
    for (int id : kTemplateOrder) {
        QWidget *control = dialog.Control(id);
        if (control->isVisible() && control->isEnabled() && (control->focusPolicy() & Qt::TabFocus))
            expected.push_back(id);
    }
    ASSERT_GT(expected.size(), 10u);
    std::vector<int> visited;
    QWidget *at = dialog.Control(expected.front());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        visited.push_back(at->property("controlId").toInt());
        do
            at = at->nextInFocusChain();
        while (!(at->isVisible() && at->isEnabled() && (at->focusPolicy() & Qt::TabFocus)
                 && at->property("controlId").toInt() > 0));
    }
    EXPECT_EQ(visited, expected);
}

// Open, play, mark, options, convert and stop with keys alone: Tab walks to a button and Enter
// presses it (Space stays play and pause, also on a focused button).
TEST(Accessibility, WholeFlowFromTheKeyboardAlone)
{
    AppTestEnvironment env;
    Dlg dialog;
    dialog.show();
    BackToMainWindow(dialog);

    // Open Video: the chooser is answered as a user would answer it.
    env.choosers.QueueAnswer(Fixture("long_30min.mp4"));
    TabTo(&dialog, dialog.Control(Dlg::IDC_BUTTON_ADD_VIDEO));
    Key(Qt::Key_Return);
    ASSERT_EQ(dialog.m_nPhotoCount, 1);
    CVcdCore *player = CTrimControls::Player();
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->m_llStopPosition > 0; }, 20000));

    // Space on a focused transport button plays and pauses instead of pressing it; Enter
    // presses it.
    BackToMainWindow(dialog);
    TabTo(&dialog, dialog.Control(Dlg::IDC_BUTTON_STOP));
    Key(Qt::Key_Space);
    EXPECT_EQ(player->State(), Running);
    Key(Qt::Key_Space);
    EXPECT_EQ(player->State(), Paused);
    TabTo(&dialog, dialog.Control(Dlg::IDC_BUTTON_PLAY));
    Key(Qt::Key_Return);
    EXPECT_EQ(player->State(), Running);
    TabTo(&dialog, dialog.Control(Dlg::IDC_BUTTON_PAUSE));
    Key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(player->State(), Paused);

    // Marks from 1 s to 3 s.
    Key(Qt::Key_Home);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_I);
    EXPECT_EQ(dialog.m_llStartTime, UNITS);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_O);
    EXPECT_EQ(dialog.m_llEndTime, 3 * UNITS);
    EXPECT_EQ(qobject_cast<QLabel *>(dialog.Control(Dlg::IDC_STATIC_START_TIME))->text(),
              "00:00:01");

    // Options: Escape leaves everything as it was, Enter takes the typed output file.
    const std::string before = dialog.m_szOutputFile;
    const QString out = env.dir.path() + "/keys.wmv";
    bool answered = false;
    AnswerOptionsWith(env.dir.path() + "/ignored.wmv", Qt::Key_Escape, &answered);
    TabTo(&dialog, dialog.Control(Dlg::IDC_BUTTON_OUTPUT_SETTINGS));
    Key(Qt::Key_Return);
    ASSERT_TRUE(answered);
    EXPECT_EQ(dialog.m_szOutputFile, before);
    BackToMainWindow(dialog); // the window manager's part when a dialog closes
    answered = false;
    AnswerOptionsWith(out, Qt::Key_Return, &answered);
    Key(Qt::Key_Return); // the focus came back to Options
    ASSERT_TRUE(answered);
    BackToMainWindow(dialog);
    EXPECT_EQ(dialog.m_szOutputFile, out.toStdString());

    // Convert the marked two seconds.
    env.boxes.Clear();
    const QString title = dialog.windowTitle();
    TabTo(&dialog, dialog.Control(Dlg::IDC_BUTTON_CONVERT));
    Key(Qt::Key_Return);
    ASSERT_EQ(dialog.m_bConverting, 1) << (env.boxes.Boxes().empty() ? "" : env.boxes.Texts()[0]);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.m_bConverting == 0; }, 60000));
    EXPECT_EQ(dialog.StatusText().left(5), "Done.") << dialog.StatusText().toStdString();
    const double length
        = std::atof(Shell("ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 '"
                          + out.toStdString() + "'")
                        .c_str());
    EXPECT_NEAR(length, 2.0, 0.1);

    // The whole rest of the half hour, stopped with Enter on the same button, now Stop, once
    // the title tells the time left.
    Key(Qt::Key_End);
    Key(Qt::Key_O);
    EXPECT_NEAR(static_cast<double>(dialog.m_llEndTime) / UNITS, 1818.2, 0.15);
    ASSERT_EQ(QApplication::focusWidget(), dialog.Control(Dlg::IDC_BUTTON_CONVERT));
    Key(Qt::Key_Return);
    ASSERT_EQ(dialog.m_bConverting, 1) << (env.boxes.Boxes().empty() ? "" : env.boxes.Texts()[0]);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.windowTitle().endsWith(" left"); }, 60000));
    ASSERT_EQ(dialog.m_bConverting, 1);
    EXPECT_EQ(QApplication::focusWidget(), dialog.Control(Dlg::IDC_BUTTON_CONVERT));
    Key(Qt::Key_Return);
    EXPECT_EQ(dialog.m_bConverting, 0);
    EXPECT_EQ(dialog.windowTitle(), title);
    EXPECT_TRUE(dialog.Control(Dlg::IDC_BUTTON_ADD_VIDEO)->isEnabled());
    // What was written up to the stop is kept, in place of the first output.
    EXPECT_EQ(dialog.StatusText().left(8), "Stopped:") << dialog.StatusText().toStdString();
    const double kept
        = std::atof(Shell("ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 '"
                          + out.toStdString() + "'")
                        .c_str());
    EXPECT_GT(kept, 2.5);
}
