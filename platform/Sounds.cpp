#include "platform/Sounds.h"

namespace platform {

namespace {
SoundService *g_sounds = nullptr;
}

SoundService *SetSoundService(SoundService *service)
{
    SoundService *previous = g_sounds;
    g_sounds = service;
    return previous;
}

void PlaySound(const SoundRequest &request)
{
    if (g_sounds)
        g_sounds->Play(request);
}

SoundRecorder::SoundRecorder()
    : m_previous(SetSoundService(this))
{
}

SoundRecorder::~SoundRecorder()
{
    SetSoundService(m_previous);
}

} // namespace platform
