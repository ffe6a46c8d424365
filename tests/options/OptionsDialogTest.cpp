#include "OptionsDialogSupport.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

using namespace outputoptions;
using namespace ui;

namespace {

QStringList Items(const QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

} // namespace

TEST(OptionsDialog, EveryControlHasItsNumberKindLabelAndPlace)
{
    OptionsEnvironment env;
    OpenDialog open(env.store);
    CDialogOutputSettings &d = open.dialog;
    EXPECT_EQ(d.windowTitle(), "Output options");
    EXPECT_EQ(d.size(), d.DialogUnitsToPixels(QRect(QPoint(0, 0), kTemplateSize)).size());

    const struct
    {
        int id;
        const char *kind;
        const char *text;
    } expected[] = {
        {1094, "QComboBox", nullptr},
        {1097, "QLabel", "Output Format:"},
        {1022, "QLineEdit", nullptr},
        {1023, "QLabel", "Output file:"},
        {1024, "QPushButton", "Browse"},
        {1025, "QComboBox", nullptr},
        {1026, "QLabel", "Resolution:"},
        {1027, "QLineEdit", nullptr},
        {1028, "QLineEdit", nullptr},
        {1068, "QComboBox", nullptr},
        {1078, "QLabel", "Frame rate:"},
        {1069, "QLineEdit", nullptr},
        {1070, "QComboBox", nullptr},
        {1079, "QLabel", "Resize mode:"},
        {1001, "QComboBox", nullptr},
        {1080, "QLabel", "Video compressor:"},
        {1002, "QComboBox", nullptr},
        {1081, "QLabel", "Audio compressor:"},
        {1053, "QPushButton", "Settings"},
        {1077, "QLabel",
         "Note: some video and audio compressors may not work properly. For more detail, please "
         "read help."},
        {1089, "QLineEdit", nullptr},
        {1087, "QLabel", "Video encoding bitrate:"},
        {1091, "QLabel", "Kbps"},
        {1090, "QComboBox", nullptr},
        {1088, "QLabel", "Audio encoding bitrate:"},
        {1092, "QLabel", "Kbps"},
        {1052, "QComboBox", nullptr},
        {1051, "QPushButton", "Default"},
        {1082, "QPushButton", "OK"},
        {1083, "QPushButton", "Cancel"},
    };
    for (const auto &entry : expected) {
        QWidget *widget = d.Control(entry.id);
        ASSERT_NE(widget, nullptr) << entry.id;
        EXPECT_EQ(widget->property("controlId").toInt(), entry.id);
        EXPECT_STREQ(widget->metaObject()->className(), entry.kind) << entry.id;
        EXPECT_EQ(widget->parentWidget(), &d) << entry.id;
        if (auto *label = qobject_cast<QLabel *>(widget); label && entry.text) {
            EXPECT_EQ(label->text(), entry.text);
        }
        if (auto *button = qobject_cast<QPushButton *>(widget); button && entry.text) {
            EXPECT_EQ(button->text(), entry.text);
        }
        EXPECT_EQ(widget->geometry(), d.DialogUnitsToPixels(TemplateRect(entry.id))) << entry.id;
        EXPECT_TRUE(d.rect().contains(widget->geometry())) << entry.id;
    }
    EXPECT_TRUE(static_cast<QPushButton *>(d.Control(1082))->isDefault());

    EXPECT_EQ(Items(Combo(d, 1094)), QStringList({"WMV", "ASF", "MP4", "MKV", "AVI", "Ogg"}));
    EXPECT_EQ(Items(Combo(d, 1025)),
              QStringList({"Original size", "640*480", "720 * 576", "720 * 480", "480*576",
                           "480*480", "352 * 288", "352 * 240", "Custom size"}));
    EXPECT_EQ(Items(Combo(d, 1068)), QStringList({"Original frame rate", "23.976", "24", "25",
                                                  "29.97", "30", "Custom frame rate"}));
    EXPECT_EQ(Items(Combo(d, 1070)), QStringList({"Preserve aspect ratio", "Stretch"}));
    EXPECT_EQ(Items(Combo(d, 1090)), QStringList({"64", "128", "192", "320"}));
    EXPECT_EQ(Combo(d, 1070)->currentIndex(), 0);
    EXPECT_EQ(Combo(d, 1090)->currentIndex(), 1);
    EXPECT_EQ(Text(d, 1089), "780");
    EXPECT_TRUE(d.Control(1052)->isHidden());
    EXPECT_TRUE(env.boxes.Boxes().empty());
}

TEST(OptionsDialog, ShownControlsNeverOverlapForEitherKindOfFormat)
{
    OptionsEnvironment env;
    for (auto prepare : {WithVideo800x600, WithStoredAvi}) {
        OpenDialog open(env.store, prepare);
        std::vector<QWidget *> shown;
        for (QWidget *child : open.dialog.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (!child->isHidden())
                shown.push_back(child);
        for (std::size_t i = 0; i < shown.size(); ++i)
            for (std::size_t j = i + 1; j < shown.size(); ++j)
                EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
                    << shown[i]->property("controlId").toInt() << " and "
                    << shown[j]->property("controlId").toInt();
    }
}

TEST(OptionsDialog, OpensOnTheEntryMatchingTheRecordsSize)
{
    OptionsEnvironment env;
    {
        OpenDialog open(env.store, WithVideo640x352);
        CDialogOutputSettings &d = open.dialog;
        EXPECT_EQ(Combo(d, 1025)->currentIndex(), 0);
        EXPECT_EQ(Combo(d, 1025)->currentText(), "Original size 640*352");
        EXPECT_TRUE(d.Control(1027)->isHidden());
        EXPECT_TRUE(d.Control(1028)->isHidden());
        EXPECT_EQ(Combo(d, 1068)->itemText(0), "Original frame rate 29.970");
    }
    {
        OpenDialog open(env.store, WithVideo800x600);
        CDialogOutputSettings &d = open.dialog;
        EXPECT_EQ(Combo(d, 1025)->currentIndex(), 8);
        EXPECT_EQ(Combo(d, 1025)->currentText(), "Custom size");
        EXPECT_FALSE(d.Control(1027)->isHidden());
        EXPECT_FALSE(d.Control(1028)->isHidden());
        EXPECT_EQ(Text(d, 1027), "800");
        EXPECT_EQ(Text(d, 1028), "600");
    }
    {
        OpenDialog open(env.store, [](CDialogOutputSettings &d) {
            d.m_nOutputWidth = 720;
            d.m_nOutputHeight = 576;
        });
        EXPECT_EQ(Combo(open.dialog, 1025)->currentIndex(), 2);
        // No video: no size after the entry's text and no rate after the first rate entry.
        EXPECT_EQ(Combo(open.dialog, 1025)->itemText(0), "Original size");
        EXPECT_EQ(Combo(open.dialog, 1068)->itemText(0), "Original frame rate");
    }
}

TEST(OptionsDialog, SizeChoicesFillTheEditsAndTypedSizesRoundDownToMultiplesOfEight)
{
    OptionsEnvironment env;
    OpenDialog open(env.store, WithVideo800x600);
    CDialogOutputSettings &d = open.dialog;

    Choose(d, 1025, 3);
    EXPECT_EQ(Text(d, 1027), "720");
    EXPECT_EQ(Text(d, 1028), "480");
    EXPECT_TRUE(d.Control(1027)->isHidden());
    Choose(d, 1025, 0);
    EXPECT_EQ(Text(d, 1027), "640");
    EXPECT_EQ(Text(d, 1028), "352");
    // The custom entry brings back the size the dialog opened with.
    Choose(d, 1025, 8);
    EXPECT_EQ(Text(d, 1027), "800");
    EXPECT_EQ(Text(d, 1028), "600");
    EXPECT_FALSE(d.Control(1027)->isHidden());

    const struct
    {
        const char *width;
        const char *height;
        int expectedWidth;
        int expectedHeight;
    } cases[] = {
        {"1000", "700", 1000, 696},
        {"10", "7", 16, 16},
        {"-64", "480", 16, 480},
        {"abc", "23x", 16, 16},
    };
    for (const auto &c : cases) {
        Type(d, 1027, c.width);
        Type(d, 1028, c.height);
        d.setResult(QDialog::Rejected);
        Click(d, 1082);
        EXPECT_EQ(d.result(), QDialog::Accepted) << c.width;
        EXPECT_EQ(d.m_nOutputWidth, c.expectedWidth) << c.width;
        EXPECT_EQ(d.m_nOutputHeight, c.expectedHeight) << c.height;
        EXPECT_EQ(env.store.ReadInt("Settings", "OutputWidth", 0), c.expectedWidth);
        EXPECT_EQ(env.store.ReadInt("Settings", "OutputHigh", 0), c.expectedHeight);
    }
}

TEST(OptionsDialog, AFrameRateBelowAThousandthIsRefusedAndNothingIsStored)
{
    OptionsEnvironment env;
    OpenDialog open(env.store);
    CDialogOutputSettings &d = open.dialog;
    Choose(d, 1068, 6);
    EXPECT_FALSE(d.Control(1069)->isHidden());
    EXPECT_EQ(Text(d, 1069), "23.976");
    Type(d, 1027, "1000");
    // Too small, and text that is no number (nothing is cut off silently: "12.5x" is refused).
    const std::vector<std::pair<const char *, const char *>> kRefused = {
        {"0", "The frame rate is too small!"},
        {"0.0009", "The frame rate is too small!"},
        {"-25", "The frame rate is too small!"},
        {"abc", "The frame rate must be a number, such as 25 or 12.5."},
        {"", "The frame rate must be a number, such as 25 or 12.5."},
        {"12.5x", "The frame rate must be a number, such as 25 or 12.5."},
    };
    for (const auto &[typed, message] : kRefused) {
        env.boxes.Clear();
        Type(d, 1069, typed);
        Click(d, 1082);
        EXPECT_TRUE(d.isVisible()) << typed;
        EXPECT_NE(d.result(), QDialog::Accepted) << typed;
        ASSERT_EQ(env.boxes.Boxes().size(), 1u) << typed;
        EXPECT_EQ(env.boxes.Boxes()[0].text, message) << typed;
        EXPECT_EQ(env.boxes.Boxes()[0].kind, platform::BoxKind::Application);
        EXPECT_EQ(env.boxes.Boxes()[0].caption, "clipwright");
    }
    EXPECT_TRUE(env.StoredKeys().isEmpty()) << env.StoredKeys().join(' ').toStdString();
    EXPECT_EQ(d.m_nOutputWidth, 0);

    Type(d, 1069, "12.5");
    Click(d, 1082);
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.m_nFrameRateIndex, 6);
    EXPECT_DOUBLE_EQ(d.m_dOutputFrameRate, 12.5);
    EXPECT_EQ(env.store.ReadString("Settings", "OutputFrameRate", ""), "12.5");
}

TEST(OptionsDialog, FrameRateChoicesPutTheirRateInTheBoxAndStoreItsText)
{
    OptionsEnvironment env;
    OpenDialog open(env.store, WithVideo640x352);
    CDialogOutputSettings &d = open.dialog;
    EXPECT_EQ(Text(d, 1069), "23.976");
    EXPECT_TRUE(d.Control(1069)->isHidden());

    Choose(d, 1068, 0);
    EXPECT_EQ(Text(d, 1069), "29.970000");
    Choose(d, 1068, 4);
    EXPECT_EQ(Text(d, 1069), "29.970000");
    Choose(d, 1068, 3);
    EXPECT_EQ(Text(d, 1069), "25.000000");
    EXPECT_TRUE(d.Control(1069)->isHidden());
    Click(d, 1082);
    EXPECT_EQ(env.store.ReadInt("Settings", "OutputFrameRateIndex", -1), 3);
    EXPECT_EQ(env.store.ReadString("Settings", "OutputFrameRate", ""), "25.000000");
    EXPECT_EQ(d.m_nFrameRateIndex, 3);
    EXPECT_DOUBLE_EQ(d.m_dOutputFrameRate, 25.0);

    // The video's own rate is not stored as text: the next start reads the choice alone.
    OpenDialog again(env.store, WithVideo640x352);
    Choose(again.dialog, 1068, 0);
    Click(again.dialog, 1082);
    EXPECT_EQ(env.store.ReadInt("Settings", "OutputFrameRateIndex", -1), 0);
    EXPECT_EQ(env.store.ReadString("Settings", "OutputFrameRate", ""), "23.976");
    EXPECT_DOUBLE_EQ(again.dialog.m_dOutputFrameRate, 29.97);
}

TEST(OptionsDialog, TheFormatListChangesTheExtensionAtOnceAndTheTypedPathIsKept)
{
    OptionsEnvironment env;
    OpenDialog open(env.store);
    CDialogOutputSettings &d = open.dialog;
    EXPECT_EQ(Text(d, 1022), "/home/user/Videos/output.wmv");
    for (int id : kBitrateIds)
        EXPECT_FALSE(d.Control(id)->isHidden()) << id;
    for (int id : kCompressorIds)
        EXPECT_TRUE(d.Control(id)->isHidden()) << id;

    Choose(d, 1094, 1);
    EXPECT_EQ(Text(d, 1022), "/home/user/Videos/output.asf");
    Choose(d, 1094, 0);
    EXPECT_EQ(Text(d, 1022), "/home/user/Videos/output.wmv");
    Choose(d, 1094, 1);

    // A typed name is kept; an extension of another container follows the chosen format, so
    // no ASF file is named .mkv. One no container has is the user's to choose.
    Type(d, 1022, "/data/film.v1/clip.mkv");
    Click(d, 1082);
    EXPECT_EQ(d.m_szOutputFile, "/data/film.v1/clip.asf");
    EXPECT_EQ(env.store.ReadString("Settings", "OutputName", ""), "/data/film.v1/clip.asf");
    EXPECT_EQ(d.m_nOutputFormat, OutputFormatAsf);
    EXPECT_EQ(env.store.ReadInt("Settings", "nOuptputFormat", -1), 3);

    OpenDialog again(env.store);
    Type(again.dialog, 1022, "/data/clip.video");
    Click(again.dialog, 1082);
    EXPECT_EQ(again.dialog.m_szOutputFile, "/data/clip.video");
}

TEST(OptionsDialog, AStoredAviFormatShowsTheCompressorControls)
{
    OptionsEnvironment env;
    OpenDialog open(env.store, WithStoredAvi);
    CDialogOutputSettings &d = open.dialog;
    EXPECT_EQ(Text(d, 1022), "/home/user/Videos/output.avi");
    EXPECT_EQ(Combo(d, 1094)->currentText(), "AVI");
    for (int id : kCompressorIds)
        EXPECT_FALSE(d.Control(id)->isHidden()) << id;
    for (int id : kBitrateIds)
        EXPECT_TRUE(d.Control(id)->isHidden()) << id;

    // Each entry writes its own code; Windows Media hides the compressor lists again.
    Choose(d, 1094, 0);
    EXPECT_EQ(Text(d, 1022), "/home/user/Videos/output.wmv");
    for (int id : kBitrateIds)
        EXPECT_FALSE(d.Control(id)->isHidden()) << id;
}

TEST(OptionsDialog, AnUnknownFormatCodeIsReportedAndChangesNothing)
{
    OptionsEnvironment env;
    OpenDialog open(env.store, [](CDialogOutputSettings &d) { d.m_nOutputFormat = 9; });
    CDialogOutputSettings &d = open.dialog;
    EXPECT_EQ(env.boxes.Texts(),
              (std::vector<std::string>{"Does not support the video format", "unknown error"}));
    EXPECT_EQ(env.boxes.Boxes()[1].caption, "error");
    EXPECT_EQ(Text(d, 1022), "/home/user/Videos/output.wmv");

    env.boxes.Clear();
    Click(d, 1024);
    EXPECT_EQ(env.boxes.Texts(), std::vector<std::string>{"Does not support the video format"});
    ASSERT_EQ(env.choosers.SaveRequests().size(), 1u);
    EXPECT_TRUE(env.choosers.SaveRequests()[0].filters.empty());
}

TEST(OptionsDialog, BrowseAsksForAFileOfTheFormatInTheOutputFolder)
{
    OptionsEnvironment env;
    OpenDialog open(env.store);
    CDialogOutputSettings &d = open.dialog;

    env.choosers.QueueAnswer(std::string("/tmp/new/take.mp4"));
    Click(d, 1024);
    ASSERT_EQ(env.choosers.SaveRequests().size(), 1u);
    const platform::SaveFileRequest &request = env.choosers.SaveRequests()[0];
    EXPECT_EQ(request.title, "Select Output File Name");
    EXPECT_EQ(request.initialPath, "/home/user/Videos");
    EXPECT_EQ(request.selectedFilter, 0);
    ASSERT_EQ(request.filters.size(), 1u);
    EXPECT_EQ(request.filters[0].description, "Windows Media Video file (*.wmv)");
    EXPECT_EQ(request.filters[0].patterns, "*.wmv");
    EXPECT_EQ(Text(d, 1022), "/tmp/new/take.wmv");

    // Cancelled: the path stays. The start folder is the one the dialog opened with.
    Choose(d, 1094, 1);
    Click(d, 1024);
    EXPECT_EQ(Text(d, 1022), "/tmp/new/take.asf");
    ASSERT_EQ(env.choosers.SaveRequests().size(), 2u);
    EXPECT_EQ(env.choosers.SaveRequests()[1].initialPath, "/home/user/Videos");
    EXPECT_EQ(env.choosers.SaveRequests()[1].filters[0].description,
              "Advanced Systems Format file(*.asf)");
    EXPECT_TRUE(env.boxes.Boxes().empty());

    OpenDialog plain(env.store, [](CDialogOutputSettings &d) { d.m_szOutputFile = "output.avi"; });
    Click(plain.dialog, 1024);
    EXPECT_EQ(env.choosers.SaveRequests().back().initialPath, ".");
}

TEST(OptionsDialog, TheCurrentLanguageNamesTheDialogAndItsEntries)
{
    OptionsEnvironment env(CW_SOURCE_DIR, "german");
    ASSERT_EQ(CLanguage::Instance().GetCurrentLanguage(), "german");
    OpenDialog open(env.store, WithVideo640x352);
    CDialogOutputSettings &d = open.dialog;
    EXPECT_EQ(d.windowTitle(), "Ausgabeoptionen");
    EXPECT_EQ(qobject_cast<QLabel *>(d.Control(1023))->text(), "Ausgabedatei:");
    EXPECT_EQ(qobject_cast<QLabel *>(d.Control(1087))->text(), "Video-Bitrate:");
    EXPECT_EQ(qobject_cast<QPushButton *>(d.Control(1083))->text(), "Abbrechen");
    EXPECT_EQ(qobject_cast<QLabel *>(d.Control(1091))->text(), "kbit/s");
    EXPECT_EQ(Combo(d, 1025)->itemText(0), QString::fromUtf8("Originalgröße 640*352"));
    EXPECT_EQ(Combo(d, 1025)->itemText(8), QString::fromUtf8("Benutzerdefinierte Größe"));
    EXPECT_EQ(Combo(d, 1068)->itemText(6), "Benutzerdefinierte Bildrate");
    EXPECT_EQ(Combo(d, 1070)->itemText(1), "Strecken");
    // Screen readers hear the same words: a list or edit is named by its row's label.
    for (const auto &[id, control] : d.Controls()) {
        EXPECT_FALSE(control->accessibleName().isEmpty()) << id;
        EXPECT_FALSE(control->accessibleDescription().isEmpty()) << id;
    }
    EXPECT_EQ(d.Control(1022)->accessibleName(), "Ausgabedatei:");
    EXPECT_EQ(d.Control(1089)->accessibleName(), "Video-Bitrate:");
    EXPECT_EQ(d.Control(1083)->accessibleName(), "Abbrechen");
    // The texts of the format and bitrate lists are not translated.
    EXPECT_EQ(Combo(d, 1094)->itemText(1), "ASF");
    EXPECT_EQ(Combo(d, 1090)->itemText(3), "320");

    env.choosers.QueueAnswer(std::nullopt);
    Click(d, 1024);
    EXPECT_EQ(env.choosers.SaveRequests()[0].title, "Name der Ausgabedatei wählen");
}
