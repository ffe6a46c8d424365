#pragma once

#include "platform/Sounds.h"

#include <map>
#include <memory>
#include <vector>

namespace media {

// Plays short in-memory wave sounds for the user interface. Each sound has a worker thread
// that owns its pipeline, so Play never waits for the sound device: it only leaves a request.
// A new request restarts a sound that is still playing. Without a usable device the sound
// goes to a discarding sink: silence, no error. Sounds play only once the media platform has
// been started; before that a request is dropped.
class WaveSounds : public platform::SoundService
{
public:
    WaveSounds();
    ~WaveSounds() override;

    // Registers the RIFF/WAVE bytes of a resource number.
    void AddResource(int resource, std::vector<unsigned char> wave);
    void Play(const platform::SoundRequest &request) override;

    // How many times a sound was actually started by its worker (for tests).
    int StartedCount(int resource) const;
    // Waits up to timeoutMs until every request left so far has been handled.
    bool WaitIdle(int timeoutMs) const;

    class Voice;

private:
    std::map<int, std::unique_ptr<Voice>> m_voices;
};

} // namespace media
