#include "media/output/WmCodecCatalogue.h"

#include "media/core/GstHandles.h"
#include "media/core/MediaPlatform.h"

#include <gst/gst.h>

namespace media {

namespace {

// Samples per coded frame of libavcodec's WMA encoders, by sample rate and version.
std::uint32_t WmaFrameLength(std::uint16_t formatTag, std::uint32_t sampleRate)
{
    if (sampleRate <= 16000)
        return 512;
    if (sampleRate <= 22050 || (formatTag == WAVE_FORMAT_MSAUDIO1 && sampleRate <= 32000))
        return 1024;
    return 2048;
}

constexpr std::uint32_t kWmaSampleRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
constexpr std::uint32_t kWmaBitrates[]
    = {24000, 32000, 40000, 48000, 64000, 80000, 96000, 128000, 160000, 192000, 256000, 320000};
constexpr std::uint32_t kMaxSuperframeBytes = 32768;

bool FactoryInstalled(const char *name)
{
    gst::Object<GstElementFactory> factory(gst_element_factory_find(name));
    return factory != nullptr;
}

const WmCodecCatalogue *g_override = nullptr;

} // namespace

AM_MEDIA_TYPE WmaFormat(std::uint16_t formatTag, std::uint32_t sampleRate, std::uint16_t channels,
                        std::uint32_t bitrate)
{
    const std::uint32_t frame = WmaFrameLength(formatTag, sampleRate);
    std::uint64_t blockAlign = std::uint64_t(bitrate) * frame / (std::uint64_t(sampleRate) * 8);
    if (blockAlign > kMaxSuperframeBytes)
        blockAlign = kMaxSuperframeBytes;

    WAVEFORMATEX wfx;
    wfx.wFormatTag = formatTag;
    wfx.nChannels = channels;
    wfx.nSamplesPerSec = sampleRate;
    // What the encoder writes: one block of blockAlign bytes per frame.
    wfx.nAvgBytesPerSec = static_cast<std::uint32_t>(blockAlign * sampleRate / frame);
    wfx.nBlockAlign = static_cast<std::uint16_t>(blockAlign);
    wfx.wBitsPerSample = 16;
    // The encoder's codec data: flags of version 1 (two 16-bit words) or 2 (32 + 16 bits and
    // four reserved bytes); exponents coded with VLC.
    std::vector<std::uint8_t> codecData;
    if (formatTag == WAVE_FORMAT_MSAUDIO1)
        codecData = {0, 0, 1, 0};
    else
        codecData = {0, 0, 0, 0, 1, 0, 0, 0, 0, 0};
    wfx.cbSize = static_cast<std::uint16_t>(codecData.size());

    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Audio;
    type.subtype = GuidFromFourCC(formatTag);
    type.bFixedSizeSamples = true;
    type.lSampleSize = wfx.nBlockAlign;
    type.formattype = FORMAT_WaveFormatEx;
    type.SetWaveFormat(wfx);
    type.format.insert(type.format.end(), codecData.begin(), codecData.end());
    return type;
}

std::vector<AM_MEDIA_TYPE> WmaFormats(std::uint16_t formatTag)
{
    std::vector<AM_MEDIA_TYPE> formats;
    for (std::uint32_t rate : kWmaSampleRates)
        for (std::uint16_t channels : {1, 2})
            for (std::uint32_t bitrate : kWmaBitrates)
                formats.push_back(WmaFormat(formatTag, rate, channels, bitrate));
    return formats;
}

AM_MEDIA_TYPE WmvFormat(std::uint32_t fourcc)
{
    VIDEOINFOHEADER vih;
    vih.rcSource = {0, 0, 320, 240};
    vih.rcTarget = {0, 0, 320, 240};
    vih.dwBitRate = 500000;
    vih.AvgTimePerFrame = 333333;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = 320;
    vih.bmiHeader.biHeight = 240;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 24;
    vih.bmiHeader.biCompression = fourcc;

    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = GuidFromFourCC(fourcc);
    type.bFixedSizeSamples = false;
    type.bTemporalCompression = true;
    type.formattype = FORMAT_VideoInfo;
    type.SetVideoInfo(vih);
    return type;
}

WmCodecCatalogue InstalledWmCodecs()
{
    WmCodecCatalogue catalogue;
    if (!InitializeMediaPlatform(nullptr, MediaServices::Playback))
        return catalogue;
    if (FactoryInstalled("cwenc_wmav2"))
        catalogue.audio.push_back(
            {"Windows Media Audio 2", "cwenc_wmav2", WmaFormats(WAVE_FORMAT_WMAUDIO2)});
    if (FactoryInstalled("cwenc_wmav1"))
        catalogue.audio.push_back(
            {"Windows Media Audio 1", "cwenc_wmav1", WmaFormats(WAVE_FORMAT_MSAUDIO1)});
    if (FactoryInstalled("cwenc_wmv2"))
        catalogue.video.push_back(
            {"Windows Media Video 8", "cwenc_wmv2", {WmvFormat(MakeFourCC('W', 'M', 'V', '2'))}});
    if (FactoryInstalled("cwenc_wmv1"))
        catalogue.video.push_back(
            {"Windows Media Video 7", "cwenc_wmv1", {WmvFormat(MakeFourCC('W', 'M', 'V', '1'))}});
    return catalogue;
}

const WmCodecCatalogue &CurrentWmCodecs()
{
    if (g_override)
        return *g_override;
    static const WmCodecCatalogue installed = InstalledWmCodecs();
    return installed;
}

ScopedWmCodecs::ScopedWmCodecs(WmCodecCatalogue catalogue)
    : m_catalogue(std::move(catalogue))
    , m_previous(g_override)
{
    g_override = &m_catalogue;
}

ScopedWmCodecs::~ScopedWmCodecs()
{
    g_override = m_previous;
}

} // namespace media
