#pragma once

#include "media/core/MediaTypes.h"
#include "platform/Status.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Windows Media profiles: the streams an ASF file is written with, their codecs, formats and
// bitrates. A profile manager makes empty profiles, reads profile text (the XML of a .prx
// file) and lists the installed codecs' formats as ready stream configurations.

// Search failures of the profile builder.
constexpr HRESULT NS_E_AUDIO_CODEC_NOT_INSTALLED = static_cast<HRESULT>(0xC00D0BC2u);
constexpr HRESULT NS_E_VIDEO_CODEC_NOT_INSTALLED = static_cast<HRESULT>(0xC00D0BC4u);
// Profile text that is not a profile.
constexpr HRESULT NS_E_INVALID_DATA = static_cast<HRESULT>(0xC00D002Fu);

constexpr std::uint32_t WMT_VER_4_0 = 0x00040000;
constexpr std::uint32_t WMT_VER_7_0 = 0x00070000;
constexpr std::uint32_t WMT_VER_8_0 = 0x00080000;
constexpr std::uint32_t WMT_VER_9_0 = 0x00090000;

// One stream of a profile, with its media properties (and, for video, quality and key-frame
// spacing).
class WMStreamConfig
{
public:
    explicit WMStreamConfig(const media::GUID &streamType)
        : m_streamType(streamType)
    {
    }

    const media::GUID &GetStreamType() const { return m_streamType; }
    // 1 to 63.
    HRESULT SetStreamNumber(std::uint16_t number);
    std::uint16_t GetStreamNumber() const { return m_number; }
    HRESULT SetStreamName(const std::string &name);
    const std::string &GetStreamName() const { return m_name; }
    HRESULT SetConnectionName(const std::string &name);
    const std::string &GetConnectionName() const { return m_connection; }
    HRESULT SetBitrate(std::uint32_t bitrate);
    std::uint32_t GetBitrate() const { return m_bitrate; }

    // Media properties: E_INVALIDARG for a type of another major type, or a format block too
    // short for its format type.
    HRESULT SetMediaType(const media::AM_MEDIA_TYPE &type);
    HRESULT GetMediaType(media::AM_MEDIA_TYPE *type) const;

    // Video media properties: E_NOINTERFACE on an audio stream.
    HRESULT SetQuality(std::uint32_t quality);
    HRESULT SetMaxKeyFrameSpacing(std::int64_t spacing100ns);
    std::uint32_t GetQuality() const { return m_quality; }
    std::int64_t GetMaxKeyFrameSpacing() const { return m_keySpacing; }

    // The element factory that encodes this stream (from the codec catalogue); empty when no
    // installed encoder writes its format.
    std::string encoder;

private:
    friend class WMCodecInfo;
    media::GUID m_streamType;
    std::uint16_t m_number = 0;
    std::string m_name;
    std::string m_connection;
    std::uint32_t m_bitrate = 0;
    bool m_hasType = false;
    media::AM_MEDIA_TYPE m_type;
    std::uint32_t m_quality = 0;
    std::int64_t m_keySpacing = 0;
};

class WMProfile
{
public:
    explicit WMProfile(std::uint32_t version)
        : m_version(version)
    {
    }

    std::uint32_t GetVersion() const { return m_version; }
    HRESULT SetName(const std::string &name);
    const std::string &GetName() const { return m_name; }
    HRESULT SetDescription(const std::string &text);
    const std::string &GetDescription() const { return m_description; }

    // A new stream configuration of the major type, not yet in the profile.
    HRESULT CreateNewStream(const media::GUID &streamType, std::shared_ptr<WMStreamConfig> *config);
    // Adds a copy of the configuration. E_INVALIDARG when its number is unset or taken, or it
    // has no media type.
    HRESULT AddStream(const WMStreamConfig &config);
    std::size_t GetStreamCount() const { return m_streams.size(); }
    const WMStreamConfig &GetStream(std::size_t index) const { return m_streams.at(index); }

private:
    std::uint32_t m_version;
    std::string m_name;
    std::string m_description;
    std::vector<WMStreamConfig> m_streams;
};

// The installed codecs' formats, each as a stream configuration ready to be adjusted.
class WMCodecInfo
{
public:
    HRESULT GetCodecInfoCount(const media::GUID &majorType, std::uint32_t *count) const;
    HRESULT GetCodecFormatCount(const media::GUID &majorType, std::uint32_t codec,
                                std::uint32_t *count) const;
    HRESULT GetCodecFormat(const media::GUID &majorType, std::uint32_t codec, std::uint32_t format,
                           std::shared_ptr<WMStreamConfig> *config) const;
};

class WMProfileManager
{
public:
    HRESULT CreateEmptyProfile(std::uint32_t version, std::shared_ptr<WMProfile> *profile);
    // Reads profile text: <profile> with <streamconfig> elements holding a <wmmediatype> with
    // a <waveformatex> or a <videoinfoheader>. NS_E_INVALID_DATA for anything else.
    HRESULT LoadProfileByData(const std::string &text, std::shared_ptr<WMProfile> *profile);
    HRESULT GetCodecInfo(std::shared_ptr<WMCodecInfo> *info);
};

HRESULT WMCreateProfileManager(std::shared_ptr<WMProfileManager> *manager);
