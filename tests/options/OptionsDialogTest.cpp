#include "OptionsDialogSupport.h"

#include "convert/media/TestEncoders.h"
#include "options/Compressors.h"
#include "options/OutputOptionsCommand.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

using namespace outputoptions;
using namespace ui;

namespace {

// A dialog opened on the start-up record (no video open) with the given changes applied.
struct OpenDialog
{
    CDialogOutputSettings dialog;

    explicit OpenDialog(void (*prepare)(CDialogOutputSettings &) = nullptr)
    {
        dialog.m_szOutputFile = "/home/user/Videos/output.wmv";
        dialog.m_nFrameRateIndex = FrameRate23976;
        dialog.m_dOutputFrameRate = 23.976;
        dialog.m_nVideoBitrate = 798720;
        dialog.m_nAudioBitrate = 128000;
        dialog.m_nOutputFormat = OutputFormatWmv;
        dialog.m_bUseVideoCompressor = 0;
        dialog.m_bUseAudioCompressor = 0;
        if (prepare)
            prepare(dialog);
        dialog.OnInitDialog();
        dialog.show();
    }
};

void WithVideo640x352(CDialogOutputSettings &d)
{
    d.m_nSourceWidth = d.m_nOutputWidth = 640;
    d.m_nSourceHeight = d.m_nOutputHeight = 352;
    d.m_dSourceFrameRate = 29.97;
    d.m_nPhotoCount = 1;
}

void WithVideo800x600(CDialogOutputSettings &d)
{
    d.m_nSourceWidth = 640;
    d.m_nSourceHeight = 352;
    d.m_nOutputWidth = 800;
    d.m_nOutputHeight = 600;
    d.m_nPhotoCount = 1;
}

void WithStoredAvi(CDialogOutputSettings &d)
{
    d.m_nOutputFormat = OutputFormatAvi;
    d.m_szOutputFile = "/home/user/Videos/output.avi";
}

const int kCompressorIds[] = {1001, 1002, 1053, 1080, 1081, 1077};
const int kBitrateIds[] = {1089, 1090, 1087, 1088, 1091, 1092};

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
    OpenDialog open;
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
        if (auto *label = qobject_cast<QLabel *>(widget); label && entry.text)
            EXPECT_EQ(label->text(), entry.text);
        if (auto *button = qobject_cast<QPushButton *>(widget); button && entry.text)
            EXPECT_EQ(button->text(), entry.text);
        EXPECT_EQ(widget->geometry(), d.DialogUnitsToPixels(TemplateRect(entry.id))) << entry.id;
        EXPECT_TRUE(d.rect().contains(widget->geometry())) << entry.id;
    }
    EXPECT_TRUE(static_cast<QPushButton *>(d.Control(1082))->isDefault());

    EXPECT_EQ(Items(Combo(d, 1094)), QStringList({"WMV", "ASF"}));
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
        OpenDialog open(prepare);
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
        OpenDialog open(WithVideo640x352);
        CDialogOutputSettings &d = open.dialog;
        EXPECT_EQ(Combo(d, 1025)->currentIndex(), 0);
        EXPECT_EQ(Combo(d, 1025)->currentText(), "Original size 640*352");
        EXPECT_TRUE(d.Control(1027)->isHidden());
        EXPECT_TRUE(d.Control(1028)->isHidden());
        EXPECT_EQ(Combo(d, 1068)->itemText(0), "Original frame rate 29.970");
    }
    {
        OpenDialog open(WithVideo800x600);
        CDialogOutputSettings &d = open.dialog;
        EXPECT_EQ(Combo(d, 1025)->currentIndex(), 8);
        EXPECT_EQ(Combo(d, 1025)->currentText(), "Custom size");
        EXPECT_FALSE(d.Control(1027)->isHidden());
        EXPECT_FALSE(d.Control(1028)->isHidden());
        EXPECT_EQ(Text(d, 1027), "800");
        EXPECT_EQ(Text(d, 1028), "600");
    }
    {
        OpenDialog open([](CDialogOutputSettings &d) {
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
    OpenDialog open(WithVideo800x600);
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
    OpenDialog open;
    CDialogOutputSettings &d = open.dialog;
    Choose(d, 1068, 6);
    EXPECT_FALSE(d.Control(1069)->isHidden());
    EXPECT_EQ(Text(d, 1069), "23.976");
    Type(d, 1027, "1000");
    for (const char *typed : {"0", "abc", "0.0009", "-25", ""}) {
        Type(d, 1069, typed);
        Click(d, 1082);
        EXPECT_TRUE(d.isVisible()) << typed;
        EXPECT_NE(d.result(), QDialog::Accepted) << typed;
    }
    ASSERT_EQ(env.boxes.Boxes().size(), 5u);
    for (const auto &box : env.boxes.Boxes()) {
        EXPECT_EQ(box.text, "The frame rate is too small!");
        EXPECT_EQ(box.kind, platform::BoxKind::Application);
        EXPECT_EQ(box.caption, "clipwright");
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
    OpenDialog open(WithVideo640x352);
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
    OpenDialog again(WithVideo640x352);
    Choose(again.dialog, 1068, 0);
    Click(again.dialog, 1082);
    EXPECT_EQ(env.store.ReadInt("Settings", "OutputFrameRateIndex", -1), 0);
    EXPECT_EQ(env.store.ReadString("Settings", "OutputFrameRate", ""), "23.976");
    EXPECT_DOUBLE_EQ(again.dialog.m_dOutputFrameRate, 29.97);
}

TEST(OptionsDialog, TheFormatListChangesTheExtensionAtOnceAndTheTypedPathIsKept)
{
    OptionsEnvironment env;
    OpenDialog open;
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

    Type(d, 1022, "/data/film.v1/clip.mkv");
    Click(d, 1082);
    EXPECT_EQ(d.m_szOutputFile, "/data/film.v1/clip.mkv");
    EXPECT_EQ(env.store.ReadString("Settings", "OutputName", ""), "/data/film.v1/clip.mkv");
    EXPECT_EQ(d.m_nOutputFormat, OutputFormatAsf);
    EXPECT_EQ(env.store.ReadInt("Settings", "nOuptputFormat", -1), 3);
}

TEST(OptionsDialog, AStoredAviFormatShowsTheCompressorControls)
{
    OptionsEnvironment env;
    OpenDialog open(WithStoredAvi);
    CDialogOutputSettings &d = open.dialog;
    EXPECT_EQ(Text(d, 1022), "/home/user/Videos/output.avi");
    EXPECT_EQ(Combo(d, 1094)->currentText(), "WMV");
    for (int id : kCompressorIds)
        EXPECT_FALSE(d.Control(id)->isHidden()) << id;
    for (int id : kBitrateIds)
        EXPECT_TRUE(d.Control(id)->isHidden()) << id;

    // The list offers only Windows Media: picking one of its entries leaves the stored code.
    Choose(d, 1094, 0);
    EXPECT_EQ(Text(d, 1022), "/home/user/Videos/output.wmv");
    for (int id : kBitrateIds)
        EXPECT_FALSE(d.Control(id)->isHidden()) << id;
}

TEST(OptionsDialog, AnUnknownFormatCodeIsReportedAndChangesNothing)
{
    OptionsEnvironment env;
    OpenDialog open([](CDialogOutputSettings &d) { d.m_nOutputFormat = 9; });
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
    OpenDialog open;
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

    OpenDialog plain([](CDialogOutputSettings &d) { d.m_szOutputFile = "output.avi"; });
    Click(plain.dialog, 1024);
    EXPECT_EQ(env.choosers.SaveRequests().back().initialPath, ".");
}

TEST(OptionsDialog, DefaultWithWindowsMediaSetsOnlyTheBitrates)
{
    OptionsEnvironment env;
    OpenDialog open(WithVideo800x600);
    CDialogOutputSettings &d = open.dialog;
    Type(d, 1089, "100");
    Choose(d, 1090, 3);
    Type(d, 1027, "1000");
    Choose(d, 1068, 3);
    Type(d, 1022, "/x/y.wmv");
    Choose(d, 1070, 1);

    Click(d, 1051);
    EXPECT_EQ(Text(d, 1089), "780");
    EXPECT_EQ(Combo(d, 1090)->currentText(), "128");
    EXPECT_EQ(Text(d, 1027), "1000");
    EXPECT_EQ(Text(d, 1028), "600");
    EXPECT_EQ(Combo(d, 1025)->currentIndex(), 8);
    EXPECT_EQ(Combo(d, 1068)->currentIndex(), 3);
    EXPECT_EQ(Text(d, 1069), "25.000000");
    EXPECT_EQ(Text(d, 1022), "/x/y.wmv");
    EXPECT_EQ(Combo(d, 1070)->currentIndex(), 1);
    EXPECT_EQ(Combo(d, 1094)->currentIndex(), 0);
    EXPECT_TRUE(env.StoredKeys().isEmpty());
}

TEST(OptionsDialog, BitratesAreStoredInBitsPerSecond)
{
    OptionsEnvironment env;
    OpenDialog open([](CDialogOutputSettings &d) { d.m_nAudioBitrate = 100000; });
    CDialogOutputSettings &d = open.dialog;
    // An audio bitrate not in the list leaves it unselected and is kept.
    EXPECT_EQ(Combo(d, 1090)->currentIndex(), -1);
    Type(d, 1089, "1500");
    Click(d, 1082);
    EXPECT_EQ(d.m_nVideoBitrate, 1500u * 1024u);
    EXPECT_EQ(d.m_nAudioBitrate, 100000u);
    EXPECT_EQ(env.store.ReadInt("Settings", "n_video_bitrate", 0), 1536000);
    EXPECT_EQ(env.store.ReadInt("Settings", "n_audio_bitrate", 0), 100000);
    // Resize mode follows the list and is not stored.
    EXPECT_EQ(d.m_nStretchMode, ResizePreserveAspectRatio);

    // A negative or huge figure would wrap around once multiplied.
    OpenDialog wrap;
    Type(wrap.dialog, 1089, "-5");
    Choose(wrap.dialog, 1090, 3);
    Choose(wrap.dialog, 1070, 1);
    Click(wrap.dialog, 1082);
    EXPECT_EQ(wrap.dialog.m_nVideoBitrate, 0u);
    EXPECT_EQ(wrap.dialog.m_nAudioBitrate, 320000u);
    EXPECT_EQ(wrap.dialog.m_nStretchMode, ResizeStretch);
    OpenDialog huge;
    Type(huge.dialog, 1089, "99999999");
    Click(huge.dialog, 1082);
    EXPECT_EQ(huge.dialog.m_nVideoBitrate, 4194303u * 1024u);
}

TEST(OptionsDialog, TheSettingsFileAfterOkHoldsExactlyTheConfirmedValues)
{
    OptionsEnvironment env;
    OpenDialog open(WithVideo640x352);
    CDialogOutputSettings &d = open.dialog;
    Choose(d, 1094, 1);
    Choose(d, 1025, 1);
    Choose(d, 1068, 5);
    Choose(d, 1090, 2);
    Type(d, 1089, "500");
    Click(d, 1082);
    ASSERT_EQ(d.result(), QDialog::Accepted);

    QSettings file(QString::fromStdString(env.storePath), QSettings::IniFormat);
    QStringList keys = file.allKeys();
    keys.sort();
    QStringList expected = {
        "Settings/OutputFrameRateIndex",
        "Settings/OutputFrameRate",
        "Settings/OutputName",
        "Settings/OutputWidth",
        "Settings/OutputHigh",
        "DexVideoCompress/CompressorNumber",
        "DexAudioCompress/CompressorNumber",
        "Settings/n_video_bitrate",
        "Settings/n_audio_bitrate",
        "Settings/nOuptputFormat",
    };
    expected.sort();
    EXPECT_EQ(keys, expected);

    // Integers as whole numbers, texts as typed.
    EXPECT_EQ(file.value("Settings/OutputFrameRateIndex").toString(), "5");
    EXPECT_EQ(file.value("Settings/OutputFrameRate").toString(), "30.000000");
    EXPECT_EQ(file.value("Settings/OutputName").toString(), "/home/user/Videos/output.asf");
    EXPECT_EQ(file.value("Settings/OutputWidth").toString(), "640");
    EXPECT_EQ(file.value("Settings/OutputHigh").toString(), "480");
    EXPECT_EQ(file.value("Settings/n_video_bitrate").toString(), "512000");
    EXPECT_EQ(file.value("Settings/n_audio_bitrate").toString(), "192000");
    EXPECT_EQ(file.value("Settings/nOuptputFormat").toString(), "3");
    // The compressor lists were confirmed as they opened, whatever the format.
    EXPECT_EQ(file.value("DexVideoCompress/CompressorNumber").toInt(),
              Combo(d, 1001)->currentIndex() - 1);
    EXPECT_EQ(file.value("DexAudioCompress/CompressorNumber").toInt(),
              Combo(d, 1002)->currentIndex() - 1);

    // The next start reads every value back.
    OutputSettings loaded;
    LoadOutputSettings(env.store, &loaded);
    EXPECT_EQ(loaded.m_szOutputFile, "/home/user/Videos/output.asf");
    EXPECT_EQ(loaded.m_nOutputWidth, 640);
    EXPECT_EQ(loaded.m_nOutputHeight, 480);
    EXPECT_EQ(loaded.m_nFrameRateIndex, 5);
    EXPECT_DOUBLE_EQ(loaded.m_dOutputFrameRate, 30.0);
    EXPECT_EQ(loaded.m_nVideoBitrate, 512000u);
    EXPECT_EQ(loaded.m_nAudioBitrate, 192000u);
    EXPECT_EQ(loaded.m_nOutputFormat, 3);
}

TEST(OptionsDialog, CancelWritesNothingAndTheCallerCopiesNothing)
{
    OptionsEnvironment env;
    {
        OpenDialog open;
        Type(open.dialog, 1089, "100");
        Choose(open.dialog, 1094, 1);
        Click(open.dialog, 1083);
        EXPECT_EQ(open.dialog.result(), QDialog::Rejected);
        EXPECT_FALSE(open.dialog.isVisible());
    }
    {
        OpenDialog open;
        Choose(open.dialog, 1025, 1);
        QTest::keyClick(&open.dialog, Qt::Key_Escape);
        EXPECT_EQ(open.dialog.result(), QDialog::Rejected);
    }
    EXPECT_TRUE(env.StoredKeys().isEmpty());

    OutputSettings settings;
    settings.m_szOutputFile = "/v/out.wmv";
    settings.m_nOutputWidth = 320;
    settings.m_nOutputHeight = 240;
    const OutputSettings before = settings;
    bool statusRewritten = false;
    QTimer::singleShot(0, [] {
        auto *dialog = qobject_cast<CDialogOutputSettings *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        Choose(*dialog, 1025, 2);
        Type(*dialog, 1089, "50");
        Click(*dialog, 1083);
    });
    EXPECT_FALSE(
        RunOutputOptions(nullptr, &settings, {320, 240, 25.0, 1}, [&] { statusRewritten = true; }));
    EXPECT_FALSE(statusRewritten);
    EXPECT_EQ(settings.m_nOutputWidth, before.m_nOutputWidth);
    EXPECT_EQ(settings.m_nVideoBitrate, before.m_nVideoBitrate);
    EXPECT_EQ(settings.m_szOutputFile, before.m_szOutputFile);
    EXPECT_TRUE(env.StoredKeys().isEmpty());
}

TEST(OptionsDialog, OkCopiesBackInOrderWithTheStatusBetween)
{
    OptionsEnvironment env;
    OutputSettings settings;
    settings.m_szOutputFile = "/v/out.wmv";
    settings.m_nOutputWidth = 320;
    settings.m_nOutputHeight = 240;
    settings.m_nFrameRateIndex = FrameRate25;
    settings.m_dOutputFrameRate = 25.0;
    settings.m_nVideoBitrate = 798720;
    settings.m_bFileProfile = 1;
    QTimer::singleShot(0, [] {
        auto *dialog = qobject_cast<CDialogOutputSettings *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        // The facts went in: the first entries name the video.
        EXPECT_EQ(Combo(*dialog, 1025)->currentText(), "Original size 320*240");
        EXPECT_EQ(Combo(*dialog, 1068)->itemText(0), "Original frame rate 25.000");
        Choose(*dialog, 1025, 1);
        Choose(*dialog, 1094, 1);
        Type(*dialog, 1089, "1000");
        Click(*dialog, 1082);
    });
    OutputSettings atStatus;
    ASSERT_TRUE(
        RunOutputOptions(nullptr, &settings, {320, 240, 25.0, 1}, [&] { atStatus = settings; }));
    // Size and path were back when the status was rewritten; bitrates and format after it.
    EXPECT_EQ(atStatus.m_szOutputFile, "/v/out.asf");
    EXPECT_EQ(atStatus.m_nOutputWidth, 640);
    EXPECT_EQ(atStatus.m_nOutputHeight, 480);
    EXPECT_EQ(atStatus.m_nVideoBitrate, 798720u);
    EXPECT_EQ(atStatus.m_nOutputFormat, OutputFormatWmv);
    EXPECT_EQ(settings.m_nVideoBitrate, 1024000u);
    EXPECT_EQ(settings.m_nOutputFormat, OutputFormatAsf);
    EXPECT_EQ(settings.m_bFileProfile, 1);
    EXPECT_EQ(settings.m_nFrameRateIndex, FrameRate25);
}

TEST(OptionsDialog, TheCurrentLanguageNamesTheDialogAndItsEntries)
{
    OptionsEnvironment env(CW_SOURCE_DIR, "german");
    ASSERT_EQ(CLanguage::Instance().GetCurrentLanguage(), "german");
    OpenDialog open(WithVideo640x352);
    CDialogOutputSettings &d = open.dialog;
    EXPECT_EQ(d.windowTitle(), "Ausgabeoptionen");
    EXPECT_EQ(qobject_cast<QLabel *>(d.Control(1023))->text(), "Ausgabedatei:");
    EXPECT_EQ(qobject_cast<QLabel *>(d.Control(1087))->text(), "Video-Bitrate:");
    EXPECT_EQ(qobject_cast<QPushButton *>(d.Control(1083))->text(), "Abbrechen");
    EXPECT_EQ(qobject_cast<QLabel *>(d.Control(1091))->text(), "Kbps");
    EXPECT_EQ(Combo(d, 1025)->itemText(0), QString::fromUtf8("Originalgröße 640*352"));
    EXPECT_EQ(Combo(d, 1025)->itemText(8), QString::fromUtf8("Benutzerdefinierte Größe"));
    EXPECT_EQ(Combo(d, 1068)->itemText(6), "Benutzerdefinierte Bildrate");
    EXPECT_EQ(Combo(d, 1070)->itemText(1), "Strecken");
    // The texts of the format and bitrate lists are not translated.
    EXPECT_EQ(Combo(d, 1094)->itemText(1), "ASF");
    EXPECT_EQ(Combo(d, 1090)->itemText(3), "320");

    env.choosers.QueueAnswer(std::nullopt);
    Click(d, 1024);
    EXPECT_EQ(env.choosers.SaveRequests()[0].title, "Name der Ausgabedatei wählen");
}

namespace {

// Position in the list of the first device whose name mentions words, or 0.
int PositionNamed(const QComboBox *combo, const QString &words)
{
    for (int i = 1; i < combo->count(); ++i)
        if (combo->itemText(i).contains(words, Qt::CaseInsensitive))
            return i;
    return 0;
}

// A DivX-named video encoder, so the default by name has something to find on any machine.
void RegisterDivxStandIn()
{
    static const bool registered = [] {
        media::testing::TestEncoder divx;
        divx.factoryName = "cwtest_optionsdivx";
        divx.klass = "Codec/Encoder/Video";
        divx.longName = "Test DivX 6 encoder";
        return media::testing::RegisterTestEncoder(divx);
    }();
    ASSERT_TRUE(registered);
}

} // namespace

TEST(OptionsDialog, CompressorListsOpenAtTheStoredChoiceOrTheDefaultByName)
{
    RegisterDivxStandIn();
    OptionsEnvironment env;
    {
        OpenDialog open(WithStoredAvi);
        CDialogOutputSettings &d = open.dialog;
        QComboBox *video = Combo(d, 1001);
        QComboBox *audio = Combo(d, 1002);
        EXPECT_EQ(video->itemText(0), "Full frames (uncompressed)");
        EXPECT_EQ(audio->itemText(0), "Uncompressed Audio");
        ASSERT_GT(video->count(), 2);
        ASSERT_GT(audio->count(), 2);
        // Nothing stored: the first DivX device, and Microsoft ADPCM when it is installed.
        EXPECT_EQ(video->currentIndex(), PositionNamed(video, "divx"));
        EXPECT_GT(video->currentIndex(), 0);
        EXPECT_EQ(audio->currentIndex(), PositionNamed(audio, "microsoft adpcm"));
    }
    env.store.WriteInt("DexVideoCompress", "CompressorNumber", -1);
    env.store.WriteInt("DexAudioCompress", "CompressorNumber", 1);
    {
        OpenDialog open(WithStoredAvi);
        EXPECT_EQ(Combo(open.dialog, 1001)->currentIndex(), 0);
        EXPECT_EQ(Combo(open.dialog, 1002)->currentIndex(), 2);
        // "Default" picks by name again for a container that uses compressors.
        Click(open.dialog, 1051);
        EXPECT_EQ(Combo(open.dialog, 1001)->currentIndex(),
                  PositionNamed(Combo(open.dialog, 1001), "divx"));
        EXPECT_EQ(Combo(open.dialog, 1002)->currentIndex(),
                  PositionNamed(Combo(open.dialog, 1002), "microsoft adpcm"));
        EXPECT_EQ(Text(open.dialog, 1089), "780");
    }
    EXPECT_TRUE(env.boxes.Boxes().empty());
}

TEST(OptionsDialog, OkStoresTheCompressorPositionsAndBindsTheChosenOnes)
{
    RegisterDivxStandIn();
    OptionsEnvironment env;
    OpenDialog open(WithStoredAvi);
    CDialogOutputSettings &d = open.dialog;
    const int divx = PositionNamed(Combo(d, 1001), "divx");
    Choose(d, 1001, divx);
    Choose(d, 1002, 0);
    Click(d, 1082);
    ASSERT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(env.store.ReadInt("DexVideoCompress", "CompressorNumber", -9), divx - 1);
    EXPECT_EQ(env.store.ReadInt("DexAudioCompress", "CompressorNumber", -9), -1);
    EXPECT_EQ(d.m_bUseVideoCompressor, 1);
    EXPECT_EQ(d.m_bUseAudioCompressor, 0);
    const media::Filter bound = BoundCompressor(CompressorCategory::Video);
    ASSERT_TRUE(bound);
    EXPECT_EQ(bound.FactoryName(), "cwtest_optionsdivx");

    // "Settings" with no compressor chosen finds no codec and opens nothing.
    OpenDialog again(WithStoredAvi);
    Choose(again.dialog, 1001, 0);
    Click(again.dialog, 1053);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(again.dialog.Control(1052)->isHidden());
    ReleaseBoundCompressors();
}
