#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Media types as the editing timeline and the Windows Media profiles describe them: a major
// type, a subtype and a format block holding a video-info or wave-format record. The records
// keep their on-disk layout so a format block's size means what it means in a .prx profile.
namespace media {

struct GUID
{
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::array<std::uint8_t, 8> Data4{};

    friend bool operator==(const GUID &, const GUID &) = default;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex.
std::string GuidToString(const GUID &guid);
// Accepts the form above, braces optional, any case; false for anything else.
bool GuidFromString(const std::string &text, GUID *guid);
// The subtype GUID of a wave format tag or FourCC: Data1 = value, rest
// -0000-0010-8000-00AA00389B71.
GUID GuidFromFourCC(std::uint32_t value);

constexpr std::uint32_t MakeFourCC(char a, char b, char c, char d)
{
    return std::uint32_t(std::uint8_t(a)) | std::uint32_t(std::uint8_t(b)) << 8
           | std::uint32_t(std::uint8_t(c)) << 16 | std::uint32_t(std::uint8_t(d)) << 24;
}
std::string FourCCToString(std::uint32_t fourcc);

extern const GUID GUID_NULL;
extern const GUID MEDIATYPE_Video; // also WMMEDIATYPE_Video
extern const GUID MEDIATYPE_Audio; // also WMMEDIATYPE_Audio
extern const GUID MEDIASUBTYPE_RGB24;
extern const GUID FORMAT_VideoInfo;    // also WMFORMAT_VideoInfo
extern const GUID FORMAT_WaveFormatEx; // also WMFORMAT_WaveFormatEx
inline const GUID &WMMEDIATYPE_Video = MEDIATYPE_Video;
inline const GUID &WMMEDIATYPE_Audio = MEDIATYPE_Audio;
inline const GUID &WMFORMAT_VideoInfo = FORMAT_VideoInfo;
inline const GUID &WMFORMAT_WaveFormatEx = FORMAT_WaveFormatEx;

constexpr std::uint32_t BI_RGB = 0;
constexpr std::uint16_t WAVE_FORMAT_MSAUDIO1 = 0x160;
constexpr std::uint16_t WAVE_FORMAT_WMAUDIO2 = 0x161;

#pragma pack(push, 1)
struct RECT
{
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};
struct BITMAPINFOHEADER
{
    std::uint32_t biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    std::uint16_t biPlanes = 0;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};
struct VIDEOINFOHEADER
{
    RECT rcSource;
    RECT rcTarget;
    std::uint32_t dwBitRate = 0;
    std::uint32_t dwBitErrorRate = 0;
    std::int64_t AvgTimePerFrame = 0;
    BITMAPINFOHEADER bmiHeader;
};
// Followed in a format block by cbSize bytes of codec data.
struct WAVEFORMATEX
{
    std::uint16_t wFormatTag = 0;
    std::uint16_t nChannels = 0;
    std::uint32_t nSamplesPerSec = 0;
    std::uint32_t nAvgBytesPerSec = 0;
    std::uint16_t nBlockAlign = 0;
    std::uint16_t wBitsPerSample = 0;
    std::uint16_t cbSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(VIDEOINFOHEADER) == 88);
static_assert(sizeof(WAVEFORMATEX) == 18);

struct AM_MEDIA_TYPE
{
    GUID majortype;
    GUID subtype;
    bool bFixedSizeSamples = false;
    bool bTemporalCompression = false;
    std::uint32_t lSampleSize = 0;
    GUID formattype;
    std::vector<std::uint8_t> format; // cbFormat = format.size()

    // The format block read as a record; false when it is too short for one.
    bool VideoInfo(VIDEOINFOHEADER *vih) const { return Read(vih); }
    bool WaveFormat(WAVEFORMATEX *wfx) const { return Read(wfx); }
    void SetVideoInfo(const VIDEOINFOHEADER &vih) { Write(vih); }
    // Writes the record and keeps the codec data that follows it, when there is any.
    void SetWaveFormat(const WAVEFORMATEX &wfx) { Write(wfx); }

private:
    template<typename T>
    bool Read(T *out) const
    {
        if (format.size() < sizeof(T))
            return false;
        std::memcpy(out, format.data(), sizeof(T));
        return true;
    }
    template<typename T>
    void Write(const T &in)
    {
        if (format.size() < sizeof(T))
            format.resize(sizeof(T));
        std::memcpy(format.data(), &in, sizeof(T));
    }
};

} // namespace media
