#include "OptionsDialogSupport.h"

#include "media/encoders/CompressorEnumeration.h"
#include "media/encoders/TestEncoders.h"
#include "options/OutputOptionsCommand.h"
#include "options/PropertyDialog.h"
#include "settings/CompressorChoices.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

using namespace outputoptions;
using namespace ui;

TEST(OptionsDialog, DefaultWithWindowsMediaSetsOnlyTheBitrates)
{
    OptionsEnvironment env;
    OpenDialog open(env.store, WithVideo800x600);
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
    OpenDialog open(env.store, [](CDialogOutputSettings &d) { d.m_nAudioBitrate = 100000; });
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
    OpenDialog wrap(env.store);
    Type(wrap.dialog, 1089, "-5");
    Choose(wrap.dialog, 1090, 3);
    Choose(wrap.dialog, 1070, 1);
    Click(wrap.dialog, 1082);
    EXPECT_EQ(wrap.dialog.m_nVideoBitrate, 0u);
    EXPECT_EQ(wrap.dialog.m_nAudioBitrate, 320000u);
    EXPECT_EQ(wrap.dialog.m_nStretchMode, ResizeStretch);
    OpenDialog huge(env.store);
    Type(huge.dialog, 1089, "99999999");
    Click(huge.dialog, 1082);
    EXPECT_EQ(huge.dialog.m_nVideoBitrate, 4194303u * 1024u);
}

TEST(OptionsDialog, TheSettingsFileAfterOkHoldsExactlyTheConfirmedValues)
{
    OptionsEnvironment env;
    OpenDialog open(env.store, WithVideo640x352);
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
        "Settings/OutputFrameRateIndex", "Settings/OutputFrameRate", "Settings/OutputName",
        "Settings/OutputWidth",          "Settings/OutputHigh",      "Settings/n_video_bitrate",
        "Settings/n_audio_bitrate",      "Settings/nOuptputFormat",
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
    // ASF's writer brings its own encoders: its hidden compressor lists store nothing.
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
        OpenDialog open(env.store);
        Type(open.dialog, 1089, "100");
        Choose(open.dialog, 1094, 1);
        Click(open.dialog, 1083);
        EXPECT_EQ(open.dialog.result(), QDialog::Rejected);
        EXPECT_FALSE(open.dialog.isVisible());
    }
    {
        OpenDialog open(env.store);
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
    EXPECT_FALSE(RunOutputOptions(nullptr, env.store, &settings, {320, 240, 25.0, 1},
                                  [&] { statusRewritten = true; }));
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
    ASSERT_TRUE(RunOutputOptions(nullptr, env.store, &settings, {320, 240, 25.0, 1},
                                 [&] { atStatus = settings; }));
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
        OpenDialog open(env.store, WithStoredAvi);
        CDialogOutputSettings &d = open.dialog;
        QComboBox *video = Combo(d, 1001);
        QComboBox *audio = Combo(d, 1002);
        EXPECT_EQ(video->itemText(0), "Full frames (uncompressed)");
        EXPECT_EQ(audio->itemText(0), "Uncompressed Audio");
        ASSERT_GT(video->count(), 2);
        ASSERT_GT(audio->count(), 2);
        // Nothing stored: the DivX-compatible encoder, which AVI usually holds; Microsoft ADPCM
        // cannot go into AVI, so its usual PCM in its place, with MP3 first of the encoders.
        EXPECT_EQ(video->currentIndex(), PositionNamed(video, "divx"));
        EXPECT_GT(video->currentIndex(), 0);
        EXPECT_EQ(PositionNamed(audio, "microsoft adpcm"), 0);
        EXPECT_EQ(audio->currentIndex(), 0);
        EXPECT_EQ(audio->itemText(1), "MP3 encoder (LAME)");
    }
    const auto aviAudio = ContainerCompressors(CompressorCategory::Audio, OutputFormatAvi);
    ASSERT_GT(aviAudio.size(), 2u);
    env.store.WriteInt("DexVideoCompress", "CompressorNumber", -1);
    env.store.WriteInt("DexAudioCompress", "CompressorNumber", 1);
    env.store.WriteString("DexAudioCompress", "CompressorName", aviAudio[1].factoryName);
    {
        OpenDialog open(env.store, WithStoredAvi);
        EXPECT_EQ(Combo(open.dialog, 1001)->currentIndex(), 0);
        EXPECT_EQ(Combo(open.dialog, 1002)->currentIndex(), 2);
        // "Default" picks the container's default again.
        Click(open.dialog, 1051);
        EXPECT_EQ(Combo(open.dialog, 1001)->currentIndex(),
                  PositionNamed(Combo(open.dialog, 1001), "divx"));
        EXPECT_EQ(Combo(open.dialog, 1002)->currentIndex(), 0);
        EXPECT_EQ(Text(open.dialog, 1089), "780");
    }
    EXPECT_TRUE(env.boxes.Boxes().empty());
}

TEST(OptionsDialog, OkStoresTheCompressorPositionsAndBindsTheChosenOnes)
{
    RegisterDivxStandIn();
    OptionsEnvironment env;
    OpenDialog open(env.store, WithStoredAvi);
    CDialogOutputSettings &d = open.dialog;
    const int divx = PositionNamed(Combo(d, 1001), "divx");
    Choose(d, 1001, divx);
    Choose(d, 1002, 0);
    Click(d, 1082);
    ASSERT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(env.store.ReadInt("DexVideoCompress", "CompressorNumber", -9), divx - 1);
    EXPECT_EQ(env.store.ReadString("DexVideoCompress", "CompressorName", ""), "cwenc_mpeg4");
    EXPECT_EQ(env.store.ReadInt("DexAudioCompress", "CompressorNumber", -9), -1);
    EXPECT_EQ(d.m_bUseVideoCompressor, 1);
    EXPECT_EQ(d.m_bUseAudioCompressor, 0);
    const media::Filter bound = d.m_videoCompressor;
    ASSERT_TRUE(bound);
    // The bound encoder is the device at the chosen position of AVI's list.
    EXPECT_EQ(bound.FactoryName(), "cwenc_mpeg4");

    // "Settings" opens the chosen codec's own settings above the options dialog.
    const int configurable = PositionNamed(Combo(d, 1001), "x264");
    if (configurable > 0) {
        OpenDialog settings(env.store, WithStoredAvi);
        Choose(settings.dialog, 1001, configurable);
        QString caption;
        QWidget *parent = nullptr;
        QTimer::singleShot(0, [&] {
            auto *codec = qobject_cast<PropertyDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(codec, nullptr);
            caption = codec->windowTitle();
            parent = codec->parentWidget();
            codec->reject();
        });
        Click(settings.dialog, 1053);
        EXPECT_EQ(parent, &settings.dialog);
        EXPECT_TRUE(caption.contains("x264")) << caption.toStdString();
        EXPECT_EQ(Combo(settings.dialog, 1052)->currentText(),
                  Combo(d, 1001)->itemText(configurable));
    }

    // "Settings" with no compressor chosen finds no codec and opens nothing.
    OpenDialog again(env.store, WithStoredAvi);
    Choose(again.dialog, 1001, 0);
    Click(again.dialog, 1053);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(again.dialog.Control(1052)->isHidden());
}

TEST(OptionsDialog, CopyFromTheSourceShowsTheSourcesSizeAndRateGreyedAndIsStoredByName)
{
    OptionsEnvironment env;
    OpenDialog open(env.store, [](CDialogOutputSettings &d) {
        WithVideo800x600(d);
        d.m_dSourceFrameRate = 25;
        d.m_nOutputFormat = OutputFormatMp4;
        d.m_szOutputFile = "/home/user/Videos/output.mp4";
        d.m_sourceVideoCaps = "video/x-h264, stream-format=(string)avc, alignment=(string)au";
        d.m_sourceAudioCaps = "audio/x-vorbis, rate=(int)48000, channels=(int)2";
    });
    CDialogOutputSettings &d = open.dialog;
    const QString copy = "Copy from the source (no re-encoding)";
    ASSERT_EQ(Combo(d, 1001)->itemText(1), copy);
    // MP4 holds no Vorbis: the sound cannot be copied into it.
    EXPECT_EQ(Combo(d, 1002)->findText(copy), -1);
    const int resolutionBefore = Combo(d, 1025)->currentIndex();
    const int rateBefore = Combo(d, 1068)->currentIndex();
    ASSERT_NE(resolutionBefore, 0);

    Choose(d, 1001, 1);
    for (int id : {1025, 1068, 1070, 1053})
        EXPECT_FALSE(d.Control(id)->isEnabled()) << id;
    EXPECT_EQ(Combo(d, 1025)->currentIndex(), 0);
    EXPECT_EQ(Combo(d, 1068)->currentIndex(), 0);
    EXPECT_EQ(Text(d, 1027), "640");
    EXPECT_EQ(Text(d, 1028), "352");

    // An encoder brings back what was chosen before.
    Choose(d, 1001, 2);
    for (int id : {1025, 1068, 1070, 1053})
        EXPECT_TRUE(d.Control(id)->isEnabled()) << id;
    EXPECT_EQ(Combo(d, 1025)->currentIndex(), resolutionBefore);
    EXPECT_EQ(Combo(d, 1068)->currentIndex(), rateBefore);

    // Another container that holds H.264 keeps the copy; one that does not opens at an encoder.
    Choose(d, 1001, 1);
    Choose(d, 1094, Combo(d, 1094)->findText("MKV"));
    EXPECT_EQ(Combo(d, 1001)->currentText(), copy);
    EXPECT_FALSE(d.Control(1025)->isEnabled());
    Choose(d, 1094, Combo(d, 1094)->findText("Ogg"));
    EXPECT_NE(Combo(d, 1001)->currentText(), copy);
    EXPECT_TRUE(d.Control(1025)->isEnabled());
    Choose(d, 1094, Combo(d, 1094)->findText("MP4"));
    Choose(d, 1001, 1);

    Click(d, 1082);
    ASSERT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.m_bUseVideoCompressor, kCompressorCopy);
    EXPECT_EQ(env.store.ReadString("DexVideoCompress", "CompressorName", ""), kCopyFactory);
    EXPECT_EQ(d.m_nOutputWidth, 640);
    EXPECT_EQ(d.m_nFrameRateIndex, FrameRateSource);

    // Opened again, the stored copy is selected and the size shown greyed.
    OpenDialog again(env.store, [](CDialogOutputSettings &d) {
        WithVideo640x352(d);
        d.m_nOutputFormat = OutputFormatMp4;
        d.m_sourceVideoCaps = "video/x-h264, stream-format=(string)avc, alignment=(string)au";
    });
    EXPECT_EQ(Combo(again.dialog, 1001)->currentText(), copy);
    EXPECT_FALSE(again.dialog.Control(1025)->isEnabled());
}
