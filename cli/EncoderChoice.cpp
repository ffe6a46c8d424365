#include "cli/EncoderChoice.h"

#include "cli/CliMessages.h"
#include "cli/ConvertOptions.h"
#include "media/encoders/CompressorEnumeration.h"
#include "media/output/WriterFormats.h"
#include "settings/OutputSettings.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace {

// What an encoder takes as a frame size: sides up to maxSide, at most maxArea pixels in all
// (0: no such limit), and whether both sides must be even.
struct FrameSizeRule
{
    int maxSide = 0;
    double maxArea = 0;
    bool even = false;
};

FrameSizeRule FrameSizeRuleOf(const std::string &factory)
{
    // H.264 readers take frames up to its highest level (139264 macroblocks, 8192x4320) and
    // 4:2:0 pictures of even sides only. Our libavcodec encoders take 16 to 4096 a side, and
    // the Windows Media ones even sides only.
    static const std::map<std::string, FrameSizeRule> kRules{
        {"x264enc", {kMaxFrameSide, 8192.0 * 4320.0, true}},
        {"cwenc_wmv1", {4096, 0, true}},
        {"cwenc_wmv2", {4096, 0, true}},
        {"cwenc_msmpeg4", {4096, 0, false}},
        {"cwenc_mpeg4", {4096, 0, false}},
    };
    auto it = kRules.find(factory);
    return it != kRules.end() ? it->second : FrameSizeRule{kMaxFrameSide, 0, false};
}

// An encoder named on the command line: its factory name or its listed name.
bool FindEncoder(CompressorCategory category, const std::string &name, std::string *factory)
{
    std::vector<media::CompressorDevice> devices;
    media::EnumerateCompressors(category, &devices);
    for (const auto &d : devices) {
        if (d.factoryName == name || Lower(d.friendlyName) == Lower(name)) {
            *factory = d.factoryName;
            return true;
        }
    }
    return false;
}

// The muxer that writes a container (not Windows Media: that writer brings its encoders).
const char *MuxerOf(int format)
{
    switch (format) {
    case OutputFormatAvi:
        return "avimux";
    case OutputFormatMkv:
        return "matroskamux";
    case OutputFormatMp4:
        return "mp4mux";
    case OutputFormatOgm:
        return "oggmux";
    default:
        return "";
    }
}

const char *FormatName(int format)
{
    static const char *const kNames[] = {"AVI", "WMV", "MKV", "ASF", "MP4", "DSM", "OGM"};
    return format >= 0 && format <= OutputFormatOgm ? kNames[format] : "this format";
}

// Whether the container's writer takes what the encoder (none: uncompressed) puts out. Ogg
// encodes uncompressed input itself.
bool Suits(int format, const media::Filter &encoder, bool video)
{
    if (format == OutputFormatOgm && !encoder)
        return true;
    return media::WriterTakes(MuxerOf(format), encoder, video);
}

// The encoder named by --video-encoder/--audio-encoder; false after a message.
bool BindNamedEncoder(CompressorCategory category, const std::string &name, int format,
                      int *useFlag)
{
    const bool video = category == CompressorCategory::Video;
    const std::string option = video ? "--video-encoder " : "--audio-encoder ";
    if (Lower(name) == "none") {
        *useFlag = 0;
        if (Suits(format, {}, video))
            return true;
        Fail(option + name, std::string("the ") + FormatName(format) + " writer does not take "
                                + (video ? "uncompressed video" : "uncompressed sound")
                                + "; name an encoder");
        return false;
    }
    std::string factory;
    if (!FindEncoder(category, name, &factory)) {
        Fail(option + name, std::string("no ") + (video ? "video" : "audio")
                                + " encoder of that name is installed (gst-inspect-1.0 lists "
                                  "the installed elements)");
        return false;
    }
    media::Filter encoder;
    if (FAILED(media::CreateCompressor(factory, &encoder))) {
        Fail(option + name, "the encoder could not be made");
        return false;
    }
    if (!Suits(format, encoder, video)) {
        Fail(option + name, std::string("the ") + FormatName(format)
                                + " writer does not take what this encoder writes; choose "
                                  "another encoder or format");
        return false;
    }
    SetBoundCompressor(category, encoder);
    *useFlag = 1;
    return true;
}

// The compressor the window program stored, when it made a choice that suits the container.
// Returns false when there is none to use (nothing chosen, or it does not suit).
bool BindStoredEncoder(CompressorCategory category, int format, int *useFlag)
{
    const int stored = SettingsStore::Global().ReadInt(CompressorSection(category),
                                                       "CompressorNumber", kCompressorByName);
    if (stored == kCompressorByName)
        return false;
    const bool video = category == CompressorCategory::Video;
    std::vector<media::CompressorDevice> devices;
    media::EnumerateCompressors(category, &devices);
    const int position = InitialCompressorPosition(category, SettingsStore::Global(),
                                                   static_cast<int>(devices.size()));
    media::Filter encoder;
    if (position > 0)
        encoder = BindCompressor(category, position - 1);
    if (position > 0 && !encoder)
        return false;
    if (!Suits(format, encoder, video)) {
        Note(std::string("the ") + (video ? "video" : "audio")
             + " compressor chosen in the window ("
             + (encoder ? encoder.FactoryName() : std::string("none")) + ") does not suit "
             + FormatName(format) + "; using the format's usual one");
        return false;
    }
    if (encoder)
        SetBoundCompressor(category, encoder);
    *useFlag = encoder ? 1 : 0;
    return true;
}

} // namespace

bool ChooseEncoder(CompressorCategory category, const std::optional<std::string> &option,
                   int format, int *useFlag)
{
    if (option)
        return BindNamedEncoder(category, *option, format, useFlag);
    if (BindStoredEncoder(category, format, useFlag))
        return true;
    // What each container is usually written with. Ogg gets Theora and Vorbis from the writer
    // itself; AVI keeps its sound as PCM.
    *useFlag = 0;
    const bool video = category == CompressorCategory::Video;
    std::vector<const char *> candidates;
    if (format == OutputFormatMp4)
        candidates = video ? std::vector<const char *>{"x264enc"}
                           : std::vector<const char *>{"voaacenc", "avenc_aac"};
    else if (format == OutputFormatMkv)
        candidates
            = video ? std::vector<const char *>{"x264enc"} : std::vector<const char *>{"vorbisenc"};
    else if (format == OutputFormatAvi && video)
        candidates = {"cwenc_mpeg4"};
    for (const char *factory : candidates) {
        media::Filter encoder;
        if (SUCCEEDED(media::CreateCompressor(factory, &encoder))) {
            SetBoundCompressor(category, encoder);
            *useFlag = 1;
            break;
        }
    }
    return true;
}

int CheckFrameSize(ConversionJob &dlg)
{
    std::string factory = "raw";
    if (dlg.m_nOutputFormat == OutputFormatWmv || dlg.m_nOutputFormat == OutputFormatAsf)
        factory = "cwenc_wmv2";
    else if (dlg.m_bUseVideoCompressor)
        factory = BoundCompressor(CompressorCategory::Video).FactoryName();
    const FrameSizeRule rule = FrameSizeRuleOf(factory);
    int &width = dlg.m_nOutputWidth;
    int &height = dlg.m_nOutputHeight;
    // The source's own size may be below what every encoder takes: it is scaled up to it.
    constexpr int kSmallestSide = 16;
    if (width < kSmallestSide || height < kSmallestSide) {
        width = std::max(width, kSmallestSide);
        height = std::max(height, kSmallestSide);
        Note("the encoders take at least " + std::to_string(kSmallestSide)
             + " pixels a side; writing " + std::to_string(width) + "x" + std::to_string(height));
    }
    if (width > rule.maxSide || height > rule.maxSide
        || (rule.maxArea > 0 && double(width) * height > rule.maxArea)) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "%dx%d is larger than %s takes: up to %d pixels a side%s; give a smaller "
                      "--width/--height",
                      width, height, factory.c_str(), rule.maxSide,
                      rule.maxArea > 0 ? " and 8192x4320 pixels in all" : "");
        return Fail(dlg.m_szOutputFile, text);
    }
    if (rule.even && (width % 2 != 0 || height % 2 != 0)) {
        width += width % 2;
        height += height % 2;
        Note(factory + " needs an even frame size; writing " + std::to_string(width) + "x"
             + std::to_string(height));
    }
    return 0;
}
