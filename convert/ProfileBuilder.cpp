#include "convert/ProfileBuilder.h"

#include <cstdio>
#include <cstdlib>

using namespace media;

namespace {

constexpr std::uint32_t kMaxVideoRequests = 63;
constexpr std::int64_t kBitrateWindow = 249; // bits per second, either side

// Windows Media video FourCCs from the newest.
constexpr std::uint32_t kWmvByAge[] = {
    MakeFourCC('W', 'M', 'V', '3'), MakeFourCC('W', 'M', 'V', '2'), MakeFourCC('W', 'M', 'V', '1')};

// The first installed video format of the FourCC, with its configuration.
HRESULT FindVideoFormat(const WMCodecInfo &info, std::uint32_t fourcc,
                        std::shared_ptr<WMStreamConfig> *config, AM_MEDIA_TYPE *type)
{
    std::uint32_t codecs = 0;
    HRESULT hr = info.GetCodecInfoCount(WMMEDIATYPE_Video, &codecs);
    if (FAILED(hr))
        return hr;
    for (std::uint32_t c = 0; c < codecs; ++c) {
        std::uint32_t formats = 0;
        hr = info.GetCodecFormatCount(WMMEDIATYPE_Video, c, &formats);
        if (FAILED(hr))
            return hr;
        for (std::uint32_t f = 0; f < formats; ++f) {
            std::shared_ptr<WMStreamConfig> candidate;
            hr = info.GetCodecFormat(WMMEDIATYPE_Video, c, f, &candidate);
            if (SUCCEEDED(hr))
                hr = candidate->GetMediaType(type);
            if (FAILED(hr))
                return hr;
            VIDEOINFOHEADER vih;
            if (type->formattype == WMFORMAT_VideoInfo && type->VideoInfo(&vih)
                && vih.bmiHeader.biCompression == fourcc) {
                *config = std::move(candidate);
                return S_OK;
            }
        }
    }
    return S_FALSE;
}

} // namespace

HRESULT GenerateProfile(const AudioProfileRequest *audio, const VideoProfileRequest *video,
                        std::uint32_t videoCount, std::uint32_t version,
                        std::shared_ptr<WMProfile> *profile)
{
    if (!audio || !profile || videoCount > kMaxVideoRequests || (videoCount > 0 && !video))
        return E_INVALIDARG;

    std::shared_ptr<WMProfileManager> manager;
    HRESULT hr = WMCreateProfileManager(&manager);
    if (FAILED(hr))
        return hr;
    std::shared_ptr<WMProfile> made;
    hr = manager->CreateEmptyProfile(version, &made);
    if (SUCCEEDED(hr))
        hr = made->SetName("Custom Profile");
    if (SUCCEEDED(hr))
        hr = AppendAudioStreamConfig(audio->formatTag, audio->bitrate, audio->sampleRate,
                                     audio->channels, videoCount > 0, *made, *manager);
    for (std::uint32_t n = 0; SUCCEEDED(hr) && n < videoCount; ++n) {
        const VideoProfileRequest &v = video[n];
        hr = AppendVideoStreamConfig(*made, *manager, static_cast<std::uint16_t>(n + 2), v.fourcc,
                                     v.bitrate, v.width, v.height, v.framesPerSecond, v.quality,
                                     v.keyFrameSpacing);
    }
    if (FAILED(hr))
        return hr;
    *profile = std::move(made);
    return S_OK;
}

namespace {

// The sound format a stream of the profile is made from, and the encoder that writes it.
struct AudioChoice
{
    bool found = false;
    AM_MEDIA_TYPE type;
    WAVEFORMATEX format;
    std::string encoder;
};

// The codecs' format of that tag, bitrate, rate and channels. With video the smallest blocks win
// (finer interleaving), else the largest; the last of equals wins either way.
HRESULT FindAudioFormat(WMCodecInfo &info, std::uint32_t formatTag, std::uint32_t bitrate,
                        std::uint32_t sampleRate, std::uint32_t channels, bool profileHasVideo,
                        AudioChoice *choice)
{
    std::uint32_t codecs = 0;
    HRESULT hr = info.GetCodecInfoCount(WMMEDIATYPE_Audio, &codecs);
    if (FAILED(hr))
        return hr;
    for (std::uint32_t c = 0; c < codecs; ++c) {
        std::uint32_t formats = 0;
        hr = info.GetCodecFormatCount(WMMEDIATYPE_Audio, c, &formats);
        if (FAILED(hr))
            return hr;
        for (std::uint32_t f = 0; f < formats; ++f) {
            std::shared_ptr<WMStreamConfig> config;
            AM_MEDIA_TYPE type;
            hr = info.GetCodecFormat(WMMEDIATYPE_Audio, c, f, &config);
            if (SUCCEEDED(hr))
                hr = config->GetMediaType(&type);
            if (FAILED(hr))
                return hr;
            WAVEFORMATEX wfx;
            if (type.formattype != WMFORMAT_WaveFormatEx || !type.WaveFormat(&wfx))
                return E_FAIL;
            const std::int64_t bits = std::int64_t(wfx.nAvgBytesPerSec) * 8;
            if (std::llabs(bits - std::int64_t(bitrate)) > kBitrateWindow
                || wfx.nSamplesPerSec != sampleRate || wfx.nChannels != channels
                || wfx.wFormatTag != formatTag)
                continue;
            const bool better
                = !choice->found
                  || (profileHasVideo ? wfx.nBlockAlign <= choice->format.nBlockAlign
                                      : wfx.nBlockAlign >= choice->format.nBlockAlign);
            if (better) {
                choice->found = true;
                choice->format = wfx;
                choice->type = type;
                choice->encoder = config->encoder;
            }
        }
    }
    return S_OK;
}

} // namespace

HRESULT AppendAudioStreamConfig(std::uint32_t formatTag, std::uint32_t bitrate,
                                std::uint32_t sampleRate, std::uint32_t channels,
                                bool profileHasVideo, WMProfile &profile, WMProfileManager &manager)
{
    std::shared_ptr<WMCodecInfo> info;
    HRESULT hr = manager.GetCodecInfo(&info);
    if (FAILED(hr))
        return hr;
    AudioChoice choice;
    hr = FindAudioFormat(*info, formatTag, bitrate, sampleRate, channels, profileHasVideo, &choice);
    if (FAILED(hr))
        return hr;
    if (!choice.found)
        return NS_E_AUDIO_CODEC_NOT_INSTALLED;
    const WAVEFORMATEX &best = choice.format;

    AM_MEDIA_TYPE stream;
    stream.majortype = WMMEDIATYPE_Audio;
    stream.subtype = GuidFromFourCC(best.wFormatTag);
    stream.bFixedSizeSamples = true;
    stream.bTemporalCompression = false;
    stream.lSampleSize = best.nBlockAlign;
    stream.formattype = WMFORMAT_WaveFormatEx;
    // The record and its codec data: 18 + cbSize bytes.
    const std::size_t size = sizeof(WAVEFORMATEX) + best.cbSize;
    if (choice.type.format.size() < size)
        return E_FAIL;
    stream.format.assign(choice.type.format.begin(), choice.type.format.begin() + size);

    std::shared_ptr<WMStreamConfig> config;
    hr = profile.CreateNewStream(WMMEDIATYPE_Audio, &config);
    if (FAILED(hr))
        return hr;
    hr = FillStreamConfig(*config, 1, "Audio Stream", "Audio", best.nAvgBytesPerSec * 8, stream);
    if (FAILED(hr))
        return hr;
    config->encoder = choice.encoder;
    return profile.AddStream(*config);
}

HRESULT AppendVideoStreamConfig(WMProfile &profile, WMProfileManager &manager,
                                std::uint16_t streamNumber, std::uint32_t fourcc,
                                std::uint32_t bitrate, std::uint32_t width, std::uint32_t height,
                                std::uint32_t framesPerSecond, std::uint32_t quality,
                                std::uint32_t keyFrameSpacing)
{
    if (framesPerSecond == 0)
        return E_INVALIDARG; // no time per frame
    std::shared_ptr<WMCodecInfo> info;
    HRESULT hr = manager.GetCodecInfo(&info);
    if (FAILED(hr))
        return hr;

    std::shared_ptr<WMStreamConfig> config;
    AM_MEDIA_TYPE type;
    hr = FindVideoFormat(*info, fourcc, &config, &type);
    bool askedForWmv = false;
    for (std::uint32_t wmv : kWmvByAge)
        askedForWmv = askedForWmv || wmv == fourcc;
    // No VC-1 encoder exists here: a request for one of the Windows Media video formats takes
    // the newest that is installed.
    for (std::size_t i = 0; hr == S_FALSE && askedForWmv && i < std::size(kWmvByAge); ++i)
        hr = FindVideoFormat(*info, kWmvByAge[i], &config, &type);
    if (FAILED(hr))
        return hr;
    if (hr == S_FALSE)
        return NS_E_VIDEO_CODEC_NOT_INSTALLED;

    VIDEOINFOHEADER vih;
    type.VideoInfo(&vih);
    vih.rcSource.right = vih.rcTarget.right = static_cast<std::int32_t>(width);
    vih.rcSource.bottom = vih.rcTarget.bottom = static_cast<std::int32_t>(height);
    vih.bmiHeader.biWidth = static_cast<std::int32_t>(width);
    vih.bmiHeader.biHeight = static_cast<std::int32_t>(height);
    vih.dwBitRate = bitrate;
    vih.AvgTimePerFrame = 10000000 / framesPerSecond;
    type.SetVideoInfo(vih);

    hr = config->SetQuality(quality);
    if (SUCCEEDED(hr))
        hr = config->SetMaxKeyFrameSpacing(std::int64_t(keyFrameSpacing) * 10000000);
    if (SUCCEEDED(hr))
        hr = FillStreamConfig(*config, streamNumber, "Video Stream", "Video", bitrate, type);
    if (SUCCEEDED(hr))
        hr = profile.AddStream(*config);
    return hr;
}

HRESULT FillStreamConfig(WMStreamConfig &config, std::uint16_t streamNumber,
                         const std::string &streamName, const std::string &connectionName,
                         std::uint32_t bitrate, const AM_MEDIA_TYPE &mediaType)
{
    HRESULT hr = config.SetStreamNumber(streamNumber);
    if (SUCCEEDED(hr))
        hr = config.SetStreamName(streamName);
    if (SUCCEEDED(hr))
        hr = config.SetConnectionName(connectionName);
    if (SUCCEEDED(hr))
        hr = config.SetBitrate(bitrate);
    if (SUCCEEDED(hr))
        hr = config.SetMediaType(mediaType);
    return hr;
}

HRESULT MapProfile(const std::string &text, std::shared_ptr<WMProfile> *profile)
{
    if (!profile)
        return E_POINTER;
    std::shared_ptr<WMProfileManager> manager;
    HRESULT hr = WMCreateProfileManager(&manager);
    if (FAILED(hr)) {
        std::printf("MapProfile: Failed to create profile manager!  hr=0x%x\n",
                    static_cast<unsigned>(hr));
        return hr;
    }
    return manager->LoadProfileByData(text, profile);
}
