#include "convert/WmProfile.h"

#include "media/output/WmCodecCatalogue.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstring>

using namespace media;

namespace {

bool FormatFits(const AM_MEDIA_TYPE &type)
{
    if (type.formattype == FORMAT_WaveFormatEx) {
        WAVEFORMATEX wfx;
        return type.WaveFormat(&wfx) && type.format.size() >= sizeof(wfx) + wfx.cbSize;
    }
    if (type.formattype == FORMAT_VideoInfo)
        return type.format.size() >= sizeof(VIDEOINFOHEADER);
    return true;
}

const std::vector<WmCodec> &CodecsOf(const GUID &majorType)
{
    static const std::vector<WmCodec> none;
    const WmCodecCatalogue &catalogue = CurrentWmCodecs();
    if (majorType == WMMEDIATYPE_Audio)
        return catalogue.audio;
    if (majorType == WMMEDIATYPE_Video)
        return catalogue.video;
    return none;
}

// The installed encoder that writes a stream's subtype, if any.
std::string EncoderFor(const GUID &majorType, const GUID &subtype)
{
    for (const WmCodec &codec : CodecsOf(majorType)) {
        for (const AM_MEDIA_TYPE &format : codec.formats) {
            if (format.subtype == subtype)
                return codec.encoder;
        }
    }
    return {};
}

} // namespace

// Stream configurations

HRESULT WMStreamConfig::SetStreamNumber(std::uint16_t number)
{
    if (number < 1 || number > 63)
        return E_INVALIDARG;
    m_number = number;
    return S_OK;
}

HRESULT WMStreamConfig::SetStreamName(const std::string &name)
{
    m_name = name;
    return S_OK;
}

HRESULT WMStreamConfig::SetConnectionName(const std::string &name)
{
    m_connection = name;
    return S_OK;
}

HRESULT WMStreamConfig::SetBitrate(std::uint32_t bitrate)
{
    m_bitrate = bitrate;
    return S_OK;
}

HRESULT WMStreamConfig::SetMediaType(const AM_MEDIA_TYPE &type)
{
    if (type.majortype != m_streamType || !FormatFits(type))
        return E_INVALIDARG;
    m_type = type;
    m_hasType = true;
    return S_OK;
}

HRESULT WMStreamConfig::GetMediaType(AM_MEDIA_TYPE *type) const
{
    if (!type)
        return E_POINTER;
    if (!m_hasType)
        return E_UNEXPECTED;
    *type = m_type;
    return S_OK;
}

HRESULT WMStreamConfig::SetQuality(std::uint32_t quality)
{
    if (m_streamType != WMMEDIATYPE_Video)
        return E_NOINTERFACE;
    if (quality > 100)
        return E_INVALIDARG;
    m_quality = quality;
    return S_OK;
}

HRESULT WMStreamConfig::SetMaxKeyFrameSpacing(std::int64_t spacing100ns)
{
    if (m_streamType != WMMEDIATYPE_Video)
        return E_NOINTERFACE;
    if (spacing100ns < 0)
        return E_INVALIDARG;
    m_keySpacing = spacing100ns;
    return S_OK;
}

// Profiles

HRESULT WMProfile::SetName(const std::string &name)
{
    m_name = name;
    return S_OK;
}

HRESULT WMProfile::SetDescription(const std::string &text)
{
    m_description = text;
    return S_OK;
}

HRESULT WMProfile::CreateNewStream(const GUID &streamType, std::shared_ptr<WMStreamConfig> *config)
{
    if (!config)
        return E_POINTER;
    if (streamType != WMMEDIATYPE_Audio && streamType != WMMEDIATYPE_Video)
        return E_INVALIDARG;
    *config = std::make_shared<WMStreamConfig>(streamType);
    return S_OK;
}

HRESULT WMProfile::AddStream(const WMStreamConfig &config)
{
    AM_MEDIA_TYPE type;
    if (config.GetStreamNumber() == 0 || FAILED(config.GetMediaType(&type)))
        return E_INVALIDARG;
    for (const WMStreamConfig &stream : m_streams) {
        if (stream.GetStreamNumber() == config.GetStreamNumber())
            return E_INVALIDARG;
    }
    m_streams.push_back(config);
    return S_OK;
}

// Codec information

HRESULT WMCodecInfo::GetCodecInfoCount(const GUID &majorType, std::uint32_t *count) const
{
    if (!count)
        return E_POINTER;
    *count = static_cast<std::uint32_t>(CodecsOf(majorType).size());
    return S_OK;
}

HRESULT WMCodecInfo::GetCodecFormatCount(const GUID &majorType, std::uint32_t codec,
                                         std::uint32_t *count) const
{
    if (!count)
        return E_POINTER;
    const auto &codecs = CodecsOf(majorType);
    if (codec >= codecs.size())
        return E_INVALIDARG;
    *count = static_cast<std::uint32_t>(codecs[codec].formats.size());
    return S_OK;
}

HRESULT WMCodecInfo::GetCodecFormat(const GUID &majorType, std::uint32_t codec,
                                    std::uint32_t format,
                                    std::shared_ptr<WMStreamConfig> *config) const
{
    if (!config)
        return E_POINTER;
    const auto &codecs = CodecsOf(majorType);
    if (codec >= codecs.size() || format >= codecs[codec].formats.size())
        return E_INVALIDARG;
    const AM_MEDIA_TYPE &type = codecs[codec].formats[format];
    auto made = std::make_shared<WMStreamConfig>(majorType);
    made->encoder = codecs[codec].encoder;
    // Taken as listed: the caller's search judges the format type.
    made->m_type = type;
    made->m_hasType = true;
    VIDEOINFOHEADER vih;
    WAVEFORMATEX wfx;
    if (type.formattype == FORMAT_WaveFormatEx && type.WaveFormat(&wfx))
        made->m_bitrate = wfx.nAvgBytesPerSec * 8;
    else if (type.formattype == FORMAT_VideoInfo && type.VideoInfo(&vih))
        made->m_bitrate = vih.dwBitRate;
    *config = std::move(made);
    return S_OK;
}

// The manager

HRESULT WMCreateProfileManager(std::shared_ptr<WMProfileManager> *manager)
{
    if (!manager)
        return E_POINTER;
    *manager = std::make_shared<WMProfileManager>();
    return S_OK;
}

HRESULT WMProfileManager::CreateEmptyProfile(std::uint32_t version,
                                             std::shared_ptr<WMProfile> *profile)
{
    if (!profile)
        return E_POINTER;
    if (version != WMT_VER_4_0 && version != WMT_VER_7_0 && version != WMT_VER_8_0
        && version != WMT_VER_9_0)
        return E_INVALIDARG;
    *profile = std::make_shared<WMProfile>(version);
    return S_OK;
}

HRESULT WMProfileManager::GetCodecInfo(std::shared_ptr<WMCodecInfo> *info)
{
    if (!info)
        return E_POINTER;
    *info = std::make_shared<WMCodecInfo>();
    return S_OK;
}

namespace {

// Attributes of profile text, names compared without case.
class Attributes
{
public:
    explicit Attributes(const QXmlStreamAttributes &attributes)
        : m_attributes(attributes)
    {
    }

    bool Has(const char *name) const { return Find(name) != nullptr; }
    QString Text(const char *name) const
    {
        const QXmlStreamAttribute *a = Find(name);
        return a ? a->value().toString() : QString();
    }
    // A whole number (decimal or 0x hex); false when missing or not a number.
    bool Number(const char *name, qint64 *value) const
    {
        const QXmlStreamAttribute *a = Find(name);
        if (!a)
            return false;
        bool ok = false;
        *value = a->value().toString().trimmed().toLongLong(&ok, 0);
        return ok;
    }
    template<typename T>
    bool Get(const char *name, T *out) const
    {
        qint64 v = 0;
        if (!Number(name, &v))
            return false;
        // Copied bytewise: out may be a member of a packed format record.
        const T narrowed = static_cast<T>(v);
        std::memcpy(out, &narrowed, sizeof narrowed);
        return true;
    }

private:
    const QXmlStreamAttribute *Find(const char *name) const
    {
        for (const QXmlStreamAttribute &a : m_attributes) {
            if (a.name().compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                return &a;
        }
        return nullptr;
    }
    QXmlStreamAttributes m_attributes; // a copy: callers pass temporaries
};

bool IsElement(const QXmlStreamReader &xml, const char *name)
{
    return xml.name().compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

bool ReadGuid(const Attributes &a, const char *name, GUID *guid)
{
    return GuidFromString(a.Text(name).toStdString(), guid);
}

// A FourCC written as four letters or as a number.
bool ReadFourCC(const Attributes &a, const char *name, std::uint32_t *fourcc)
{
    QString text = a.Text(name);
    if (text.size() == 4 && !text.at(0).isDigit()) {
        QByteArray b = text.toLatin1();
        const std::uint32_t code = MakeFourCC(b[0], b[1], b[2], b[3]);
        std::memcpy(fourcc, &code, sizeof code); // may sit in a packed record
        return true;
    }
    return a.Get(name, fourcc);
}

struct StreamInProgress
{
    std::shared_ptr<WMStreamConfig> config;
    AM_MEDIA_TYPE type;
    bool typed = false;
    VIDEOINFOHEADER vih;
    bool video = false;
};

bool ReadWaveFormat(QXmlStreamReader &xml, StreamInProgress &s)
{
    Attributes f(xml.attributes());
    WAVEFORMATEX wfx;
    if (!f.Get("wFormatTag", &wfx.wFormatTag) || !f.Get("nChannels", &wfx.nChannels)
        || !f.Get("nSamplesPerSec", &wfx.nSamplesPerSec)
        || !f.Get("nAvgBytesPerSec", &wfx.nAvgBytesPerSec)
        || !f.Get("nBlockAlign", &wfx.nBlockAlign))
        return false;
    f.Get("wBitsPerSample", &wfx.wBitsPerSample);
    QByteArray data = QByteArray::fromHex(f.Text("codecdata").toLatin1());
    wfx.cbSize = static_cast<std::uint16_t>(data.size());
    s.type.formattype = FORMAT_WaveFormatEx;
    s.type.SetWaveFormat(wfx);
    s.type.format.insert(s.type.format.end(), data.begin(), data.end());
    s.typed = true;
    xml.skipCurrentElement();
    return true;
}

bool ReadVideoInfo(QXmlStreamReader &xml, StreamInProgress &s)
{
    Attributes f(xml.attributes());
    VIDEOINFOHEADER &vih = s.vih;
    f.Get("dwbitrate", &vih.dwBitRate);
    f.Get("dwbiterrorrate", &vih.dwBitErrorRate);
    f.Get("avgtimeperframe", &vih.AvgTimePerFrame);
    bool header = false;
    while (xml.readNextStartElement()) {
        Attributes r(xml.attributes());
        RECT *rect = IsElement(xml, "rcsource")   ? &vih.rcSource
                     : IsElement(xml, "rctarget") ? &vih.rcTarget
                                                  : nullptr;
        if (rect) {
            r.Get("left", &rect->left);
            r.Get("top", &rect->top);
            r.Get("right", &rect->right);
            r.Get("bottom", &rect->bottom);
        } else if (IsElement(xml, "bitmapinfoheader")) {
            BITMAPINFOHEADER &b = vih.bmiHeader;
            b.biSize = sizeof(BITMAPINFOHEADER);
            if (!r.Get("biwidth", &b.biWidth) || !r.Get("biheight", &b.biHeight)
                || !ReadFourCC(r, "bicompression", &b.biCompression))
                return false;
            r.Get("biplanes", &b.biPlanes);
            r.Get("bibitcount", &b.biBitCount);
            r.Get("bisizeimage", &b.biSizeImage);
            header = true;
        }
        xml.skipCurrentElement();
    }
    if (!header)
        return false;
    s.type.formattype = FORMAT_VideoInfo;
    s.type.SetVideoInfo(vih);
    s.typed = true;
    return true;
}

bool ReadMediaType(QXmlStreamReader &xml, const GUID &major, StreamInProgress &s)
{
    Attributes a(xml.attributes());
    s.type.majortype = major;
    if (!ReadGuid(a, "subtype", &s.type.subtype))
        return false;
    qint64 v = 0;
    s.type.bFixedSizeSamples = a.Number("bfixedsizesamples", &v) && v != 0;
    s.type.bTemporalCompression = a.Number("btemporalcompression", &v) && v != 0;
    a.Get("lsamplesize", &s.type.lSampleSize);
    while (xml.readNextStartElement()) {
        if (IsElement(xml, "waveformatex")) {
            if (!ReadWaveFormat(xml, s))
                return false;
        } else if (IsElement(xml, "videoinfoheader")) {
            if (!ReadVideoInfo(xml, s))
                return false;
        } else {
            xml.skipCurrentElement();
        }
    }
    return true;
}

bool ReadVideoProps(QXmlStreamReader &xml, StreamInProgress &s)
{
    Attributes a(xml.attributes());
    qint64 spacing = 0;
    std::uint32_t quality = 0;
    if (a.Number("maxkeyframespacing", &spacing)
        && FAILED(s.config->SetMaxKeyFrameSpacing(spacing)))
        return false;
    if (a.Get("quality", &quality) && FAILED(s.config->SetQuality(quality)))
        return false;
    xml.skipCurrentElement();
    return true;
}

bool ReadStream(QXmlStreamReader &xml, const Attributes &attrs, WMProfile &profile)
{
    GUID major;
    std::uint16_t number = 0;
    std::uint32_t bitrate = 0;
    if (!ReadGuid(attrs, "majortype", &major) || !attrs.Get("streamnumber", &number))
        return false;
    StreamInProgress s;
    if (FAILED(profile.CreateNewStream(major, &s.config))
        || FAILED(s.config->SetStreamNumber(number)))
        return false;
    s.config->SetStreamName(attrs.Text("streamname").toStdString());
    s.config->SetConnectionName(attrs.Text("inputname").toStdString());
    if (attrs.Get("bitrate", &bitrate))
        s.config->SetBitrate(bitrate);

    while (xml.readNextStartElement()) {
        if (IsElement(xml, "videomediaprops")) {
            if (!ReadVideoProps(xml, s))
                return false;
        } else if (IsElement(xml, "wmmediatype")) {
            if (!ReadMediaType(xml, major, s))
                return false;
        } else {
            xml.skipCurrentElement();
        }
    }
    if (!s.typed || FAILED(s.config->SetMediaType(s.type)))
        return false;
    s.config->encoder = EncoderFor(major, s.type.subtype);
    return SUCCEEDED(profile.AddStream(*s.config));
}

} // namespace

HRESULT WMProfileManager::LoadProfileByData(const std::string &text,
                                            std::shared_ptr<WMProfile> *profile)
{
    if (!profile)
        return E_POINTER;
    QXmlStreamReader xml(QByteArray::fromStdString(text));
    if (!xml.readNextStartElement() || !IsElement(xml, "profile"))
        return NS_E_INVALID_DATA;
    Attributes top(xml.attributes());
    std::uint32_t version = WMT_VER_9_0;
    top.Get("version", &version);
    auto loaded = std::make_shared<WMProfile>(version);
    loaded->SetName(top.Text("name").toStdString());
    loaded->SetDescription(top.Text("description").toStdString());
    while (xml.readNextStartElement()) {
        if (IsElement(xml, "streamconfig")) {
            QXmlStreamAttributes attributes = xml.attributes();
            if (!ReadStream(xml, Attributes(attributes), *loaded))
                return NS_E_INVALID_DATA;
        } else {
            xml.skipCurrentElement();
        }
    }
    if (xml.hasError() || loaded->GetStreamCount() == 0)
        return NS_E_INVALID_DATA;
    *profile = std::move(loaded);
    return S_OK;
}
