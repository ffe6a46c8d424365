#include "job/MediaList.h"

#include "media/playback/PlaybackGraph.h"
#include "settings/SettingsStore.h"

#include <cstdlib>

void MediaList::LoadItemDefaults(const SettingsStore &store)
{
    m_nDefaultPhotoDuration = store.ReadInt("TransitionSettings", "PhotoDuration", 8);
    m_nDefaultTransitionDuration = store.ReadInt("TransitionSettings", "TransitionDuration", 0);
    m_nTransitionMode = store.ReadInt("TransitionSettings", "TransitionType", TransitionRandom);
    m_nSameTransition = store.ReadInt("TransitionSettings", "TransitionName", 0);
}

void MediaList::AssignTransition(int index)
{
    if (index < 0 || index >= kMaxPhotoItems)
        return;
    switch (m_nTransitionMode) {
    case TransitionRandom:
        m_nTransitionType[index] = std::rand() % kTransitionTypeCount;
        break;
    case TransitionSequence:
        m_nTransitionType[index] = index;
        break;
    case TransitionSame:
        m_nTransitionType[index] = m_nSameTransition;
        break;
    default:
        break;
    }
}

REFERENCE_TIME DurationProbe(const std::string &path)
{
    std::unique_ptr<media::PlaybackGraph> graph;
    if (FAILED(media::PlaybackGraph::Create(&graph)))
        return 0;
    REFERENCE_TIME stop = 0;
    if (FAILED(graph->RenderFile(path)) || FAILED(graph->QuerySeeking())
        || FAILED(graph->GetStopPosition(&stop)))
        return -1;
    return stop;
}
