#pragma once

#include "media/core/Filter.h"
#include "media/encoders/CompressorEnumeration.h"
#include "settings/OutputContainers.h"

#include <string>
#include <vector>

class SettingsStore;

// Entries of the frame-rate list.
enum FrameRateChoice {
    FrameRateSource = 0,
    FrameRate23976 = 1,
    FrameRate24 = 2,
    FrameRate25 = 3,
    FrameRate2997 = 4,
    FrameRate30 = 5,
    FrameRateCustom = 6,
};

// Resize mode handed to the timeline source.
enum ResizeMode {
    ResizeStretch = 0,
    ResizePreserveAspectRatio = 2,
};

// A compressor use flag before anything is chosen in this run: the stored choice applies. Only
// 1 means a compressor is used.
constexpr int kCompressorFromStore = -1;
// A use flag: the stream is copied from the source as it is, not encoded.
constexpr int kCompressorCopy = 2;

// Video bitrates a conversion takes, bit/s (the command line's --video-bitrate range).
constexpr unsigned int kMinVideoBitrate = 16000;
constexpr unsigned int kMaxVideoBitrate = 100000000;

// Longest output path the record holds (the rest of a longer stored text is refused).
constexpr std::size_t kMaxOutputPathLength = 4095;

struct OutputSettings
{
    std::string m_szOutputFile;
    int m_nOutputWidth = 0;
    int m_nOutputHeight = 0;
    int m_nFrameRateIndex = FrameRateSource;
    double m_dOutputFrameRate = 23.976;
    int m_nStretchMode = ResizePreserveAspectRatio;
    int m_bUseVideoCompressor = 1;
    int m_bUseAudioCompressor = 1;
    unsigned int m_nVideoBitrate = 389120;
    unsigned int m_nAudioBitrate = 128000;
    int m_nOutputFormat = OutputFormatWmv;
    int m_bFileProfile = 0;
    // The chosen encoders, each with its saved settings: null until one is chosen for this job
    // (and for the writer's own). The output graph takes them from here.
    media::Filter m_videoCompressor;
    media::Filter m_audioCompressor;
    // The settings of a video codec last confirmed in its own dialog (they name the codec):
    // every new encoder of that codec starts from them.
    std::string m_codecState;

    media::Filter &Compressor(media::CompressorCategory category)
    {
        return category == media::CompressorCategory::Video ? m_videoCompressor : m_audioCompressor;
    }
    const media::Filter &Compressor(media::CompressorCategory category) const
    {
        return category == media::CompressorCategory::Video ? m_videoCompressor : m_audioCompressor;
    }
    int &UseCompressor(media::CompressorCategory category)
    {
        return category == media::CompressorCategory::Video ? m_bUseVideoCompressor
                                                            : m_bUseAudioCompressor;
    }
    int UseCompressor(media::CompressorCategory category) const
    {
        return category == media::CompressorCategory::Video ? m_bUseVideoCompressor
                                                            : m_bUseAudioCompressor;
    }
    bool Copies(media::CompressorCategory category) const
    {
        return UseCompressor(category) == kCompressorCopy;
    }
    bool CopiesAnything() const
    {
        return Copies(media::CompressorCategory::Video) || Copies(media::CompressorCategory::Audio);
    }
};

// The rate of a frame-rate choice; custom rates come from the stored text. Returns false for a
// choice outside the list.
bool FrameRateForChoice(int choice, const std::string &customText, double *rate);

// Parses a frame rate typed by the user, with "." as decimal separator whatever the locale.
// Returns false when the text is not a number.
bool ParseFrameRate(const std::string &text, double *rate);

// Replaces the extension of path by the one of the output format. A code outside the table is
// reported and leaves the path as it was.
bool ApplyFormatExtension(int format, const std::string &path, std::string *result);

// Whether loading may make the user's videos folder for the default output file: the window
// writes there; the command line writes only where it is told.
enum class VideosFolder { Make, Leave };

// The user's videos folder followed by "/output.wmv".
std::string DefaultOutputPath(VideosFolder folder = VideosFolder::Make);

// Loads the record in start-up order from the store. A stored value no conversion can use (a
// bitrate out of range, a profile file that does not exist) is replaced by its default; each
// replacement is said in *replaced when given. A format code outside the table stays, with
// "Does not support the video format". folder says whether the videos folder of the default
// output file may be made.
void LoadOutputSettings(const SettingsStore &store, OutputSettings *settings,
                        std::vector<std::string> *replaced = nullptr,
                        VideosFolder folder = VideosFolder::Make);
// Stores what the options dialog confirms under the keys the load reads: the frame-rate choice
// with the rate as typed (frameRateText), the output file, size, bitrates and format.
void SaveOutputSettings(SettingsStore &store, const OutputSettings &settings,
                        const std::string &frameRateText);
