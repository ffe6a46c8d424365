#include "AppTestSupport.h"

#include "app/VinteloDlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>

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
