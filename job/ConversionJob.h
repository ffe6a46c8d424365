#pragma once

#include "job/MediaList.h"
#include "media/copy/SectionCopy.h"
#include "platform/Status.h"
#include "settings/OutputSettings.h"

#include <string>

struct MediaProbeResult;

// The marked section as the output holds it: its marks in the source, and its length on the
// output's frame grid (at least one frame; 0 when the end mark is not after the start mark).
struct Section
{
    REFERENCE_TIME start = 0;
    REFERENCE_TIME end = 0;
    REFERENCE_TIME length = 0;
};

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
    // The section between the marks at the output's frame rate, for everyone who needs its
    // length: the timeline, the progress shown and the check of the written file.
    Section MarkedSection() const;

    // The opened video's streams as they are in the file, read once per file when first asked
    // (empty caps when it cannot be read or holds no such stream).
    const media::SourceStreams &SourceStreams() const;
    // Streams already read from path, kept for when path is the job's video.
    void KnowSourceStreams(const std::string &path, const media::SourceStreams &streams);
    // Whether the lists offer to copy the category's stream into the output's container: where
    // the container takes the opened video's stream.
    bool CopyOffered(media::CompressorCategory category) const;

private:
    mutable std::string m_streamsOf;
    mutable media::SourceStreams m_streams;
};
