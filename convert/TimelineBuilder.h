#pragma once

#include "job/ConversionJob.h"
#include "media/render/Timeline.h"
#include "platform/Status.h"

#include <memory>
#include <string>

// Builds the editing timeline of a conversion from the main window's job, marks and output
// settings: group 0 is the video (one track per media-list item, each with its clip and
// transition), group 1 the sound of music-list item 0. A failing step is reported and the build
// goes on with what it has.

// Puts a new timeline into timeline as soon as it is made. Without sound, music-list item 0
// gets no audio group (a file without a sound stream would otherwise give silence). Fails only
// when no timeline can be made. A clip file that has gone is asked of locate, when given.
HRESULT BuildTimeline(ConversionJob &dlg, std::shared_ptr<media::Timeline> &timeline,
                      bool withSound = true, const media::Timeline::LocateFile &locate = {});
HRESULT AddVideoGroup(ConversionJob &dlg, media::Timeline &timeline);
// Whether the video group has a clip to show.
bool HasPicture(const media::Timeline &timeline);
HRESULT AddItemTrack(ConversionJob &dlg, media::Timeline &timeline, media::TimelineNode &videoGroup,
                     const std::string &path, long transitionMilliseconds, int index);
HRESULT AddItemTransition(ConversionJob &dlg, media::Timeline &timeline, media::TimelineNode &track,
                          REFERENCE_TIME start, REFERENCE_TIME stop, int index);
HRESULT AddAudioGroup(ConversionJob &dlg, media::Timeline &timeline);
HRESULT AddSoundTrack(ConversionJob &dlg, media::Timeline &timeline,
                      media::TimelineNode &audioGroup, const std::string &path);
