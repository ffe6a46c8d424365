#pragma once

#include "job/MediaList.h"
#include "platform/Status.h"
#include "settings/OutputSettings.h"

#include <string>

struct MediaProbeResult;

// One conversion as the engine sees it, whichever front end runs it: the media lists, the output
// settings, the trim marks, the facts of the opened video and the conversion flags.
struct ConversionJob : MediaList, OutputSettings
{
    int m_bConverting = 0;
    int m_nElapsedSeconds = 0;
    REFERENCE_TIME m_llStartTime = 0;
    REFERENCE_TIME m_llEndTime = 0;
    int m_nSourceWidth = 0;
    int m_nSourceHeight = 0;
    double m_dSourceFrameRate = 23.976;

    // What the probe reached of the opened video: its frame size (the output's too, until the
    // user chooses another) and its frame rate.
    void TakeSourceFacts(const MediaProbeResult &probe);
    // The opened video becomes item 0 of the photo list (videoLength long) and of the music list
    // (soundLength long), marked from its start to its end.
    void SetOpenedVideo(const std::string &path, REFERENCE_TIME videoLength,
                        REFERENCE_TIME soundLength);
};
