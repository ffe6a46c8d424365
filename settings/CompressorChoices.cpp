#include "settings/CompressorChoices.h"

#include "platform/MessageBoxes.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <cctype>

namespace {

media::Filter g_boundVideo;
media::Filter g_boundAudio;
std::string g_codecState;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Devices of the category; enumeration failures are shown here, once.
bool Devices(CompressorCategory category, std::vector<media::CompressorDevice> *devices)
{
    switch (media::EnumerateCompressors(category, devices)) {
    case media::EnumerationResult::Ok:
        return true;
    case media::EnumerationResult::NoSystemEnumerator:
        platform::ShowAppMessageBox("Failed to create system enumerator");
        return false;
    case media::EnumerationResult::NoClassEnumerator:
        platform::ShowAppMessageBox("Failed to create class enumerator");
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

int InitialCompressorPosition(CompressorCategory category, const SettingsStore &store,
                              int deviceCount)
{
    const int stored
        = store.ReadInt(CompressorSection(category), "CompressorNumber", kCompressorByName);
    if (stored >= kNoCompressor && stored < deviceCount)
        return stored + 1;
    int ordinal = 0;
    if (FindDefaultCompressor(category, DefaultCompressorWords(category), &ordinal))
        return ordinal + 1;
    return 0;
}

media::Filter BindCompressor(CompressorCategory category, int ordinal)
{
    std::vector<media::CompressorDevice> devices;
    if (ordinal < 0 || !Devices(category, &devices) || ordinal >= static_cast<int>(devices.size()))
        return media::Filter();
    const std::string &factory = devices[static_cast<std::size_t>(ordinal)].factoryName;
    media::Filter encoder;
    if (FAILED(media::CreateCompressor(factory, &encoder))) {
        platform::ShowAppMessageBox("Failed to bind to object");
        return media::Filter();
    }
    if (category == CompressorCategory::Video
        && media::Filter::StateFactoryName(g_codecState) == factory)
        encoder.LoadState(g_codecState);
    return encoder;
}

void ConfirmCompressor(CompressorCategory category, int position, SettingsStore &store,
                       int *useFlag)
{
    if (position < 0)
        position = 0;
    store.WriteInt(CompressorSection(category), "CompressorNumber", position - 1);
    if (position == 0) {
        *useFlag = 0;
        return;
    }
    SetBoundCompressor(category, media::Filter());
    media::Filter bound = BindCompressor(category, position - 1);
    SetBoundCompressor(category, bound);
    if (bound) {
        *useFlag = 1;
        return;
    }
    *useFlag = 0;
    platform::ShowAppMessageBox(category == CompressorCategory::Video
                                    ? "The chosen video compressor could not be created. "
                                      "The video will be written uncompressed."
                                    : "The chosen audio compressor could not be created. "
                                      "The sound will be written uncompressed.");
}

media::Filter BoundCompressor(CompressorCategory category)
{
    return category == CompressorCategory::Video ? g_boundVideo : g_boundAudio;
}

void SetBoundCompressor(CompressorCategory category, media::Filter filter)
{
    (category == CompressorCategory::Video ? g_boundVideo : g_boundAudio) = std::move(filter);
}

void ReleaseBoundCompressors()
{
    g_boundVideo = media::Filter();
    g_boundAudio = media::Filter();
}

const std::string &SavedCodecState()
{
    return g_codecState;
}

void SetSavedCodecState(const std::string &state)
{
    g_codecState = state;
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
