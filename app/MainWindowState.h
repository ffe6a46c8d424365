#pragma once

#include "app/MediaList.h"
#include "options/OutputSettings.h"
#include "platform/Status.h"

// The working state the main window owns for its whole life: the job, the output settings,
// the trim marks, the conversion flags and the facts of the opened video.
struct MainWindowState : MediaList, OutputSettings
{
    int m_bConverting = 0;
    int m_nElapsedSeconds = 0;
    REFERENCE_TIME m_llStartTime = 0;
    REFERENCE_TIME m_llEndTime = 0;
    int m_nSliderPos = 0;
    int m_nSourceWidth = 0;
    int m_nSourceHeight = 0;
    double m_dSourceFrameRate = 23.976;
};
