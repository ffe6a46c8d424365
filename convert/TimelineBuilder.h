#pragma once

#include "app/MainWindowState.h"
#include "convert/media/Timeline.h"
#include "platform/Status.h"

#include <memory>
#include <string>

// Builds the editing timeline of a conversion from the main window's job, marks and output
// settings: group 0 is the video (one track per media-list item, each with its clip and
// transition), group 1 the sound of music-list item 0. A failing step shows its message and
// the build goes on with what it has.

// The timeline of the current conversion: replaced by every build, released when the
// conversion ends.
extern std::shared_ptr<media::Timeline> pTimeline;

// Fails only when no timeline can be made ("Could not create timeline").
HRESULT BuildTimeline(MainWindowState &dlg);
HRESULT AddVideoGroup(MainWindowState &dlg, media::Timeline &timeline);
HRESULT AddItemTrack(MainWindowState &dlg, media::Timeline &timeline,
                     media::TimelineNode &videoGroup, const std::string &path,
                     long transitionMilliseconds, int index);
HRESULT AddItemTransition(MainWindowState &dlg, media::Timeline &timeline,
                          media::TimelineNode &track, REFERENCE_TIME start, REFERENCE_TIME stop,
                          int index);
HRESULT AddAudioGroup(MainWindowState &dlg, media::Timeline &timeline);
HRESULT AddSoundTrack(MainWindowState &dlg, media::Timeline &timeline,
                      media::TimelineNode &audioGroup, const std::string &path);
