#include "media/core/MediaTypes.h"

#include <cctype>
#include <cstdio>

namespace media {

namespace {

constexpr GUID Guid(std::uint32_t d1, std::uint16_t d2, std::uint16_t d3,
                    std::array<std::uint8_t, 8> d4)
{
    GUID g;
    g.Data1 = d1;
    g.Data2 = d2;
    g.Data3 = d3;
    g.Data4 = d4;
    return g;
}

constexpr std::array<std::uint8_t, 8> kFourCCTail{0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

} // namespace

const GUID GUID_NULL{};
const GUID MEDIATYPE_Video = Guid(0x73646976, 0x0000, 0x0010, kFourCCTail);
const GUID MEDIATYPE_Audio = Guid(0x73647561, 0x0000, 0x0010, kFourCCTail);
const GUID MEDIASUBTYPE_RGB24
    = Guid(0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70});
const GUID FORMAT_VideoInfo
    = Guid(0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A});
const GUID FORMAT_WaveFormatEx
    = Guid(0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A});

std::string GuidToString(const GUID &g)
{
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1,
                  g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                  g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

bool GuidFromString(const std::string &text, GUID *guid)
{
    std::string s = text;
    if (s.size() == 38 && s.front() == '{' && s.back() == '}')
        s = s.substr(1, 36);
    if (s.size() != 36)
        return false;
    std::string hex;
    for (std::size_t i = 0; i < s.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash != (s[i] == '-'))
            return false;
        if (!dash) {
            if (!std::isxdigit(static_cast<unsigned char>(s[i])))
                return false;
            hex += s[i];
        }
    }
    auto field = [&hex](std::size_t at, std::size_t digits) {
        return std::stoull(hex.substr(at, digits), nullptr, 16);
    };
    GUID g;
    g.Data1 = static_cast<std::uint32_t>(field(0, 8));
    g.Data2 = static_cast<std::uint16_t>(field(8, 4));
    g.Data3 = static_cast<std::uint16_t>(field(12, 4));
    for (std::size_t i = 0; i < 8; ++i)
        g.Data4[i] = static_cast<std::uint8_t>(field(16 + 2 * i, 2));
    *guid = g;
    return true;
}

GUID GuidFromFourCC(std::uint32_t value)
{
    return Guid(value, 0x0000, 0x0010, kFourCCTail);
}

std::string FourCCToString(std::uint32_t fourcc)
{
    std::string s;
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((fourcc >> (8 * i)) & 0xFF);
    return s;
}

} // namespace media
