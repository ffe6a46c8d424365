#include "AppTestSupport.h"

#include "app/VinteloDlg.h"
#include "options/DialogOutputSettings.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

using Dlg = CVinteloDlg;

void TypeSize(CDialogOutputSettings &dialog, const char *width, const char *height)
{
    auto *resolution = qobject_cast<QComboBox *>(dialog.Control(1025));
    resolution->setFocus();
    QTest::keyClick(resolution, Qt::Key_End);
    qobject_cast<QLineEdit *>(dialog.Control(1027))->setText(width);
    qobject_cast<QLineEdit *>(dialog.Control(1028))->setText(height);
}

void Press(CDialogOutputSettings &dialog, int id)
{
    qobject_cast<QAbstractButton *>(dialog.Control(id))->click();
}

} // namespace

TEST(OptionsDialog, ConfirmedWithNoVideoTheStatusLineSaysOriginalSize)
{
    AppTestEnvironment env;
    Dlg window(env.store);
    RunOptions(window, [](CDialogOutputSettings &dialog) {
        TypeSize(dialog, "1000", "700");
        Press(dialog, 1082);
    });
    EXPECT_EQ(window.Job().m_nOutputWidth, 1000);
    EXPECT_EQ(window.Job().m_nOutputHeight, 696);
    EXPECT_TRUE(window.StatusText().endsWith("Resolution: Original size"))
        << window.StatusText().toStdString();
    EXPECT_EQ(env.store.ReadInt("Settings", "OutputWidth", 0), 1000);
}

TEST(OptionsDialog, ConfirmedAfterOpeningAVideoTheStatusLineShowsTheSize)
{
    AppTestEnvironment env;
    Dlg window(env.store);
    env.choosers.QueueAnswer(Fixture("h264_aac.mp4"));
    qobject_cast<QAbstractButton *>(window.Control(Dlg::IDC_BUTTON_ADD_VIDEO))->click();
    ASSERT_EQ(window.Job().m_nPhotoCount, 1);

    RunOptions(window, [](CDialogOutputSettings &dialog) {
        // The dialog opens on the video's own size and rate.
        auto *resolution = qobject_cast<QComboBox *>(dialog.Control(1025));
        EXPECT_EQ(resolution->currentText(), "Original size 320*240");
        EXPECT_EQ(qobject_cast<QComboBox *>(dialog.Control(1068))->itemText(0),
                  "Original frame rate 25.000");
        TypeSize(dialog, "640", "480");
        // A typed name of another container takes the chosen format's extension (WMV here).
        qobject_cast<QLineEdit *>(dialog.Control(1022))->setText("/tmp/out/clip.asf");
        Press(dialog, 1082);
    });
    EXPECT_EQ(window.StatusText().toStdString(),
              "Output file: /tmp/out/clip.wmv     Resolution: 640*480");
    // The facts of the video are not handed back.
    EXPECT_EQ(window.Job().m_nSourceWidth, 320);
    EXPECT_EQ(window.Job().m_nSourceHeight, 240);
    EXPECT_EQ(window.Job().m_nPhotoCount, 1);

    // Cancelled: the status line and the record stay.
    RunOptions(window, [](CDialogOutputSettings &dialog) {
        TypeSize(dialog, "800", "600");
        Press(dialog, 1083);
    });
    EXPECT_EQ(window.StatusText().toStdString(),
              "Output file: /tmp/out/clip.wmv     Resolution: 640*480");
    EXPECT_EQ(window.Job().m_nOutputWidth, 640);
}
