#include "job/ConversionJob.h"

#include "job/MediaProbe.h"
#include "media/render/RenderEngine.h"
#include "settings/CompressorChoices.h"
#include "settings/OutputContainers.h"

#include <algorithm>
#include <cstdint>

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

Section ConversionJob::MarkedSection() const
{
    Section section{m_llStartTime, m_llEndTime, m_llEndTime - m_llStartTime};
    if (section.length <= 0) {
        section.length = 0;
        return section;
    }
    int num = 0, den = 1;
    media::FrameRateFraction(m_dOutputFrameRate, &num, &den);
    if (num <= 0)
        return section;
    // One frame, plus the 100 ns the grid allows for marks that cannot hold a frame exactly.
    const REFERENCE_TIME frame = REFERENCE_TIME(std::int64_t(UNITS) * den / num) + 1;
    section.length = std::max(section.length, frame);
    return section;
}

const media::SourceStreams &ConversionJob::SourceStreams() const
{
    const std::string &path = m_nPhotoCount > 0 ? m_szPhotoFile[0] : std::string();
    if (path != m_streamsOf) {
        m_streams = media::SourceStreams{};
        std::string error;
        if (!path.empty())
            media::ReadSourceStreams(path, &m_streams, &error);
        m_streamsOf = path;
    }
    return m_streams;
}

void ConversionJob::KnowSourceStreams(const std::string &path,
                                     const media::SourceStreams &streams)
{
    m_streams = streams;
    m_streamsOf = path;
}

bool ConversionJob::CopyOffered(media::CompressorCategory category) const
{
    if (m_nPhotoCount == 0)
        return CopyOfferedFor(m_nOutputFormat, false, {});
    const media::SourceStreams &streams = SourceStreams();
    return CopyOfferedFor(m_nOutputFormat, true,
                          category == CompressorCategory::Video ? streams.videoCaps
                                                                : streams.audioCaps);
}
