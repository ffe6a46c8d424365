#include "cli/EncoderChoice.h"

#include "cli/CliMessages.h"
#include "cli/ConvertOptions.h"
#include "media/encoders/CompressorEnumeration.h"
#include "media/output/WriterFormats.h"
#include "settings/OutputContainers.h"
#include "settings/OutputSettings.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace {

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

// Whether the container's writer takes what the encoder (none: uncompressed) puts out. Ogg
// encodes uncompressed input itself.
bool Suits(int format, const media::Filter &encoder, bool video)
{
    const OutputContainer *container = FindContainer(format);
    if (container && container->encodesRawStreams && !encoder)
        return true;
    return media::WriterTakes(container ? container->muxer : "", encoder, video);
}

// "copy" for a category: the source's stream as it is, where the container can hold it.
bool BindCopy(CompressorCategory category, const std::string &option, ConversionJob *job)
{
    const bool video = category == CompressorCategory::Video;
    const media::SourceStreams &streams = job->SourceStreams();
    const std::string &caps = video ? streams.videoCaps : streams.audioCaps;
    if (video && caps.empty()) {
        Fail(option, "the source's picture cannot be read as it is, so it cannot be copied");
        return false;
    }
    // A source without sound has none to copy: the output has none either.
    if (!caps.empty() && !job->CopyOffered(category)) {
        Fail(option, std::string("the ") + FormatName(job->m_nOutputFormat)
                         + " writer cannot hold the source's " + media::CodecName(caps)
                         + (video ? " picture" : " sound")
                         + " as it is; choose an encoder or another format");
        return false;
    }
    job->UseCompressor(category) = kCompressorCopy;
    return true;
}

// The encoder named by --video-encoder/--audio-encoder; false after a message.
bool BindNamedEncoder(CompressorCategory category, const std::string &name, ConversionJob *job)
{
    OutputSettings *settings = job;
    const int format = settings->m_nOutputFormat;
    int *useFlag = &settings->UseCompressor(category);
    const bool video = category == CompressorCategory::Video;
    const std::string option = video ? "--video-encoder " : "--audio-encoder ";
    if (Lower(name) == kCopyFactory)
        return BindCopy(category, option + name, job);
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
    settings->Compressor(category) = encoder;
    *useFlag = 1;
    return true;
}

} // namespace

bool ChooseEncoder(CompressorCategory category, const std::optional<std::string> &option,
                   const SettingsStore &store, ConversionJob *job)
{
    OutputSettings *settings = job;
    const int format = settings->m_nOutputFormat;
    int *useFlag = &settings->UseCompressor(category);
    if (option)
        return BindNamedEncoder(category, *option, job);
    // What the window's options would open at for this container: the stored choice where the
    // container takes it, its usual encoder otherwise.
    const bool video = category == CompressorCategory::Video;
    std::string stored;
    const bool anyStored = StoredCompressor(category, store, &stored);
    const auto devices = ContainerCompressors(
        category, format, anyStored && stored == kCopyFactory && job->CopyOffered(category));
    int position = InitialCompressorPosition(category, store, format, devices);
    if (anyStored) {
        const bool listed = std::any_of(devices.begin(), devices.end(),
                                        [&](const auto &d) { return d.factoryName == stored; });
        if (stored.empty() && !Suits(format, {}, video))
            position = DefaultCompressorPosition(category, format, devices);
        if ((!stored.empty() && !listed) || (stored.empty() && position > 0))
            Note(std::string("the ") + (video ? "video" : "audio")
                 + " compressor chosen in the window (" + (stored.empty() ? "none" : stored)
                 + ") does not suit " + FormatName(format) + "; using the format's usual one");
    }
    *useFlag = 0;
    if (position <= 0)
        return true;
    const std::string &factory = devices[static_cast<std::size_t>(position - 1)].factoryName;
    if (factory == kCopyFactory) {
        *useFlag = kCompressorCopy;
        return true;
    }
    media::Filter encoder = BindCompressorFactory(category, factory);
    if (!encoder)
        return false;
    settings->Compressor(category) = encoder;
    *useFlag = 1;
    return true;
}

int CheckFrameSize(ConversionJob &dlg)
{
    const std::string factory = ConversionVideoEncoder(dlg);
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
