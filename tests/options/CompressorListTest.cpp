#include "options/CompressorList.h"
#include "media/encoders/CompressorEnumeration.h"
#include "media/encoders/TestEncoders.h"
#include "media/output/WriterFormats.h"
#include "platform/MessageBoxes.h"
#include "settings/CompressorChoices.h"
#include "settings/OutputContainers.h"
#include "settings/OutputSettings.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QTemporaryDir>

#include <algorithm>
#include <set>

namespace {

struct Store
{
    QTemporaryDir dir;
    SettingsStore store{(dir.path() + "/clipwright.conf").toStdString()};
};

std::vector<media::CompressorDevice> Devices(CompressorCategory category)
{
    std::vector<media::CompressorDevice> devices;
    EXPECT_EQ(media::EnumerateCompressors(category, &devices), media::EnumerationResult::Ok);
    return devices;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Position of the first device whose name mentions the words, counted independently of the
// list under test; -1 when none does.
int FirstNamed(CompressorCategory category, const std::string &words)
{
    const auto devices = Devices(category);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (Lower(devices[i].friendlyName).find(words) != std::string::npos)
            return static_cast<int>(i);
    }
    return -1;
}

bool Installed(CompressorCategory category, const std::string &factory)
{
    const auto devices = Devices(category);
    return std::any_of(devices.begin(), devices.end(),
                       [&](const auto &d) { return d.factoryName == factory; });
}

// A DivX-compatible stand-in, for machines whose own MPEG-4 Part 2 encoder is not built in.
void RegisterDivxStandIn()
{
    media::testing::TestEncoder divx;
    divx.factoryName = "cwtest_divx";
    divx.klass = "Codec/Encoder/Video";
    divx.longName = "Test DivX 5.1 compatible encoder";
    ASSERT_TRUE(media::testing::RegisterTestEncoder(divx));
}

struct Lists
{
    QComboBox videoBox;
    QComboBox audioBox;
    CompressorList video{&videoBox, CompressorCategory::Video};
    CompressorList audio{&audioBox, CompressorCategory::Audio};
    Lists()
    {
        video.Fill();
        audio.Fill();
    }
};

} // namespace

TEST(Compressors, CategoriesHoldTheInstalledEncodersOnceInOneOrderThatBindingShares)
{
    for (CompressorCategory category : {CompressorCategory::Video, CompressorCategory::Audio}) {
        std::vector<std::string> first;
        std::vector<std::string> second;
        ASSERT_TRUE(ListCompressors(category, &first));
        ASSERT_TRUE(ListCompressors(category, &second));
        EXPECT_EQ(first, second);
        ASSERT_GT(first.size(), 3u);

        const auto devices = Devices(category);
        ASSERT_EQ(devices.size(), first.size());
        std::set<std::string> names;
        for (const auto &device : devices) {
            EXPECT_TRUE(names.insert(Lower(device.friendlyName)).second)
                << "name twice: " << device.friendlyName;
            EXPECT_EQ(device.friendlyName.rfind("libav ", 0), std::string::npos);
        }
        // Binding counts in the listing's order: first, middle and last device.
        for (std::size_t k : {std::size_t{0}, devices.size() / 2, devices.size() - 1}) {
            media::Filter bound = BindCompressor(category, static_cast<int>(k));
            ASSERT_TRUE(bound) << devices[k].factoryName;
            EXPECT_EQ(bound.FactoryName(), devices[k].factoryName);
        }
        EXPECT_FALSE(BindCompressor(category, static_cast<int>(devices.size())));
        EXPECT_FALSE(BindCompressor(category, -1));
    }

    // The combo box shows entry 0 and then the same names.
    Lists lists;
    std::vector<std::string> video;
    ListCompressors(CompressorCategory::Video, &video);
    ASSERT_EQ(lists.videoBox.count(), static_cast<int>(video.size()) + 1);
    EXPECT_EQ(lists.videoBox.itemText(0).toStdString(), "Full frames (uncompressed)");
    EXPECT_EQ(lists.audioBox.itemText(0).toStdString(), "Uncompressed Audio");
    EXPECT_EQ(lists.videoBox.itemText(1).toStdString(), video[0]);
    EXPECT_EQ(lists.videoBox.currentIndex(), 0);
}

TEST(Compressors, ReplacedStockAndImageEncodersAreLeftOutAndNamesAreReadable)
{
    for (const char *stock : {"avenc_wmv1", "avenc_wmv2", "avenc_msmpeg4", "avenc_msmpeg4v2",
                              "avenc_mpeg4", "jpegenc", "pngenc", "avenc_png", "avenc_pgm"})
        EXPECT_FALSE(Installed(CompressorCategory::Video, stock)) << stock;
    for (const char *stock : {"avenc_wmav1", "avenc_wmav2", "avenc_png", "x264enc"})
        EXPECT_FALSE(Installed(CompressorCategory::Audio, stock)) << stock;
    // Audio encoders are not video compressors, nor the other way round.
    EXPECT_FALSE(Installed(CompressorCategory::Video, "vorbisenc"));

    std::vector<std::string> video;
    ListCompressors(CompressorCategory::Video, &video);
    EXPECT_NE(std::find(video.begin(), video.end(), "x264 H.264 encoder"), video.end());
    std::vector<std::string> audio;
    ListCompressors(CompressorCategory::Audio, &audio);
    EXPECT_NE(std::find(audio.begin(), audio.end(), "Microsoft ADPCM"), audio.end());
    EXPECT_EQ(media::CompressorFriendlyName("cwenc_mpeg4"), "MPEG-4 Part 2 (DivX compatible)");

    // Our own encoders join the categories whenever they are built in.
    for (const char *own : {"cwenc_wmv1", "cwenc_wmv2", "cwenc_msmpeg4", "cwenc_mpeg4"}) {
        media::Filter probe;
        if (SUCCEEDED(media::CreateCompressor(own, &probe))) {
            EXPECT_TRUE(Installed(CompressorCategory::Video, own)) << own;
        }
    }
}

TEST(Compressors, WithNothingStoredTheListsOpenOnTheDivxCompatibleEncoderAndMicrosoftAdpcm)
{
    RegisterDivxStandIn();
    Store s;
    platform::MessageBoxRecorder boxes;
    Lists lists;
    lists.video.SelectInitial(s.store);
    lists.audio.SelectInitial(s.store);

    const int divx = FirstNamed(CompressorCategory::Video, "divx");
    ASSERT_GE(divx, 0);
    EXPECT_EQ(lists.videoBox.currentIndex(), divx + 1);
    EXPECT_NE(Lower(lists.videoBox.currentText().toStdString()).find("divx"), std::string::npos);
    // Our own MPEG-4 Part 2 encoder, when built in, is the one found.
    if (Installed(CompressorCategory::Video, "cwenc_mpeg4")) {
        EXPECT_EQ(lists.videoBox.currentText().toStdString(), "MPEG-4 Part 2 (DivX compatible)");
    }

    const int adpcm = FirstNamed(CompressorCategory::Audio, "microsoft adpcm");
    ASSERT_GE(adpcm, 0);
    EXPECT_EQ(lists.audioBox.currentIndex(), adpcm + 1);
    EXPECT_EQ(lists.audioBox.currentText().toStdString(), "Microsoft ADPCM");

    // "Default" finds the same devices again after another choice.
    lists.videoBox.setCurrentIndex(0);
    lists.audioBox.setCurrentIndex(0);
    lists.video.SelectDefault();
    lists.audio.SelectDefault();
    EXPECT_EQ(lists.videoBox.currentIndex(), divx + 1);
    EXPECT_EQ(lists.audioBox.currentIndex(), adpcm + 1);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(Compressors, WithoutAnyDivxDeviceTheVideoListOpensOnFullFrames)
{
    // Take every DivX-named encoder out, whichever are installed.
    for (const auto &device : Devices(CompressorCategory::Video)) {
        if (Lower(device.friendlyName).find("divx") != std::string::npos) {
            ASSERT_TRUE(media::testing::RemoveFactory(device.factoryName));
        }
    }
    Store s;
    Lists lists;
    lists.video.SelectInitial(s.store);
    EXPECT_EQ(lists.videoBox.currentIndex(), 0);
    lists.videoBox.setCurrentIndex(3);
    lists.video.SelectDefault();
    EXPECT_EQ(lists.videoBox.currentIndex(), 0);
}

TEST(Compressors, AStoredNumberWinsOverTheDefaultByName)
{
    RegisterDivxStandIn();
    Store s;
    s.store.WriteInt("DexVideoCompress", "CompressorNumber", -1);
    s.store.WriteInt("DexAudioCompress", "CompressorNumber", -1);
    Lists lists;
    lists.video.SelectInitial(s.store);
    lists.audio.SelectInitial(s.store);
    EXPECT_EQ(lists.videoBox.currentIndex(), 0);
    EXPECT_EQ(lists.audioBox.currentIndex(), 0);

    s.store.WriteInt("DexVideoCompress", "CompressorNumber", 0);
    s.store.WriteInt("DexAudioCompress", "CompressorNumber", 2);
    lists.video.SelectInitial(s.store);
    lists.audio.SelectInitial(s.store);
    EXPECT_EQ(lists.videoBox.currentIndex(), 1);
    EXPECT_EQ(lists.audioBox.currentIndex(), 3);
}

TEST(Compressors, ConfirmingStoresThePositionMinusOneAndBindsOrClearsTheFlag)
{
    Store s;
    platform::MessageBoxRecorder boxes;
    Lists lists;
    const auto devices = Devices(CompressorCategory::Video);

    OutputSettings job;
    job.m_bUseVideoCompressor = 0;
    lists.videoBox.setCurrentIndex(2);
    lists.video.Confirm(s.store, &job);
    EXPECT_EQ(s.store.ReadInt("DexVideoCompress", "CompressorNumber", 99), 1);
    EXPECT_EQ(job.m_bUseVideoCompressor, 1);
    media::Filter first = job.m_videoCompressor;
    ASSERT_TRUE(first);
    EXPECT_EQ(first.FactoryName(), devices[1].factoryName);

    // A new confirmed choice replaces the bound encoder by a new one.
    lists.videoBox.setCurrentIndex(1);
    lists.video.Confirm(s.store, &job);
    media::Filter second = job.m_videoCompressor;
    ASSERT_TRUE(second);
    EXPECT_FALSE(second.IsSameElement(first));
    EXPECT_EQ(second.FactoryName(), devices[0].factoryName);

    // Entry 0 stores -1 and clears the flag; the earlier encoder stays bound but unused.
    lists.videoBox.setCurrentIndex(0);
    lists.video.Confirm(s.store, &job);
    EXPECT_EQ(s.store.ReadInt("DexVideoCompress", "CompressorNumber", 99), -1);
    EXPECT_EQ(job.m_bUseVideoCompressor, 0);
    EXPECT_TRUE(job.m_videoCompressor.IsSameElement(second));

    job.m_bUseAudioCompressor = 1;
    lists.audioBox.setCurrentIndex(0);
    lists.audio.Confirm(s.store, &job);
    EXPECT_EQ(s.store.ReadInt("DexAudioCompress", "CompressorNumber", 99), -1);
    EXPECT_EQ(job.m_bUseAudioCompressor, 0);

    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(Compressors, AStoredNumberPastTheEndOpensOnTheDefaultAndConfirmsARealPosition)
{
    Store s;
    Lists lists;
    const int devices = lists.audioBox.count() - 1;
    const int adpcm = FirstNamed(CompressorCategory::Audio, "microsoft adpcm");
    for (int stored : {devices, devices + 7, -5}) {
        s.store.WriteInt("DexAudioCompress", "CompressorNumber", stored);
        lists.audio.SelectInitial(s.store);
        EXPECT_EQ(lists.audioBox.currentIndex(), adpcm + 1) << stored;
    }
    OutputSettings job;
    job.m_bUseAudioCompressor = 0;
    lists.audio.Confirm(s.store, &job);
    EXPECT_EQ(s.store.ReadInt("DexAudioCompress", "CompressorNumber", 99), adpcm);
    EXPECT_EQ(job.m_bUseAudioCompressor, 1);
    EXPECT_EQ(job.m_audioCompressor.FactoryName(), "avenc_adpcm_ms");

    // A box left without a selection confirms as entry 0, never as a compressor to bind.
    lists.audioBox.setCurrentIndex(-1);
    lists.audio.Confirm(s.store, &job);
    EXPECT_EQ(s.store.ReadInt("DexAudioCompress", "CompressorNumber", 99), -1);
    EXPECT_EQ(job.m_bUseAudioCompressor, 0);
}

TEST(Compressors, ABindThatYieldsNothingClearsTheFlagAndTellsTheUser)
{
    Store s;
    platform::MessageBoxRecorder boxes;
    Lists lists;
    // The last encoder goes away between opening the dialog and pressing OK.
    const auto devices = Devices(CompressorCategory::Video);
    lists.videoBox.setCurrentIndex(lists.videoBox.count() - 1);
    ASSERT_TRUE(media::testing::RemoveFactory(devices.back().factoryName));

    OutputSettings job;
    job.m_bUseVideoCompressor = 1;
    lists.video.Confirm(s.store, &job);
    EXPECT_EQ(job.m_bUseVideoCompressor, 0);
    EXPECT_FALSE(job.m_videoCompressor);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].kind, platform::BoxKind::Application);
    EXPECT_NE(boxes.Boxes()[0].text.find("video compressor could not be created"),
              std::string::npos);
}

namespace {

std::string FactoryAt(const std::vector<media::CompressorDevice> &list, int position)
{
    return position > 0 && position <= static_cast<int>(list.size())
               ? list[static_cast<std::size_t>(position - 1)].factoryName
               : std::string("none");
}

} // namespace

TEST(Compressors, EachContainerListsOnlyWhatItsWriterTakesWithItsUsualEncodersFirst)
{
    struct Expected
    {
        int format;
        const char *muxer;
        std::set<std::string> video, audio; // the default, any of these where installed
    };
    const Expected kContainers[] = {
        {OutputFormatMp4, "mp4mux", {"x264enc"}, {"voaacenc", "avenc_aac"}},
        {OutputFormatMkv, "matroskamux", {"x264enc"}, {"vorbisenc"}},
        // H.264 once the DivX-compatible encoder is taken out by a test before.
        {OutputFormatAvi, "avimux", {"cwenc_mpeg4", "x264enc"}, {"none"}},
        {OutputFormatOgm, "cwmux_ogg", {"theoraenc"}, {"vorbisenc"}},
    };
    for (const Expected &c : kContainers) {
        for (CompressorCategory category : {CompressorCategory::Video, CompressorCategory::Audio}) {
            const bool video = category == CompressorCategory::Video;
            const auto list = ContainerCompressors(category, c.format);
            const auto all = Devices(category);
            SCOPED_TRACE(std::string(c.muxer) + (video ? " video" : " audio"));
            ASSERT_FALSE(list.empty());
            // A handful a person can read, not the whole registry.
            EXPECT_LT(list.size(), all.size());
            std::set<std::string> seen;
            for (const auto &device : list) {
                EXPECT_TRUE(seen.insert(device.factoryName).second) << device.factoryName;
                EXPECT_TRUE(media::WriterTakesEncoder(c.muxer, device.factoryName))
                    << device.factoryName;
            }
            const auto &usual
                = video ? FindContainer(c.format)->usualVideo : FindContainer(c.format)->usualAudio;
            EXPECT_NE(std::find(usual.begin(), usual.end(), list.front().factoryName), usual.end())
                << list.front().factoryName;
            const std::set<std::string> &byDefault = video ? c.video : c.audio;
            const int position = DefaultCompressorPosition(category, c.format, list);
            EXPECT_TRUE(byDefault.count(FactoryAt(list, position))) << FactoryAt(list, position);
        }
    }
    // Nothing any of these writers refuses is offered for it.
    auto listed = [](CompressorCategory category, int format, const char *factory) {
        const auto list = ContainerCompressors(category, format);
        return std::any_of(list.begin(), list.end(),
                           [&](const auto &d) { return d.factoryName == factory; });
    };
    EXPECT_FALSE(listed(CompressorCategory::Audio, OutputFormatMp4, "avenc_adpcm_ms"));
    EXPECT_FALSE(listed(CompressorCategory::Audio, OutputFormatAvi, "avenc_adpcm_ms"));
    EXPECT_FALSE(listed(CompressorCategory::Video, OutputFormatMp4, "theoraenc"));
    EXPECT_FALSE(listed(CompressorCategory::Audio, OutputFormatOgm, "lamemp3enc"));
    // ...and our Ogg writer takes every codec Ogg's lists offered with the stock one.
    for (const char *video : {"theoraenc", "vp8enc"})
        EXPECT_TRUE(listed(CompressorCategory::Video, OutputFormatOgm, video)) << video;
    for (const char *audio : {"vorbisenc", "opusenc", "flacenc", "speexenc"})
        EXPECT_TRUE(listed(CompressorCategory::Audio, OutputFormatOgm, audio)) << audio;
    // Windows Media brings its own encoders: its (hidden) lists are the whole category.
    EXPECT_EQ(ContainerCompressors(CompressorCategory::Audio, OutputFormatWmv).size(),
              Devices(CompressorCategory::Audio).size());
}

TEST(Compressors, AChoiceIsStoredByNameAndFollowsTheContainerItIsReadFor)
{
    Store s;
    platform::MessageBoxRecorder boxes;
    const auto mkv = ContainerCompressors(CompressorCategory::Audio, OutputFormatMkv);
    const auto mp4 = ContainerCompressors(CompressorCategory::Audio, OutputFormatMp4);
    auto at = [](const std::vector<media::CompressorDevice> &list, const std::string &factory) {
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i].factoryName == factory)
                return static_cast<int>(i) + 1;
        return -1;
    };
    const int vorbis = at(mkv, "vorbisenc");
    ASSERT_GT(vorbis, 0);

    OutputSettings job;
    job.m_nOutputFormat = OutputFormatMkv;
    job.m_bUseAudioCompressor = kCompressorFromStore;
    ConfirmContainerCompressor(CompressorCategory::Audio, vorbis, mkv, s.store, &job);
    EXPECT_EQ(job.m_bUseAudioCompressor, 1);
    EXPECT_EQ(s.store.ReadInt("DexAudioCompress", "CompressorNumber", 99), vorbis - 1);
    EXPECT_EQ(s.store.ReadString("DexAudioCompress", "CompressorName", ""), "vorbisenc");
    EXPECT_EQ(InitialCompressorPosition(CompressorCategory::Audio, s.store, OutputFormatMkv, mkv),
              vorbis);
    // MP4 holds no Vorbis here: its list opens at its own default.
    EXPECT_EQ(InitialCompressorPosition(CompressorCategory::Audio, s.store, OutputFormatMp4, mp4),
              DefaultCompressorPosition(CompressorCategory::Audio, OutputFormatMp4, mp4));

    // A number stored without a name counts in the whole category, as it always did.
    const auto all = Devices(CompressorCategory::Audio);
    const int opusInAll = at(all, "opusenc");
    ASSERT_GT(opusInAll, 0);
    s.store.WriteString("DexAudioCompress", "CompressorName", "");
    s.store.WriteInt("DexAudioCompress", "CompressorNumber", opusInAll - 1);
    EXPECT_EQ(InitialCompressorPosition(CompressorCategory::Audio, s.store, OutputFormatMkv, mkv),
              at(mkv, "opusenc"));

    // A conversion with nothing chosen in this run binds the stored choice; a flag set in this
    // run is left alone.
    BindStoredCompressor(CompressorCategory::Audio, s.store, &job);
    EXPECT_EQ(job.m_bUseAudioCompressor, 1);
    EXPECT_EQ(job.m_audioCompressor.FactoryName(), "vorbisenc");
    job.m_bUseAudioCompressor = kCompressorFromStore;
    BindStoredCompressor(CompressorCategory::Audio, s.store, &job);
    EXPECT_EQ(job.m_bUseAudioCompressor, 1);
    EXPECT_EQ(job.m_audioCompressor.FactoryName(), "opusenc");
    s.store.WriteInt("DexAudioCompress", "CompressorNumber", -1);
    job.m_bUseAudioCompressor = kCompressorFromStore;
    BindStoredCompressor(CompressorCategory::Audio, s.store, &job);
    EXPECT_EQ(job.m_bUseAudioCompressor, 0);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(Compressors, TheCopyEntryComesFirstWhereOfferedIsStoredByNameAndIsNeverTheDefault)
{
    Store s;
    platform::MessageBoxRecorder boxes;
    const std::string h264 = "video/x-h264, stream-format=(string)avc, alignment=(string)au";
    // Offered where the container's writer takes the source's stream; nothing before a video
    // is open.
    EXPECT_TRUE(CopyOfferedFor(OutputFormatMp4, true, h264));
    EXPECT_TRUE(CopyOfferedFor(OutputFormatMkv, true, h264));
    EXPECT_FALSE(CopyOfferedFor(OutputFormatOgm, true, h264));
    EXPECT_FALSE(CopyOfferedFor(OutputFormatMp4, true, "audio/x-vorbis"));
    EXPECT_FALSE(CopyOfferedFor(OutputFormatMp4, true, ""));
    EXPECT_FALSE(CopyOfferedFor(OutputFormatMp4, false, ""));
    EXPECT_FALSE(CopyOfferedFor(OutputFormatWmv, false, ""));

    const auto plain = ContainerCompressors(CompressorCategory::Video, OutputFormatMp4);
    const auto withCopy = ContainerCompressors(CompressorCategory::Video, OutputFormatMp4, true);
    ASSERT_EQ(withCopy.size(), plain.size() + 1);
    EXPECT_EQ(withCopy.front().factoryName, kCopyFactory);
    EXPECT_EQ(withCopy.front().friendlyName, "Copy from the source (no re-encoding)");
    EXPECT_TRUE(
        std::equal(plain.begin(), plain.end(), withCopy.begin() + 1,
                   [](const auto &a, const auto &b) { return a.factoryName == b.factoryName; }));
    // The default is the same encoder with or without the entry before it.
    EXPECT_EQ(DefaultCompressorPosition(CompressorCategory::Video, OutputFormatMp4, withCopy),
              DefaultCompressorPosition(CompressorCategory::Video, OutputFormatMp4, plain) + 1);

    OutputSettings job;
    job.m_nOutputFormat = OutputFormatMp4;
    ConfirmContainerCompressor(CompressorCategory::Video, 1, withCopy, s.store, &job);
    EXPECT_EQ(job.m_bUseVideoCompressor, kCompressorCopy);
    EXPECT_TRUE(job.Copies(CompressorCategory::Video));
    EXPECT_FALSE(job.m_videoCompressor);
    EXPECT_EQ(ConversionVideoEncoder(job), kCopyFactory);
    EXPECT_EQ(s.store.ReadString("DexVideoCompress", "CompressorName", ""), kCopyFactory);
    EXPECT_TRUE(boxes.Boxes().empty());

    // Read back where it is offered; elsewhere the list opens at its default and a conversion
    // encodes.
    EXPECT_EQ(
        InitialCompressorPosition(CompressorCategory::Video, s.store, OutputFormatMp4, withCopy),
        1);
    EXPECT_EQ(InitialCompressorPosition(CompressorCategory::Video, s.store, OutputFormatMp4, plain),
              DefaultCompressorPosition(CompressorCategory::Video, OutputFormatMp4, plain));
    job.m_bUseVideoCompressor = kCompressorFromStore;
    BindStoredCompressor(CompressorCategory::Video, s.store, &job, true);
    EXPECT_EQ(job.m_bUseVideoCompressor, kCompressorCopy);
    job.m_bUseVideoCompressor = kCompressorFromStore;
    BindStoredCompressor(CompressorCategory::Video, s.store, &job, false);
    EXPECT_EQ(job.m_bUseVideoCompressor, 1);
    EXPECT_TRUE(job.m_videoCompressor);
}
