#pragma once

#include "media/core/MediaTypes.h"

#include <cstdint>
#include <string>
#include <vector>

// The Windows Media encoders installed here and the stream formats each can write. The profile
// builder searches it for an audio format that matches a request and for a video format of a
// FourCC. Tests put a catalogue of chosen formats in its place.
namespace media {

struct WmCodec
{
    std::string name;    // readable name, e.g. "Windows Media Audio 2"
    std::string encoder; // GStreamer element factory that encodes it
    // Each format is a complete stream media type: audio with FORMAT_WaveFormatEx (the record
    // and its codec data), video with FORMAT_VideoInfo.
    std::vector<AM_MEDIA_TYPE> formats;
};

struct WmCodecCatalogue
{
    std::vector<WmCodec> audio;
    std::vector<WmCodec> video;
};

// Encoders listed when installed, in this order: audio "cwenc_wmav2" (WMA 2, tag 0x161) and
// "cwenc_wmav1" (WMA 1, tag 0x160); video "cwenc_wmv2" (FourCC WMV2) and "cwenc_wmv1" (WMV1).
// A factory that is not registered is left out. Starts the media platform if needed.
WmCodecCatalogue InstalledWmCodecs();

// The catalogue in use: the one installed in the scope below, else InstalledWmCodecs() (read
// once per process).
const WmCodecCatalogue &CurrentWmCodecs();

// Puts a catalogue in place of the installed one for its lifetime.
class ScopedWmCodecs
{
public:
    explicit ScopedWmCodecs(WmCodecCatalogue catalogue);
    ~ScopedWmCodecs();
    ScopedWmCodecs(const ScopedWmCodecs &) = delete;
    ScopedWmCodecs &operator=(const ScopedWmCodecs &) = delete;

private:
    WmCodecCatalogue m_catalogue;
    const WmCodecCatalogue *m_previous;
};

// Every format a WMA encoder of libavcodec accepts (tag 0x160 or 0x161): sample rates up to
// 48 kHz, mono and stereo, bitrates from 24 kbit/s, each with the block alignment and the
// byte rate the encoder then writes. Ordered by sample rate, channels, bitrate.
std::vector<AM_MEDIA_TYPE> WmaFormats(std::uint16_t formatTag);
// One audio format as the encoder writes it.
AM_MEDIA_TYPE WmaFormat(std::uint16_t formatTag, std::uint32_t sampleRate, std::uint16_t channels,
                        std::uint32_t bitrate);
// A video format of a FourCC: 320x240, 30 fps, 24-bit, 500 kbit/s until a profile sets them.
AM_MEDIA_TYPE WmvFormat(std::uint32_t fourcc);

} // namespace media
