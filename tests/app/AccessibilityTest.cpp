#include "AppTestSupport.h"

#include "app/VinteloDlg.h"
#include "controls/ButtonST.h"
#include "localisation/BuiltinTexts.h"
#include "localisation/Language.h"
#include "options/DialogOutputSettings.h"
#include "options/OutputOptionsTemplate.h"
#include "preview/TrimControls.h"
#include "preview/VcdCore.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

using Dlg = CVinteloDlg;
using namespace outputoptions;

// Every numbered control, in the template's order.
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

namespace {

QAccessibleInterface *Accessible(QWidget *widget)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
    EXPECT_NE(iface, nullptr) << widget->metaObject()->className();
    return iface;
}

QString Name(QWidget *widget)
{
    return Accessible(widget)->text(QAccessible::Name);
}

QString Value(QWidget *widget)
{
    return Accessible(widget)->text(QAccessible::Value);
}

// What the text interface gives, the way a screen reader asks for the whole line.
QString Read(QWidget *widget)
{
    QAccessibleTextInterface *text = Accessible(widget)->textInterface();
    return text ? text->text(0, text->characterCount()) : QStringLiteral("<no text interface>");
}

QString Catalogue(int number)
{
    return QString::fromStdString(CLanguage::Instance().GetString(number));
}

// The labels that name widget for assistive technology (its labelled-by relations).
QStringList LabelledBy(QWidget *widget)
{
    QStringList labels;
    for (const auto &[label, relation] : Accessible(widget)->relations(QAccessible::Label))
        labels << label->text(QAccessible::Name);
    return labels;
}

} // namespace

// As a screen reader sees the main window, in English and in German: every control has a name
// without mnemonics and a role; the displays keep a fixed name and carry the time or status
// as their value and text, following the video; the slider speaks time; the preview is a
// named window.
TEST(AccessibleTree, MainWindowNamesRolesAndValuesFollowTheVideo)
{
    for (const char *lang : {"English", "German"}) {
        SCOPED_TRACE(lang);
        AppTestEnvironment env;
        ASSERT_TRUE(CLanguage::Instance().Initialize(CW_SOURCE_DIR, lang));
        Dlg dialog(env.store);
        dialog.show();
        BackToMainWindow(dialog);
        env.choosers.QueueAnswer(Fixture("long_30min.mp4"));
        qobject_cast<QAbstractButton *>(dialog.Control(Dlg::IDC_BUTTON_ADD_VIDEO))->click();
        ASSERT_EQ(dialog.Job().m_nPhotoCount, 1);
        CVcdCore *player = CTrimControls::Player();
        ASSERT_NE(player, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return player->m_llStopPosition > 0; }, 20000));

        for (int id : kTemplateOrder) {
            QWidget *control = dialog.Control(id);
            QAccessibleInterface *iface = Accessible(control);
            ASSERT_NE(iface, nullptr);
            EXPECT_FALSE(iface->text(QAccessible::Name).isEmpty()) << id;
            EXPECT_FALSE(iface->text(QAccessible::Name).contains('&')) << id;
            EXPECT_FALSE(iface->text(QAccessible::Description).isEmpty()) << id;
            const QAccessible::Role role
                = qobject_cast<QAbstractButton *>(control) ? QAccessible::Button
                  : qobject_cast<QLabel *>(control)        ? QAccessible::StaticText
                                                           : QAccessible::Slider;
            EXPECT_EQ(iface->role(), role) << id;
        }
        const QString help = qobject_cast<QAbstractButton *>(dialog.Control(Dlg::IDC_BUTTON_HELP))
                                 ->text()
                                 .remove('&');
        EXPECT_EQ(Name(dialog.Control(Dlg::IDC_BUTTON_HELP)), help);

        // Fixed names, the shown texts as values and through the text interface.
        QWidget *status = dialog.Control(Dlg::IDC_STATIC_STATUS);
        QWidget *position = dialog.Control(Dlg::IDC_STATIC_POSITION);
        QWidget *start = dialog.Control(Dlg::IDC_STATIC_START_TIME);
        QWidget *end = dialog.Control(Dlg::IDC_STATIC_END_TIME);
        auto *endLabel = qobject_cast<QLabel *>(end);
        EXPECT_EQ(Name(status), Catalogue(IDS_NAME_STATUS));
        EXPECT_EQ(Name(position), Catalogue(IDS_NAME_POSITION));
        const QString startName = Name(start), endName = Name(end);
        EXPECT_NE(startName, endName);
        EXPECT_TRUE(Value(status).contains(".wmv")) << Value(status).toStdString();
        EXPECT_EQ(Read(status), Value(status));
        EXPECT_EQ(Value(start), "00:00:00");
        EXPECT_EQ(Value(end), endLabel->text());
        EXPECT_NE(Value(end), "00:00:00");
        EXPECT_EQ(Read(end), Value(end));
        EXPECT_TRUE(Value(position).endsWith(" / " + Value(end))) << Value(position).toStdString();

        // The slider at either end speaks the video's start and its length.
        auto *slider = qobject_cast<QAbstractSlider *>(dialog.Control(Dlg::IDC_SLIDER_POSITION));
        EXPECT_EQ(Name(slider), Catalogue(IDS_NAME_POSITION));
        slider->setValue(slider->maximum());
        EXPECT_EQ(Value(slider), Value(end));
        slider->setValue(slider->minimum());
        EXPECT_EQ(Value(slider), "00:00:00");
        ASSERT_NE(Accessible(slider)->valueInterface(), nullptr);
        EXPECT_EQ(Accessible(slider)->valueInterface()->maximumValue().toInt(), slider->maximum());

        // Marks moved with the keys: the values follow, the names stay.
        Key(Qt::Key_Home);
        Key(Qt::Key_Right, Qt::ShiftModifier);
        Key(Qt::Key_Right, Qt::ShiftModifier);
        Key(Qt::Key_I);
        Key(Qt::Key_Right, Qt::ShiftModifier);
        Key(Qt::Key_O);
        EXPECT_EQ(Value(start), "00:00:02");
        EXPECT_EQ(Value(end), "00:00:03");
        EXPECT_EQ(Read(start), "00:00:02");
        EXPECT_EQ(Name(start), startName);
        EXPECT_EQ(Name(end), endName);
        EXPECT_TRUE(QTest::qWaitFor([&] { return Value(position).startsWith("00:00:03 / "); }))
            << Value(position).toStdString();

        // The preview is a window, named by its title.
        QAccessibleInterface *preview = Accessible(player->Window());
        ASSERT_NE(preview, nullptr);
        EXPECT_EQ(preview->role(), QAccessible::Window);
        EXPECT_FALSE(preview->text(QAccessible::Name).isEmpty());
        EXPECT_EQ(preview->text(QAccessible::Name), player->Window()->windowTitle());
        dialog.close();
    }
}

// The Options dialog in every format and both languages: each visible list and edit is
// labelled by its row's label (a list's own name is its current item on this desktop), and
// width and height are told apart.
TEST(AccessibleTree, OptionsListsAndEditsAreLabelled)
{
    for (const char *lang : {"English", "German"}) {
        SCOPED_TRACE(lang);
        AppTestEnvironment env;
        ASSERT_TRUE(CLanguage::Instance().Initialize(CW_SOURCE_DIR, lang));
        CDialogOutputSettings options(env.store);
        options.m_szOutputFile = env.dir.path().toStdString() + "/output.wmv";
        options.OnInitDialog();
        options.show();
        auto *format = qobject_cast<QComboBox *>(options.Control(IDC_COMBO_OUTPUT_FORMAT));
        ASSERT_NE(format, nullptr);
        ASSERT_EQ(format->count(), 6);
        QWidget *width = options.Control(IDC_EDIT_WIDTH);
        QWidget *height = options.Control(IDC_EDIT_HEIGHT);
        QStringList labelTexts;
        for (QLabel *label : options.findChildren<QLabel *>())
            labelTexts << label->text();
        for (int i = 0; i < format->count(); ++i) {
            format->setCurrentIndex(i);
            const std::string where = format->currentText().toStdString();
            int lists = 0;
            for (QWidget *input : options.findChildren<QWidget *>()) {
                const bool list = qobject_cast<QComboBox *>(input) != nullptr;
                if (!input->isVisible() || !(list || qobject_cast<QLineEdit *>(input))
                    || input->parent() != &options || input == width || input == height)
                    continue;
                const int id = input->property("controlId").toInt();
                const QStringList labels = LabelledBy(input);
                if (list) {
                    ++lists;
                    ASSERT_EQ(labels.size(), 1) << where << " " << id;
                    EXPECT_TRUE(labels.front().endsWith(':')) << where << " " << id;
                    EXPECT_TRUE(labelTexts.contains(labels.front())) << where << " " << id;
                } else {
                    // An edit beside a list shares the list's label as its name.
                    const QString name = labels.isEmpty() ? Name(input) : labels.front();
                    EXPECT_TRUE(labelTexts.contains(name)) << where << " " << id;
                }
            }
            EXPECT_GE(lists, 5) << where;
        }
        EXPECT_FALSE(Name(width).isEmpty());
        EXPECT_FALSE(Name(height).isEmpty());
        EXPECT_NE(Name(width), Name(height));
        EXPECT_EQ(Name(width), Catalogue(IDS_NAME_WIDTH));
        EXPECT_EQ(
            LabelledBy(options.Control(IDC_COMBO_OUTPUT_FORMAT)),
            QStringList{qobject_cast<QLabel *>(options.Control(IDC_STATIC_OUTPUT_FORMAT))->text()});
    }
}

namespace {

bool TakesTab(const QWidget *control)
{
    return control->isVisible() && control->isEnabled() && (control->focusPolicy() & Qt::TabFocus);
}

// The controls Tab reaches, from the one that has the focus, until the focus comes back to it.
std::vector<QWidget *> TabRound()
{
    std::vector<QWidget *> visited{QApplication::focusWidget()};
    for (int i = 0; i < 40; ++i) {
        Key(Qt::Key_Tab);
        if (QApplication::focusWidget() == visited.front())
            break;
        visited.push_back(QApplication::focusWidget());
    }
    return visited;
}

// How many pixels differ between two pictures of one control.
int DifferentPixels(const QImage &a, const QImage &b)
{
    int different = 0;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y)
        for (int x = 0; x < std::min(a.width(), b.width()); ++x)
            different += a.pixel(x, y) != b.pixel(x, y);
    return different;
}

QImage Picture(QWidget *control)
{
    return control->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

// Tab walks the controls as they appear on screen (rows from the top, each from the left), every
// control shows where the focus is, and the focus shows from the first moment.
TEST(KeyboardFocus, TabFollowsTheScreenAndTheFocusShowsOnEveryControl)
{
    AppTestEnvironment env;
    Dlg dialog(env.store);
    dialog.show();
    BackToMainWindow(dialog);
    // Before any key, the focus is on Open Video, the top left control, and it shows.
    EXPECT_EQ(QApplication::focusWidget(), dialog.Control(Dlg::IDC_BUTTON_ADD_VIDEO));
    EXPECT_TRUE(dialog.FocusShown());

    env.choosers.QueueAnswer(Fixture("h264_aac.mp4"));
    Key(Qt::Key_Return);
    ASSERT_EQ(dialog.Job().m_nPhotoCount, 1);
    BackToMainWindow(dialog);

    const std::vector<QWidget *> visited = TabRound();
    int reachable = 0;
    for (int id : kTemplateOrder)
        reachable += TakesTab(dialog.Control(id));
    EXPECT_EQ(static_cast<int>(visited.size()), reachable);
    EXPECT_GE(visited.size(), 13u);
    // Screen order measured on the widgets themselves: a row's controls share their top.
    for (std::size_t i = 1; i < visited.size(); ++i) {
        const QRect before = visited[i - 1]->geometry(), after = visited[i]->geometry();
        EXPECT_LT(std::pair(before.top(), before.left()), std::pair(after.top(), after.left()))
            << visited[i - 1]->property("controlId").toInt() << " before "
            << visited[i]->property("controlId").toInt();
    }
    EXPECT_EQ(visited.front(), dialog.Control(Dlg::IDC_BUTTON_ADD_VIDEO));
    EXPECT_EQ(visited.back(), dialog.Control(Dlg::IDC_BUTTON_EXIT));

    // Each control looks different with the focus, and on an icon button the difference is
    // the frame in the highlight colour.
    const QRgb highlight = dialog.palette().color(QPalette::Highlight).rgb();
    for (QWidget *control : visited) {
        control->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(control->hasFocus());
        const QImage focused = Picture(control);
        dialog
            .Control(control == visited.front() ? Dlg::IDC_BUTTON_EXIT : Dlg::IDC_BUTTON_ADD_VIDEO)
            ->setFocus(Qt::TabFocusReason);
        const QImage unfocused = Picture(control);
        const int id = control->property("controlId").toInt();
        // At least a quarter of the control's outline changes.
        EXPECT_GT(DifferentPixels(focused, unfocused), (control->width() + control->height()) / 2)
            << id;
        if (auto *button = qobject_cast<CButtonST *>(control)) {
            const QRect frame = button->FocusFrameRect();
            const QPoint edges[] = {{frame.center().x(), frame.top()},
                                    {frame.left(), frame.center().y()},
                                    {frame.center().x(), frame.bottom()},
                                    {frame.right(), frame.center().y()}};
            const qreal ratio = focused.devicePixelRatio();
            for (const QPoint &edge : edges) {
                EXPECT_EQ(focused.pixel(edge * ratio), highlight) << id;
                EXPECT_NE(unfocused.pixel(edge * ratio), highlight) << id;
            }
        }
    }
}

// Enter presses only a button whose focus shows, so only Enter on a visibly focused Exit ends
// the program; F1 opens the help from the main window and from the preview.
TEST(KeyboardFocus, EnterActsOnlyOnTheVisibleFocusAndF1OpensHelp)
{
    AppTestEnvironment env;
    AutoCloseModal closer; // Options and About
    Dlg dialog(env.store);
    dialog.show();
    BackToMainWindow(dialog);

    // Every control but Exit: the window stays (Open Video's chooser is cancelled).
    const std::vector<QWidget *> visited = TabRound();
    ASSERT_EQ(visited.back(), dialog.Control(Dlg::IDC_BUTTON_EXIT));
    for (QWidget *control : visited) {
        if (control == visited.back())
            continue;
        BackToMainWindow(dialog);
        control->setFocus(Qt::TabFocusReason);
        Key(Qt::Key_Return);
        EXPECT_TRUE(dialog.isVisible()) << control->property("controlId").toInt();
    }
    EXPECT_EQ(closer.Closed(), (std::vector<std::string>{"CDialogOutputSettings", "CAboutDlg"}));
    EXPECT_EQ(env.shell.Opened().size(), 2u); // Help and Homepage

    // Exit focused by a click shows no focus: Enter leaves it alone, and no default button
    // answers for it.
    BackToMainWindow(dialog);
    QWidget *exit = dialog.Control(Dlg::IDC_BUTTON_EXIT);
    exit->setFocus(Qt::MouseFocusReason);
    dialog.setAttribute(Qt::WA_KeyboardFocusChange, false); // as the style hides it after a click
    ASSERT_TRUE(exit->hasFocus());
    EXPECT_FALSE(static_cast<CButtonST *>(exit)->FocusShown());
    Key(Qt::Key_Return);
    Key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(dialog.isVisible());

    // F1 from the main window, and from the preview window while it is the active one.
    const std::size_t opened = env.shell.Opened().size();
    QTest::keyClick(&dialog, Qt::Key_F1);
    dialog.OpenVideoFile(Fixture("h264_aac.mp4"));
    CVcdCore *player = CTrimControls::Player();
    ASSERT_NE(player, nullptr);
    QWidget *preview = player->Window();
    ASSERT_NE(preview, nullptr);
    preview->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == preview; }));
    Key(Qt::Key_F1);
    EXPECT_EQ(env.shell.Opened().size(), opened + 2);

    // Tab shows the focus again; Enter on Exit ends the program.
    BackToMainWindow(dialog);
    exit->setFocus(Qt::TabFocusReason);
    Key(Qt::Key_Tab, Qt::ShiftModifier);
    Key(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), exit);
    EXPECT_TRUE(static_cast<CButtonST *>(exit)->FocusShown());
    Key(Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
}

// Open, play, mark, options, convert and stop with keys alone: Tab walks to a button and Enter
// presses it (Space stays play and pause, also on a focused button).
TEST(KeyboardFocus, WholeFlowFromTheKeyboardAlone)
{
    AppTestEnvironment env;
    Dlg dialog(env.store);
    dialog.show();
    BackToMainWindow(dialog);

    // Open Video: the chooser is answered as a user would answer it.
    env.choosers.QueueAnswer(Fixture("long_30min.mp4"));
    TabTo(&dialog, dialog.Control(Dlg::IDC_BUTTON_ADD_VIDEO));
    Key(Qt::Key_Return);
    ASSERT_EQ(dialog.Job().m_nPhotoCount, 1);
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
    EXPECT_EQ(dialog.Job().m_llStartTime, UNITS);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_O);
    EXPECT_EQ(dialog.Job().m_llEndTime, 3 * UNITS);
    EXPECT_EQ(qobject_cast<QLabel *>(dialog.Control(Dlg::IDC_STATIC_START_TIME))->text(),
              "00:00:01");

    // Options: Escape leaves everything as it was, Enter takes the typed output file.
    const std::string before = dialog.Job().m_szOutputFile;
    const QString out = env.dir.path() + "/keys.wmv";
    bool answered = false;
    AnswerOptionsWith(env.dir.path() + "/ignored.wmv", Qt::Key_Escape, &answered);
    TabTo(&dialog, dialog.Control(Dlg::IDC_BUTTON_OUTPUT_SETTINGS));
    Key(Qt::Key_Return);
    ASSERT_TRUE(answered);
    EXPECT_EQ(dialog.Job().m_szOutputFile, before);
    BackToMainWindow(dialog); // the window manager's part when a dialog closes
    answered = false;
    AnswerOptionsWith(out, Qt::Key_Return, &answered);
    Key(Qt::Key_Return); // the focus came back to Options
    ASSERT_TRUE(answered);
    BackToMainWindow(dialog);
    EXPECT_EQ(dialog.Job().m_szOutputFile, out.toStdString());

    // Convert the marked two seconds.
    env.boxes.Clear();
    const QString title = dialog.windowTitle();
    TabTo(&dialog, dialog.Control(Dlg::IDC_BUTTON_CONVERT));
    Key(Qt::Key_Return);
    ASSERT_EQ(dialog.Job().m_bConverting, 1)
        << (env.boxes.Boxes().empty() ? "" : env.boxes.Texts()[0]);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Job().m_bConverting == 0; }, 60000));
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
    EXPECT_NEAR(static_cast<double>(dialog.Job().m_llEndTime) / UNITS, 1818.2, 0.15);
    ASSERT_EQ(QApplication::focusWidget(), dialog.Control(Dlg::IDC_BUTTON_CONVERT));
    Key(Qt::Key_Return);
    ASSERT_EQ(dialog.Job().m_bConverting, 1)
        << (env.boxes.Boxes().empty() ? "" : env.boxes.Texts()[0]);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.windowTitle().endsWith(" left"); }, 60000));
    ASSERT_EQ(dialog.Job().m_bConverting, 1);
    EXPECT_EQ(QApplication::focusWidget(), dialog.Control(Dlg::IDC_BUTTON_CONVERT));
    Key(Qt::Key_Return);
    EXPECT_EQ(dialog.Job().m_bConverting, 0);
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
