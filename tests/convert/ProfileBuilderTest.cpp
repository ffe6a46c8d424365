#include "convert/ProfileBuilder.h"
#include "media/output/WmCodecCatalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace media;

namespace {

constexpr std::uint32_t kWMV1 = MakeFourCC('W', 'M', 'V', '1');
constexpr std::uint32_t kWMV2 = MakeFourCC('W', 'M', 'V', '2');
constexpr std::uint32_t kWMV3 = MakeFourCC('W', 'M', 'V', '3');

// A WMA 2 format of the given byte rate and block alignment; marker goes into the codec data
// so equal formats can be told apart.
AM_MEDIA_TYPE Wma(std::uint32_t avgBytes, std::uint16_t blockAlign, std::uint8_t marker = 0,
                  std::uint32_t rate = 44100, std::uint16_t channels = 2,
                  std::uint16_t tag = WAVE_FORMAT_WMAUDIO2)
{
    AM_MEDIA_TYPE type = WmaFormat(tag, rate, channels, 128000);
    WAVEFORMATEX wfx;
    type.WaveFormat(&wfx);
    wfx.nAvgBytesPerSec = avgBytes;
    wfx.nBlockAlign = blockAlign;
    type.SetWaveFormat(wfx);
    type.format.back() = marker;
    return type;
}

WmCodecCatalogue Catalogue(std::vector<AM_MEDIA_TYPE> audio,
                           std::vector<std::uint32_t> videoFourCCs = {kWMV2})
{
    WmCodecCatalogue c;
    c.audio.push_back({"test audio", "test_audio_enc", std::move(audio)});
    for (std::uint32_t fourcc : videoFourCCs)
        c.video.push_back(
            {FourCCToString(fourcc), "enc_" + FourCCToString(fourcc), {WmvFormat(fourcc)}});
    return c;
}

const AudioProfileRequest kAudio{128000, 0x161, 44100, 2};
VideoProfileRequest Video(std::uint32_t fps, std::uint32_t fourcc = kWMV3)
{
    return {fourcc, 798720, 480, 640, fps, 0, 8};
}

HRESULT Generate(const WmCodecCatalogue &catalogue, std::shared_ptr<WMProfile> *profile,
                 bool withVideo = true, std::uint32_t fps = 25, std::uint32_t fourcc = kWMV3)
{
    ScopedWmCodecs scope(catalogue);
    VideoProfileRequest video = Video(fps, fourcc);
    return GenerateProfile(&kAudio, withVideo ? &video : nullptr, withVideo ? 1 : 0, WMT_VER_9_0,
                           profile);
}

WAVEFORMATEX AudioOf(const WMProfile &profile)
{
    AM_MEDIA_TYPE type;
    EXPECT_EQ(profile.GetStream(0).GetMediaType(&type), S_OK);
    WAVEFORMATEX wfx;
    EXPECT_TRUE(type.WaveFormat(&wfx));
    return wfx;
}

TEST(ProfileBuilder, AudioBitrateMatchesWithin249BitsPerSecond)
{
    struct Case
    {
        std::uint32_t avgBytes;
        bool matches;
    };
    for (Case c : {Case{16000, true}, Case{15969, true}, Case{15968, false}, Case{16031, true},
                   Case{16032, false}}) {
        SCOPED_TRACE(c.avgBytes);
        std::shared_ptr<WMProfile> profile;
        HRESULT hr = Generate(Catalogue({Wma(c.avgBytes, 1000)}), &profile);
        if (!c.matches) {
            EXPECT_EQ(hr, NS_E_AUDIO_CODEC_NOT_INSTALLED);
            EXPECT_EQ(profile, nullptr);
            continue;
        }
        ASSERT_EQ(hr, S_OK);
        EXPECT_EQ(profile->GetStream(0).GetBitrate(), c.avgBytes * 8);
    }

    // Rate, channels and tag must be equal too.
    std::shared_ptr<WMProfile> profile;
    EXPECT_EQ(Generate(Catalogue({Wma(16000, 1000, 0, 48000), Wma(16000, 1000, 0, 44100, 1),
                                  Wma(16000, 1000, 0, 44100, 2, WAVE_FORMAT_MSAUDIO1)}),
                       &profile),
              NS_E_AUDIO_CODEC_NOT_INSTALLED);
    EXPECT_EQ(Generate(WmCodecCatalogue{}, &profile), NS_E_AUDIO_CODEC_NOT_INSTALLED);

    // A format that is not a wave format ends the search.
    AM_MEDIA_TYPE odd = Wma(16000, 1000);
    odd.formattype = FORMAT_VideoInfo;
    EXPECT_EQ(Generate(Catalogue({odd, Wma(16000, 1000)}), &profile), E_FAIL);
}

TEST(ProfileBuilder, BlockAlignmentBreaksTies)
{
    auto catalogue = Catalogue({Wma(16000, 2000, 1), Wma(16000, 1000, 2), Wma(16000, 3000, 3)});
    std::shared_ptr<WMProfile> profile;
    ASSERT_EQ(Generate(catalogue, &profile, true), S_OK);
    EXPECT_EQ(AudioOf(*profile).nBlockAlign, 1000); // with video: the smallest
    ASSERT_EQ(Generate(catalogue, &profile, false), S_OK);
    EXPECT_EQ(AudioOf(*profile).nBlockAlign, 3000); // without: the largest
    EXPECT_EQ(profile->GetStreamCount(), 1u);

    // Among equals the last listed wins, either way.
    catalogue = Catalogue({Wma(16000, 1000, 1), Wma(16000, 1000, 2)});
    for (bool video : {true, false}) {
        ASSERT_EQ(Generate(catalogue, &profile, video), S_OK);
        AM_MEDIA_TYPE type;
        profile->GetStream(0).GetMediaType(&type);
        EXPECT_EQ(type.format.back(), 2);
    }
}

TEST(ProfileBuilder, StreamsCarryTheRequestedFormats)
{
    std::shared_ptr<WMProfile> profile;
    ASSERT_EQ(Generate(Catalogue({Wma(16000, 1487, 7)}), &profile), S_OK);
    EXPECT_EQ(profile->GetName(), "Custom Profile");
    EXPECT_EQ(profile->GetVersion(), 0x00090000u);
    ASSERT_EQ(profile->GetStreamCount(), 2u);

    const WMStreamConfig &audio = profile->GetStream(0);
    EXPECT_EQ(audio.GetStreamNumber(), 1);
    EXPECT_EQ(audio.GetStreamName(), "Audio Stream");
    EXPECT_EQ(audio.GetConnectionName(), "Audio");
    EXPECT_EQ(audio.GetBitrate(), 128000u);
    EXPECT_EQ(audio.encoder, "test_audio_enc");
    AM_MEDIA_TYPE type;
    ASSERT_EQ(audio.GetMediaType(&type), S_OK);
    EXPECT_EQ(type.majortype, WMMEDIATYPE_Audio);
    EXPECT_EQ(GuidToString(type.subtype), "{00000161-0000-0010-8000-00AA00389B71}");
    EXPECT_TRUE(type.bFixedSizeSamples);
    EXPECT_FALSE(type.bTemporalCompression);
    EXPECT_EQ(type.lSampleSize, 1487u);
    EXPECT_EQ(type.formattype, WMFORMAT_WaveFormatEx);
    EXPECT_EQ(type.format.size(), 18u + 10u);
    EXPECT_EQ(type.format.back(), 7);

    const WMStreamConfig &video = profile->GetStream(1);
    EXPECT_EQ(video.GetStreamNumber(), 2);
    EXPECT_EQ(video.GetStreamName(), "Video Stream");
    EXPECT_EQ(video.GetConnectionName(), "Video");
    EXPECT_EQ(video.GetBitrate(), 798720u);
    EXPECT_EQ(video.GetQuality(), 0u);
    EXPECT_EQ(video.GetMaxKeyFrameSpacing(), 80000000);
    ASSERT_EQ(video.GetMediaType(&type), S_OK);
    EXPECT_EQ(type.formattype, WMFORMAT_VideoInfo);
    VIDEOINFOHEADER vih;
    ASSERT_TRUE(type.VideoInfo(&vih));
    EXPECT_EQ(vih.rcSource.right, 640);
    EXPECT_EQ(vih.rcSource.bottom, 480);
    EXPECT_EQ(vih.rcTarget.right, 640);
    EXPECT_EQ(vih.rcTarget.bottom, 480);
    EXPECT_EQ(vih.bmiHeader.biWidth, 640);
    EXPECT_EQ(vih.bmiHeader.biHeight, 480);
    EXPECT_EQ(vih.dwBitRate, 798720u);
    EXPECT_EQ(vih.AvgTimePerFrame, 400000);

    // 29.97 arrives as 29 whole frames.
    ASSERT_EQ(Generate(Catalogue({Wma(16000, 1487)}), &profile, true, 29), S_OK);
    profile->GetStream(1).GetMediaType(&type);
    type.VideoInfo(&vih);
    EXPECT_EQ(vih.AvgTimePerFrame, 344827);
    EXPECT_EQ(Generate(Catalogue({Wma(16000, 1487)}), &profile, true, 0), E_INVALIDARG);
}

TEST(ProfileBuilder, VideoFormatFallsBackToTheNewestInstalled)
{
    std::shared_ptr<WMProfile> profile;
    auto fourccOf = [&profile] {
        AM_MEDIA_TYPE type;
        VIDEOINFOHEADER vih;
        profile->GetStream(1).GetMediaType(&type);
        type.VideoInfo(&vih);
        return vih.bmiHeader.biCompression;
    };
    ASSERT_EQ(Generate(Catalogue({Wma(16000, 1000)}, {kWMV1, kWMV2}), &profile), S_OK);
    EXPECT_EQ(fourccOf(), kWMV2);
    EXPECT_EQ(profile->GetStream(1).encoder, "enc_WMV2");
    ASSERT_EQ(Generate(Catalogue({Wma(16000, 1000)}, {kWMV1, kWMV2, kWMV3}), &profile), S_OK);
    EXPECT_EQ(fourccOf(), kWMV3);
    ASSERT_EQ(Generate(Catalogue({Wma(16000, 1000)}, {kWMV1}), &profile), S_OK);
    EXPECT_EQ(fourccOf(), kWMV1);
    // Asked for by name, an older one is taken as asked.
    ASSERT_EQ(Generate(Catalogue({Wma(16000, 1000)}, {kWMV2, kWMV1}), &profile, true, 25, kWMV1),
              S_OK);
    EXPECT_EQ(fourccOf(), kWMV1);

    profile.reset();
    EXPECT_EQ(Generate(Catalogue({Wma(16000, 1000)}, {}), &profile),
              NS_E_VIDEO_CODEC_NOT_INSTALLED);
    EXPECT_EQ(profile, nullptr);
    EXPECT_EQ(Generate(Catalogue({Wma(16000, 1000)}, {kWMV2}), &profile, true, 25,
                       MakeFourCC('M', 'P', '4', '3')),
              NS_E_VIDEO_CODEC_NOT_INSTALLED);
}

TEST(ProfileBuilder, RequestsAreChecked)
{
    ScopedWmCodecs scope(Catalogue({Wma(16000, 1000)}));
    std::shared_ptr<WMProfile> profile;
    std::vector<VideoProfileRequest> many(64, Video(25));
    EXPECT_EQ(GenerateProfile(&kAudio, many.data(), 64, WMT_VER_9_0, &profile), E_INVALIDARG);
    EXPECT_EQ(GenerateProfile(&kAudio, nullptr, 1, WMT_VER_9_0, &profile), E_INVALIDARG);
    EXPECT_EQ(GenerateProfile(nullptr, many.data(), 1, WMT_VER_9_0, &profile), E_INVALIDARG);
    EXPECT_EQ(GenerateProfile(&kAudio, many.data(), 1, WMT_VER_9_0, nullptr), E_INVALIDARG);
    EXPECT_EQ(profile, nullptr);

    // Two requests: streams 2 and 3.
    ASSERT_EQ(GenerateProfile(&kAudio, many.data(), 2, WMT_VER_9_0, &profile), S_OK);
    ASSERT_EQ(profile->GetStreamCount(), 3u);
    EXPECT_EQ(profile->GetStream(2).GetStreamNumber(), 3);
}

TEST(ProfileBuilder, LibavcodecWmaFormatsMeetTheSettingsBitrates)
{
    // The audio bitrates the options offer, at 44.1 kHz stereo WMA 2.
    ScopedWmCodecs scope(Catalogue(WmaFormats(WAVE_FORMAT_WMAUDIO2)));
    for (std::uint32_t bitrate : {64000u, 128000u, 192000u, 320000u}) {
        SCOPED_TRACE(bitrate);
        AudioProfileRequest request{bitrate, 0x161, 44100, 2};
        std::shared_ptr<WMProfile> profile;
        ASSERT_EQ(GenerateProfile(&request, nullptr, 0, WMT_VER_9_0, &profile), S_OK);
        WAVEFORMATEX wfx = AudioOf(*profile);
        // libavcodec: block = bitrate x 2048 / (rate x 8) bytes, rounded down.
        EXPECT_EQ(wfx.nBlockAlign, std::uint64_t(bitrate) * 2048 / (44100 * 8));
        EXPECT_EQ(wfx.nAvgBytesPerSec, std::uint64_t(wfx.nBlockAlign) * 44100 / 2048);
        EXPECT_EQ(wfx.cbSize, 10);
    }
    // Below what libavcodec accepts, nothing.
    AudioProfileRequest low{16000, 0x161, 44100, 2};
    std::shared_ptr<WMProfile> profile;
    EXPECT_EQ(GenerateProfile(&low, nullptr, 0, WMT_VER_9_0, &profile),
              NS_E_AUDIO_CODEC_NOT_INSTALLED);

    std::vector<AM_MEDIA_TYPE> v1 = WmaFormats(WAVE_FORMAT_MSAUDIO1);
    ASSERT_FALSE(v1.empty());
    WAVEFORMATEX wfx;
    for (const AM_MEDIA_TYPE &t : v1) {
        ASSERT_TRUE(t.WaveFormat(&wfx));
        EXPECT_EQ(wfx.wFormatTag, 0x160);
        EXPECT_EQ(wfx.cbSize, 4);
        EXPECT_LE(wfx.nSamplesPerSec, 48000u);
        EXPECT_EQ(t.lSampleSize, wfx.nBlockAlign);
    }
}

TEST(ProfileBuilder, InstalledCatalogueListsOnlyOurWindowsMediaEncoders)
{
    const WmCodecCatalogue installed = InstalledWmCodecs();
    for (const WmCodec &c : installed.audio)
        EXPECT_TRUE(c.encoder == "cwenc_wmav2" || c.encoder == "cwenc_wmav1") << c.encoder;
    for (const WmCodec &c : installed.video)
        EXPECT_TRUE(c.encoder == "cwenc_wmv2" || c.encoder == "cwenc_wmv1") << c.encoder;
    // Whatever is installed, the builder answers with a profile or a search failure.
    std::shared_ptr<WMProfile> profile;
    VideoProfileRequest video = Video(25);
    HRESULT hr = GenerateProfile(&kAudio, &video, 1, WMT_VER_9_0, &profile);
    EXPECT_TRUE(hr == S_OK || hr == NS_E_AUDIO_CODEC_NOT_INSTALLED
                || hr == NS_E_VIDEO_CODEC_NOT_INSTALLED)
        << std::hex << hr;
}

TEST(MapProfile, ReadsProfileTextAndRefusesAnythingElse)
{
    std::shared_ptr<WMProfile> profile;
    EXPECT_EQ(MapProfile("test2", nullptr), E_POINTER);
    std::shared_ptr<WMProfileManager> manager;
    ASSERT_EQ(WMCreateProfileManager(&manager), S_OK);
    HRESULT direct = manager->LoadProfileByData("test2", &profile);
    EXPECT_LT(direct, 0);
    EXPECT_EQ(MapProfile("test2", &profile), direct);
    EXPECT_EQ(MapProfile("", &profile), direct);
    EXPECT_EQ(MapProfile("<profile version=\"589824\"></profile>", &profile), direct);
    EXPECT_EQ(profile, nullptr);

    const char *prx = R"(<profile version="589824" storageformat="1" name="Mine" description="">
  <streamconfig majortype="{73647561-0000-0010-8000-00AA00389B71}" streamnumber="1"
      streamname="Audio Stream" inputname="Audio409" bitrate="64000" bufferwindow="-1">
    <wmmediatype subtype="{00000161-0000-0010-8000-00AA00389B71}" bfixedsizesamples="1"
        btemporalcompression="0" lsamplesize="371">
      <waveformatex wFormatTag="353" nChannels="2" nSamplesPerSec="44100" nAvgBytesPerSec="7988"
          nBlockAlign="371" wBitsPerSample="16" codecdata="00000000010000000000"/>
    </wmmediatype>
  </streamconfig>
  <streamconfig majortype="{73646976-0000-0010-8000-00AA00389B71}" streamnumber="2"
      streamname="Video Stream" inputname="Video409" bitrate="500000" bufferwindow="5000">
    <videomediaprops maxkeyframespacing="80000000" quality="75"/>
    <wmmediatype subtype="{32564D57-0000-0010-8000-00AA00389B71}" bfixedsizesamples="0"
        btemporalcompression="1" lsamplesize="0">
      <videoinfoheader dwbitrate="500000" dwbiterrorrate="0" avgtimeperframe="400000">
        <rcsource left="0" top="0" right="352" bottom="288"/>
        <rctarget left="0" top="0" right="352" bottom="288"/>
        <bitmapinfoheader biwidth="352" biheight="288" biplanes="1" bibitcount="24"
            bicompression="WMV2" bisizeimage="0"/>
      </videoinfoheader>
    </wmmediatype>
  </streamconfig>
</profile>)";
    ASSERT_EQ(MapProfile(prx, &profile), S_OK);
    EXPECT_EQ(profile->GetName(), "Mine");
    ASSERT_EQ(profile->GetStreamCount(), 2u);
    EXPECT_EQ(profile->GetStream(0).GetBitrate(), 64000u);
    WAVEFORMATEX wfx = AudioOf(*profile);
    EXPECT_EQ(wfx.nBlockAlign, 371);
    EXPECT_EQ(wfx.cbSize, 10);
    AM_MEDIA_TYPE type;
    VIDEOINFOHEADER vih;
    ASSERT_EQ(profile->GetStream(1).GetMediaType(&type), S_OK);
    ASSERT_TRUE(type.VideoInfo(&vih));
    EXPECT_EQ(vih.bmiHeader.biCompression, kWMV2);
    EXPECT_EQ(vih.bmiHeader.biWidth, 352);
    EXPECT_EQ(vih.AvgTimePerFrame, 400000);
    EXPECT_EQ(profile->GetStream(1).GetQuality(), 75u);
    EXPECT_EQ(profile->GetStream(1).GetMaxKeyFrameSpacing(), 80000000);

    // A stream number used twice is not a profile.
    std::string twice = prx;
    twice.replace(twice.find("streamnumber=\"2\""), 16, "streamnumber=\"1\"");
    EXPECT_EQ(MapProfile(twice, &profile), direct);
}

} // namespace
