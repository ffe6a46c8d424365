#include "settings/CompressorChoices.h"

#include "media/copy/SectionCopy.h"
#include "media/output/WriterFormats.h"
#include "platform/Report.h"
#include "settings/OutputContainers.h"
#include "settings/OutputSettings.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Devices of the category; enumeration failures are reported here, once.
bool Devices(CompressorCategory category, std::vector<media::CompressorDevice> *devices)
{
    switch (media::EnumerateCompressors(category, devices)) {
    case media::EnumerationResult::Ok:
        return true;
    case media::EnumerationResult::NoSystemEnumerator:
        platform::Say(platform::Problem::NoSystemEnumerator);
        return false;
    case media::EnumerationResult::NoClassEnumerator:
        platform::Say(platform::Problem::NoClassEnumerator);
        return false;
    }
    return false;
}

bool HasVersionNumber(const std::string &text)
{
    return std::any_of(text.begin(), text.end(),
                       [](unsigned char c) { return std::isdigit(c) != 0; });
}

} // namespace

const char *CompressorSection(CompressorCategory category)
{
    return category == CompressorCategory::Video ? "DexVideoCompress" : "DexAudioCompress";
}

const char *CopyCompressorText()
{
    return "Copy from the source (no re-encoding)";
}

const char *NoCompressorText(CompressorCategory category)
{
    return category == CompressorCategory::Video ? "Full frames (uncompressed)"
                                                 : "Uncompressed Audio";
}

const char *DefaultCompressorWords(CompressorCategory category)
{
    return category == CompressorCategory::Video ? "divx" : "microsoft adpcm";
}

bool ListCompressors(CompressorCategory category, std::vector<std::string> *names)
{
    names->clear();
    std::vector<media::CompressorDevice> devices;
    if (!Devices(category, &devices))
        return false;
    for (const auto &device : devices)
        names->push_back(device.friendlyName);
    return true;
}

bool FindDefaultCompressor(CompressorCategory category, const std::string &text, int *ordinal)
{
    std::vector<media::CompressorDevice> devices;
    if (!Devices(category, &devices))
        return false;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (Lower(devices[i].friendlyName).find(text) != std::string::npos) {
            *ordinal = static_cast<int>(i);
            return true;
        }
    }
    return false;
}

media::Filter BindCompressor(CompressorCategory category, int ordinal,
                             const std::string &codecState)
{
    std::vector<media::CompressorDevice> devices;
    if (ordinal < 0 || !Devices(category, &devices) || ordinal >= static_cast<int>(devices.size()))
        return media::Filter();
    return BindCompressorFactory(category, devices[static_cast<std::size_t>(ordinal)].factoryName,
                                 codecState);
}

media::Filter BindCompressorFactory(CompressorCategory category, const std::string &factory,
                                    const std::string &codecState)
{
    media::Filter encoder;
    if (FAILED(media::CreateCompressor(factory, &encoder))) {
        platform::Say(platform::Problem::CompressorNotBound);
        return media::Filter();
    }
    if (category == CompressorCategory::Video
        && media::Filter::StateFactoryName(codecState) == factory)
        encoder.LoadState(codecState);
    return encoder;
}

namespace {

const std::vector<std::string> &UsualEncoders(CompressorCategory category,
                                              const OutputContainer &container)
{
    return category == CompressorCategory::Video ? container.usualVideo : container.usualAudio;
}

int PositionOf(const std::vector<media::CompressorDevice> &devices, const std::string &factory)
{
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (devices[i].factoryName == factory)
            return static_cast<int>(i) + 1;
    return -1;
}

// Binds position's device (or none for entry 0) to settings and says whether one is in use.
void BindPosition(CompressorCategory category, int position,
                  const std::vector<media::CompressorDevice> &devices, OutputSettings *settings)
{
    int *useFlag = &settings->UseCompressor(category);
    if (position <= 0 || position > static_cast<int>(devices.size())) {
        *useFlag = 0;
        return;
    }
    settings->Compressor(category) = media::Filter();
    const std::string &factory = devices[static_cast<std::size_t>(position - 1)].factoryName;
    if (factory == kCopyFactory) {
        *useFlag = kCompressorCopy;
        return;
    }
    // An encoder removed since the list was made is not bound (nor reported as a failed bind).
    std::vector<media::CompressorDevice> installed;
    media::EnumerateCompressors(category, &installed);
    media::Filter bound;
    if (PositionOf(installed, factory) > 0)
        bound = BindCompressorFactory(category, factory, settings->m_codecState);
    settings->Compressor(category) = bound;
    *useFlag = bound ? 1 : 0;
    if (!bound)
        platform::Say(platform::Problem::CompressorNotCreated,
                      {category == CompressorCategory::Video ? "video" : "audio"});
}

} // namespace

bool CopyOfferedFor(int format, bool sourceKnown, const std::string &caps)
{
    const OutputContainer *container = FindContainer(format);
    if (!container || container->windowsMedia || !*container->muxer)
        return false;
    return sourceKnown && !caps.empty() && media::WriterTakes(container->muxer, caps);
}

std::vector<media::CompressorDevice> ContainerCompressors(CompressorCategory category, int format,
                                                          bool offerCopy)
{
    std::vector<media::CompressorDevice> all;
    if (!Devices(category, &all))
        return all;
    const OutputContainer *container = FindContainer(format);
    if (!container || container->windowsMedia || !*container->muxer)
        return all;
    std::vector<media::CompressorDevice> list;
    if (offerCopy)
        list.push_back({kCopyFactory, CopyCompressorText()});
    for (const std::string &usual : UsualEncoders(category, *container)) {
        const int at = PositionOf(all, usual);
        if (at > 0 && media::WriterTakesEncoder(container->muxer, usual))
            list.push_back(all[static_cast<std::size_t>(at - 1)]);
    }
    for (const media::CompressorDevice &device : all) {
        if (PositionOf(list, device.factoryName) < 0
            && media::WriterTakesEncoder(container->muxer, device.factoryName))
            list.push_back(device);
    }
    return list;
}

int DefaultCompressorPosition(CompressorCategory category, int format,
                              const std::vector<media::CompressorDevice> &devices)
{
    const std::string words = DefaultCompressorWords(category);
    int byName = 0;
    for (std::size_t i = 0; i < devices.size() && byName == 0; ++i)
        if (Lower(devices[i].friendlyName).find(words) != std::string::npos)
            byName = static_cast<int>(i) + 1;
    const OutputContainer *container = FindContainer(format);
    if (!container || container->windowsMedia || !*container->muxer)
        return byName;
    const std::vector<std::string> &usual = UsualEncoders(category, *container);
    if (byName > 0
        && std::find(usual.begin(), usual.end(), devices[byName - 1].factoryName) != usual.end())
        return byName;
    for (const std::string &factory : usual) {
        if (factory.empty())
            return 0;
        const int at = PositionOf(devices, factory);
        if (at > 0)
            return at;
    }
    const bool video = category == CompressorCategory::Video;
    // The copy entry is never a default: it depends on the source.
    const int first = !devices.empty() && devices.front().factoryName == kCopyFactory ? 2 : 1;
    if (static_cast<int>(devices.size()) < first || WriterCompressesItself(format)
        || media::WriterTakes(container->muxer, media::Filter(), video))
        return 0;
    return first;
}

bool StoredCompressor(CompressorCategory category, const SettingsStore &store, std::string *factory)
{
    const char *section = CompressorSection(category);
    const int stored = store.ReadInt(section, "CompressorNumber", kCompressorByName);
    factory->clear();
    if (stored == kNoCompressor)
        return true;
    *factory = store.ReadString(section, "CompressorName", std::string());
    if (factory->empty() && stored >= 0) {
        std::vector<media::CompressorDevice> all;
        media::EnumerateCompressors(category, &all);
        if (stored < static_cast<int>(all.size()))
            *factory = all[static_cast<std::size_t>(stored)].factoryName;
    }
    // A number naming no device (the encoder was removed since) counts as nothing stored.
    return !factory->empty();
}

int InitialCompressorPosition(CompressorCategory category, const SettingsStore &store, int format,
                              const std::vector<media::CompressorDevice> &devices)
{
    std::string factory;
    if (!StoredCompressor(category, store, &factory))
        return DefaultCompressorPosition(category, format, devices);
    if (factory.empty())
        return 0;
    const int at = PositionOf(devices, factory);
    return at > 0 ? at : DefaultCompressorPosition(category, format, devices);
}

void ConfirmContainerCompressor(CompressorCategory category, int position,
                                const std::vector<media::CompressorDevice> &devices,
                                SettingsStore &store, OutputSettings *settings)
{
    if (position < 0 || position > static_cast<int>(devices.size()))
        position = 0;
    const char *section = CompressorSection(category);
    store.WriteInt(section, "CompressorNumber", position - 1);
    store.WriteString(section, "CompressorName",
                      position > 0 ? devices[static_cast<std::size_t>(position - 1)].factoryName
                                   : std::string());
    BindPosition(category, position, devices, settings);
}

void BindStoredCompressor(CompressorCategory category, const SettingsStore &store,
                          OutputSettings *settings, bool offerCopy)
{
    const int format = settings->m_nOutputFormat;
    if (settings->UseCompressor(category) != kCompressorFromStore || IsWindowsMediaFormat(format))
        return;
    const auto devices = ContainerCompressors(category, format, offerCopy);
    BindPosition(category, InitialCompressorPosition(category, store, format, devices), devices,
                 settings);
}

bool WriterCompressesItself(int format)
{
    const OutputContainer *container = FindContainer(format);
    return container && container->encodesRawStreams;
}

FrameSizeRule FrameSizeRuleOf(const std::string &factory)
{
    // H.264 readers take frames up to its highest level (139264 macroblocks, 8192x4320) and
    // 4:2:0 pictures of even sides only. Our libavcodec encoders take 16 to 4096 a side, and
    // the Windows Media ones even sides only; Theora and VP8/VP9 code 4:2:0 too.
    static const std::map<std::string, FrameSizeRule> kRules{
        {"x264enc", {kMaxFrameSide, 8192.0 * 4320.0, true}},
        {"cwenc_wmv1", {4096, 0, true}},
        {"cwenc_wmv2", {4096, 0, true}},
        {"cwenc_msmpeg4", {4096, 0, false}},
        {"cwenc_mpeg4", {4096, 0, false}},
        {"theoraenc", {kMaxFrameSide, 0, true}},
    };
    auto it = kRules.find(factory);
    return it != kRules.end() ? it->second : FrameSizeRule{kMaxFrameSide, 0, false};
}

std::string ConversionVideoEncoder(const OutputSettings &settings)
{
    const int format = settings.m_nOutputFormat;
    if (IsWindowsMediaFormat(format))
        return "cwenc_wmv2";
    if (settings.Copies(CompressorCategory::Video))
        return kCopyFactory;
    if (settings.m_bUseVideoCompressor)
        return settings.m_videoCompressor.FactoryName();
    const OutputContainer *container = FindContainer(format);
    if (WriterCompressesItself(format) && !container->usualVideo.empty())
        return container->usualVideo.front();
    return "raw";
}

int MatchCodec(const std::string &chosenName, const std::vector<std::string> &descriptions)
{
    const std::string chosen = Lower(chosenName);
    const bool chosenIsDivx = chosen.find("divx") != std::string::npos && HasVersionNumber(chosen);
    int match = -1;
    for (std::size_t i = 0; i < descriptions.size(); ++i) {
        const std::string description = Lower(descriptions[i]);
        if (description == chosen) {
            match = static_cast<int>(i);
        } else if (match < 0 && chosenIsDivx && description.find("divx") != std::string::npos
                   && HasVersionNumber(description)) {
            match = static_cast<int>(i);
        }
    }
    return match;
}
