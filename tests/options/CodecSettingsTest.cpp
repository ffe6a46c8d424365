#include "ModalDriver.h"

#include "media/core/Filter.h"
#include "media/encoders/CompressorEnumeration.h"
#include "options/CompressorList.h"
#include "options/DialogFilterPerproty.h"
#include "options/PropertyDialog.h"
#include "platform/MessageBoxes.h"
#include "settings/CompressorChoices.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTemporaryDir>

namespace {

// The options dialog's three controls that codec settings use.
struct OptionsPage
{
    QDialog dialog;
    QComboBox *video = new QComboBox(&dialog);
    QComboBox *hidden = new QComboBox(&dialog);
    CompressorList list{video, CompressorCategory::Video};
    OptionsPage()
    {
        hidden->hide();
        list.Fill();
    }
    void Choose(const QString &name)
    {
        const int i = video->findText(name);
        ASSERT_GT(i, 0) << name.toStdString();
        video->setCurrentIndex(i);
    }
};

void ClickOk(QDialog *dialog)
{
    auto *buttons = dialog->findChild<QDialogButtonBox *>();
    buttons->button(QDialogButtonBox::Ok)->click();
}

void ClickCancel(QDialog *dialog)
{
    auto *buttons = dialog->findChild<QDialogButtonBox *>();
    buttons->button(QDialogButtonBox::Cancel)->click();
}

template<typename T>
T *EditorOf(QDialog *dialog, const char *property)
{
    return dialog->findChild<T *>(QString::fromLatin1(property));
}

std::int64_t IntegerOf(const media::Filter &filter, const char *property)
{
    media::PropertyValue value;
    EXPECT_EQ(filter.GetProperty(property, &value), S_OK) << property;
    return std::holds_alternative<std::int64_t>(value) ? std::get<std::int64_t>(value) : -1;
}

} // namespace

TEST(CodecSettings, MatchRulesOfTheChosenNameAgainstTheCodecList)
{
    const std::vector<std::string> codecs
        = {"x264 H.264 encoder", "DivX 6.8 Codec", "X264 h.264 ENCODER",
           "MPEG-4 Part 2 (DivX compatible)"};
    EXPECT_EQ(MatchCodec("x264 H.264 encoder", codecs), 2); // the later equal one
    EXPECT_EQ(MatchCodec("mpeg-4 part 2 (divx compatible)", codecs), 3);
    // DivX with a version on both sides, taken only while nothing else matched.
    EXPECT_EQ(MatchCodec("DivX Pro 5.1.1", codecs), 1);
    EXPECT_EQ(MatchCodec("DivX Pro", codecs), -1);
    EXPECT_EQ(MatchCodec("Full frames (uncompressed)", codecs), -1);
    EXPECT_EQ(MatchCodec("anything", {}), -1);
    // An equal name after a DivX guess replaces it.
    EXPECT_EQ(MatchCodec("divx 5", {"DivX 6.8", "divx 5"}), 1);
}

TEST(CodecSettings, SettingsWithFullFramesSelectedDoesNothing)
{
    OptionsPage page;
    page.video->setCurrentIndex(0);
    OutputSettings job;
    ModalDriver<QDialog> driver([](QDialog *d) { d->reject(); });
    EXPECT_FALSE(ConfigureCodec(&page.dialog, page.video, page.hidden, &job));
    EXPECT_FALSE(driver.seen);
    EXPECT_TRUE(job.m_codecState.empty());

    // The scratch list holds the video encoders that take a 352 x 240 picture, and only them.
    EXPECT_GT(page.hidden->count(), 5);
    EXPECT_GE(page.hidden->findText("x264 H.264 encoder"), 0);
    EXPECT_LT(page.hidden->findText("Microsoft ADPCM"), 0);
    // DV takes only its broadcast sizes.
    EXPECT_LT(page.hidden->findText("DV (Digital Video) encoder"), 0);
    EXPECT_GE(page.video->findText("DV (Digital Video) encoder"), 0);
}

TEST(CodecSettings, CodecDialogHasAnEditorOfEachPropertysKindAndRefusesBadValues)
{
    OptionsPage page;
    page.Choose("x264 H.264 encoder");
    platform::MessageBoxRecorder boxes;
    bool checked = false;
    ModalDriver<PropertyDialog> driver([&](PropertyDialog *d) {
        checked = true;
        EXPECT_EQ(d->windowTitle(), "x264 H.264 encoder");
        EXPECT_EQ(d->parentWidget(), &page.dialog);
        auto *bitrate = EditorOf<QSpinBox>(d, "bitrate");
        ASSERT_NE(bitrate, nullptr);
        EXPECT_EQ(bitrate->minimum(), 1);
        EXPECT_EQ(bitrate->maximum(), 2048000);
        auto *preset = EditorOf<QComboBox>(d, "speed-preset");
        ASSERT_NE(preset, nullptr);
        EXPECT_GE(preset->count(), 10);
        EXPECT_NE(EditorOf<QCheckBox>(d, "byte-stream"), nullptr);
        EXPECT_NE(EditorOf<QLineEdit>(d, "option-string"), nullptr);
        auto *analyse = EditorOf<QWidget>(d, "analyse");
        ASSERT_NE(analyse, nullptr);
        EXPECT_GE(analyse->findChildren<QCheckBox *>().size(), 4);
        EXPECT_NE(d->findChild<QScrollArea *>(), nullptr);

        // A number outside the range is refused and the dialog stays open.
        auto *ipFactor = EditorOf<QLineEdit>(d, "ip-factor");
        ASSERT_NE(ipFactor, nullptr);
        ipFactor->setText("7.5");
        bitrate->setValue(1500);
        ClickOk(d);
        EXPECT_TRUE(d->isVisible());
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        EXPECT_NE(boxes.Boxes()[0].text.find("from 0 to 2"), std::string::npos)
            << boxes.Boxes()[0].text;
        ClickCancel(d);
    });
    OutputSettings job;
    EXPECT_FALSE(ConfigureCodec(&page.dialog, page.video, page.hidden, &job));
    EXPECT_TRUE(driver.seen);
    EXPECT_TRUE(checked);
    EXPECT_EQ(page.hidden->currentText(), "x264 H.264 encoder");
    // Cancel saves nothing, not even the refused half of the edit.
    EXPECT_TRUE(job.m_codecState.empty());
}

TEST(CodecSettings, AChangedPropertyReachesTheBoundEncoderAndSurvivesASecondConfiguration)
{
    QTemporaryDir dir;
    SettingsStore store((dir.path() + "/clipwright.conf").toStdString());
    OptionsPage page;
    OutputSettings job;
    page.Choose("x264 H.264 encoder");

    {
        ModalDriver<PropertyDialog> driver([](PropertyDialog *d) {
            EditorOf<QSpinBox>(d, "bitrate")->setValue(1234);
            auto *preset = EditorOf<QComboBox>(d, "speed-preset");
            preset->setCurrentIndex(preset->findText("veryfast", Qt::MatchContains));
            ClickOk(d);
        });
        EXPECT_TRUE(ConfigureCodec(&page.dialog, page.video, page.hidden, &job));
        EXPECT_TRUE(driver.seen);
    }
    EXPECT_EQ(media::Filter::StateFactoryName(job.m_codecState), "x264enc");

    page.list.Confirm(store, &job);
    ASSERT_EQ(job.m_bUseVideoCompressor, 1);
    media::Filter bound = job.m_videoCompressor;
    ASSERT_EQ(bound.FactoryName(), "x264enc");
    EXPECT_EQ(IntegerOf(bound, "bitrate"), 1234);
    const std::int64_t veryfast = IntegerOf(bound, "speed-preset");

    // The second configuration opens where the first left off and reaches the bound encoder.
    {
        int shownBitrate = 0;
        ModalDriver<PropertyDialog> driver([&](PropertyDialog *d) {
            shownBitrate = EditorOf<QSpinBox>(d, "bitrate")->value();
            EditorOf<QSpinBox>(d, "key-int-max")->setValue(50);
            ClickOk(d);
        });
        EXPECT_TRUE(ConfigureCodec(&page.dialog, page.video, page.hidden, &job));
        EXPECT_EQ(shownBitrate, 1234);
    }
    EXPECT_EQ(IntegerOf(bound, "key-int-max"), 50);
    EXPECT_EQ(IntegerOf(bound, "bitrate"), 1234);
    EXPECT_EQ(IntegerOf(bound, "speed-preset"), veryfast);

    // Cancel keeps the saved settings, and a new bind carries all of them.
    {
        ModalDriver<PropertyDialog> driver([](PropertyDialog *d) {
            EditorOf<QSpinBox>(d, "bitrate")->setValue(99);
            ClickCancel(d);
        });
        EXPECT_FALSE(ConfigureCodec(&page.dialog, page.video, page.hidden, &job));
    }
    page.list.Confirm(store, &job);
    media::Filter rebound = job.m_videoCompressor;
    EXPECT_FALSE(rebound.IsSameElement(bound));
    EXPECT_EQ(IntegerOf(rebound, "bitrate"), 1234);
    EXPECT_EQ(IntegerOf(rebound, "key-int-max"), 50);

    // Settings of one codec never reach another.
    page.Choose("VP8 encoder (WebM)");
    page.list.Confirm(store, &job);
    EXPECT_EQ(job.m_videoCompressor.FactoryName(), "vp8enc");
}

TEST(CodecSettings, StateRoundTripsThroughTextAndResetsWhatItDoesNotName)
{
    media::Filter source;
    ASSERT_EQ(media::CreateCompressor("x264enc", &source), S_OK);
    // A new x264 encoder starts at constant quality 23, not its element's fixed bitrate.
    EXPECT_EQ(source.SaveState(), "x264enc, pass=(string)qual, quantizer=(string)23;");
    ASSERT_EQ(source.SetProperty("bitrate", std::int64_t{777}), S_OK);
    ASSERT_EQ(source.SetProperty("byte-stream", true), S_OK);
    ASSERT_EQ(source.SetProperty("ip-factor", 1.25), S_OK);
    ASSERT_EQ(source.SetProperty("option-string", std::string("ref=2:deblock=1,1")), S_OK);
    // Out of range and wrong kinds are refused, not clamped.
    EXPECT_EQ(source.SetProperty("bitrate", std::int64_t{0}), E_INVALIDARG);
    EXPECT_EQ(source.SetProperty("bitrate", std::string("12")), E_INVALIDARG);
    EXPECT_EQ(source.SetProperty("no-such-property", true), E_INVALIDARG);
    EXPECT_EQ(source.SetProperty("name", std::string("x")), E_INVALIDARG);
    const std::string state = source.SaveState();

    media::Filter target;
    ASSERT_EQ(media::CreateCompressor("x264enc", &target), S_OK);
    ASSERT_EQ(target.SetProperty("key-int-max", std::int64_t{12}), S_OK);
    ASSERT_EQ(target.LoadState(state), S_OK);
    EXPECT_EQ(target.SaveState(), state);
    media::PropertyValue value;
    target.GetProperty("option-string", &value);
    EXPECT_EQ(std::get<std::string>(value), "ref=2:deblock=1,1");
    EXPECT_EQ(IntegerOf(target, "key-int-max"), 0); // back to its default

    media::Filter copy;
    ASSERT_EQ(target.Duplicate(&copy), S_OK);
    EXPECT_FALSE(copy.IsSameElement(target));
    EXPECT_EQ(copy.FactoryName(), "x264enc");
    EXPECT_EQ(copy.SaveState(), state);

    media::Filter other;
    ASSERT_EQ(media::CreateCompressor("vp8enc", &other), S_OK);
    EXPECT_EQ(other.LoadState(state), E_INVALIDARG);
    EXPECT_EQ(other.LoadState("not a state ,,"), E_INVALIDARG);

    // Values that are text to the framework: caps and fractions.
    media::Filter graph;
    ASSERT_EQ(
        media::CreateGraphFromDescription("videotestsrc ! capsfilter name=f ! fakesink", &graph),
        S_OK);
    std::vector<media::Filter> children;
    ASSERT_EQ(graph.Children(&children), S_OK);
    ASSERT_EQ(children.size(), 3u);
    media::Filter caps = children[1];
    EXPECT_EQ(caps.SetProperty("caps", std::string("video/x-raw, width=(int)320")), S_OK);
    caps.GetProperty("caps", &value);
    EXPECT_EQ(std::get<std::string>(value), "video/x-raw, width=(int)320");
    EXPECT_EQ(caps.SetProperty("caps", std::string("((not caps")), E_INVALIDARG);
}

TEST(CodecSettings, FilterDialogListsTheGraphAndOpensTheSettingsOfTheChosenElement)
{
    media::Filter graph;
    ASSERT_EQ(media::CreateGraphFromDescription(
                  "videotestsrc name=source num-buffers=1 ! x264enc name=VideoCompressor ! "
                  "mp4mux name=mux ! fakesink name=sink   "
                  "filesrc name=file location=/nonexistent ! qtdemux name=demux ! fakesink",
                  &graph),
              S_OK);
    CDialogFilterPerproty dialog(graph);
    EXPECT_EQ(dialog.windowTitle(), "Set Filter's Properties");
    QListWidget *list = dialog.FilterList();
    QPushButton *settings = dialog.SettingsButton();
    EXPECT_EQ(list->property("controlId").toInt(), 1095);
    EXPECT_EQ(settings->property("controlId").toInt(), 1096);
    EXPECT_EQ(settings->text(), "&Settings");

    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    // Each branch reads from its source to its sink.
    EXPECT_LT(names.indexOf("source"), names.indexOf("VideoCompressor"));
    EXPECT_LT(names.indexOf("VideoCompressor"), names.indexOf("mux"));
    EXPECT_LT(names.indexOf("mux"), names.indexOf("sink"));
    EXPECT_LT(names.indexOf("file"), names.indexOf("demux"));
    EXPECT_EQ(names.size(), 7);
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_TRUE(settings->isEnabled()); // every source here has settings

    // A demuxer with nothing to set leaves the button disabled.
    list->setCurrentRow(static_cast<int>(names.indexOf("demux")));
    EXPECT_FALSE(settings->isEnabled());

    list->setCurrentRow(static_cast<int>(names.indexOf("VideoCompressor")));
    ASSERT_TRUE(settings->isEnabled());
    ModalDriver<PropertyDialog> driver([](PropertyDialog *d) {
        EXPECT_EQ(d->windowTitle(), "VideoCompressor");
        EditorOf<QSpinBox>(d, "bitrate")->setValue(640);
        ClickOk(d);
    });
    settings->click();
    EXPECT_TRUE(driver.seen);
    std::vector<media::Filter> children;
    ASSERT_EQ(graph.Children(&children), S_OK);
    for (const media::Filter &child : children) {
        if (child.Name() == "VideoCompressor") {
            EXPECT_EQ(IntegerOf(child, "bitrate"), 640);
        }
    }

    // "&Continue" closes the dialog.
    dialog.show();
    QPushButton *carryOn = nullptr;
    for (QPushButton *button : dialog.findChildren<QPushButton *>()) {
        if (button->property("controlId").toInt() == 2)
            carryOn = button;
    }
    ASSERT_NE(carryOn, nullptr);
    EXPECT_EQ(carryOn->text(), "&Continue");
    carryOn->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST(CodecSettings, FilterDialogOfSomethingThatIsNotAGraphShowsAnError)
{
    media::Filter encoder;
    ASSERT_EQ(media::CreateCompressor("x264enc", &encoder), S_OK);
    CDialogFilterPerproty dialog(encoder);
    ASSERT_EQ(dialog.FilterList()->count(), 1);
    EXPECT_EQ(dialog.FilterList()->item(0)->text(), "<ERROR>");
    EXPECT_FALSE(dialog.SettingsButton()->isEnabled());
}
