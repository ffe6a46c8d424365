#pragma once

#include "convert/WmProfile.h"

#include <cstdint>
#include <memory>
#include <string>

// Builds the Windows Media profile of a WMV/ASF conversion from the output settings: stream 1
// is the installed audio format that matches the requested bitrate, rate and channels; the
// video streams follow from the requested FourCC, adjusted to the output size, bitrate and
// frame rate. The builder shows no messages; it returns the first failing step's status.

struct AudioProfileRequest
{
    std::uint32_t bitrate;    // bits per second
    std::uint32_t formatTag;  // WAVEFORMATEX tag, 0x161 for WMA 2
    std::uint32_t sampleRate; // samples per second
    std::uint32_t channels;
};

// Height comes before width.
struct VideoProfileRequest
{
    std::uint32_t fourcc;
    std::uint32_t bitrate;
    std::uint32_t height;
    std::uint32_t width;
    std::uint32_t framesPerSecond; // whole frames
    std::uint32_t quality;
    std::uint32_t keyFrameSpacing; // seconds
};

// E_INVALIDARG without an audio request or out pointer, with more than 63 video requests, or
// with videoCount > 0 and no requests. On success the caller owns the profile, named
// "Custom Profile".
HRESULT GenerateProfile(const AudioProfileRequest *audio, const VideoProfileRequest *video,
                        std::uint32_t videoCount, std::uint32_t version,
                        std::shared_ptr<WMProfile> *profile);

// Adds stream 1. NS_E_AUDIO_CODEC_NOT_INSTALLED when no installed format matches.
HRESULT AppendAudioStreamConfig(std::uint32_t formatTag, std::uint32_t bitrate,
                                std::uint32_t sampleRate, std::uint32_t channels,
                                bool profileHasVideo, WMProfile &profile,
                                WMProfileManager &manager);

// Adds a video stream. When no installed format has the FourCC asked for, the newest installed
// Windows Media video format is taken (WMV3, then WMV2, then WMV1);
// NS_E_VIDEO_CODEC_NOT_INSTALLED when there is none. E_INVALIDARG for 0 frames per second.
HRESULT AppendVideoStreamConfig(WMProfile &profile, WMProfileManager &manager,
                                std::uint16_t streamNumber, std::uint32_t fourcc,
                                std::uint32_t bitrate, std::uint32_t width, std::uint32_t height,
                                std::uint32_t framesPerSecond, std::uint32_t quality,
                                std::uint32_t keyFrameSpacing);

// Number, name, connection name, bitrate, then media type; stops at the first failure.
HRESULT FillStreamConfig(WMStreamConfig &config, std::uint16_t streamNumber,
                         const std::string &streamName, const std::string &connectionName,
                         std::uint32_t bitrate, const media::AM_MEDIA_TYPE &mediaType);

// A profile from profile text (the XML of a .prx file); the manager's failure for anything
// else. E_POINTER without an out pointer.
HRESULT MapProfile(const std::string &text, std::shared_ptr<WMProfile> *profile);
