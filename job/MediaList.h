#pragma once

#include "platform/Status.h"

#include <array>
#include <string>

class SettingsStore;

constexpr int kMaxPhotoItems = 1000;
constexpr int kMaxMusicItems = 100;
// Transition types are rows 0..46 of the transition table; 0 is none.
constexpr int kTransitionTypeCount = 47;

enum TransitionMode {
    TransitionRandom = 0,
    TransitionSequence = 1,
    TransitionSame = 2,
};

// The job as a slideshow: a photo list whose items become video tracks and a music list whose
// first item is the sound. Opening a video makes it item 0 of both.
struct MediaList
{
    int m_nPhotoCount = 0;
    std::array<std::string, kMaxPhotoItems> m_szPhotoFile;
    std::array<REFERENCE_TIME, kMaxPhotoItems> m_llPhotoDuration{};
    std::array<int, kMaxPhotoItems> m_nTransitionType{};
    std::array<REFERENCE_TIME, kMaxPhotoItems> m_llTransitionDuration{};

    int m_nMusicCount = 0;
    std::array<std::string, kMaxMusicItems> m_szMusicFile;
    std::array<REFERENCE_TIME, kMaxMusicItems> m_llMusicDuration{};

    REFERENCE_TIME m_llTotalDuration = 0;

    int m_nDefaultPhotoDuration = 8;
    int m_nDefaultTransitionDuration = 0;
    int m_nTransitionMode = TransitionRandom;
    int m_nSameTransition = 0;

    // Item defaults from section "TransitionSettings".
    void LoadItemDefaults(const SettingsStore &store);
    // Gives photo item index its transition type by the current mode; an unknown mode leaves
    // the stored type as it was.
    void AssignTransition(int index);
};

// The file's length in 100-ns units from a playback graph of its own: 0 when no graph can be
// made, -1 when rendering or measuring fails.
REFERENCE_TIME DurationProbe(const std::string &path);
