#include "job/ConversionJob.h"

#include "job/MediaProbe.h"

void ConversionJob::TakeSourceFacts(const MediaProbeResult &probe)
{
    if (probe.haveSize) {
        m_nSourceWidth = probe.sourceWidth;
        m_nSourceHeight = probe.sourceHeight;
        m_nOutputWidth = probe.sourceWidth;
        m_nOutputHeight = probe.sourceHeight;
    }
    if (probe.haveFrameRate)
        m_dSourceFrameRate = probe.sourceFrameRate;
}

void ConversionJob::SetOpenedVideo(const std::string &path, REFERENCE_TIME videoLength,
                                   REFERENCE_TIME soundLength)
{
    m_szPhotoFile[0] = path;
    m_llPhotoDuration[0] = videoLength;
    AssignTransition(0);
    m_llTransitionDuration[0] = static_cast<REFERENCE_TIME>(m_nDefaultTransitionDuration) * UNITS;
    m_nPhotoCount = 1;

    m_szMusicFile[0] = path;
    m_llMusicDuration[0] = soundLength;
    m_nMusicCount = 1;

    m_llStartTime = 0;
    m_llEndTime = videoLength;
}
