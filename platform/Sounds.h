#pragma once

#include <string>
#include <vector>

// Short user-interface sounds behind one service. The window program installs a player; tests
// install SoundRecorder; with neither, every sound is silence.
namespace platform {

// How a sound is named and played, as the caller asks for it.
enum SoundFlag : unsigned {
    SoundFromResource = 0x1, // the name is a resource number, otherwise a file name
    SoundNoDefault = 0x2,    // never fall back to a system sound
    SoundNoWait = 0x4,       // give up at once when the device is busy
    SoundAsync = 0x8,        // return before the sound ends
};

struct SoundRequest
{
    int resource = 0; // with SoundFromResource
    std::string file; // without it
    unsigned flags = 0;
};

class SoundService
{
public:
    virtual ~SoundService() = default;
    // Must not wait for the sound device; a missing device is silence.
    virtual void Play(const SoundRequest &request) = 0;
};

SoundService *SetSoundService(SoundService *service);
void PlaySound(const SoundRequest &request);

// Counts the sounds asked for. Installs itself for its lifetime.
class SoundRecorder : public SoundService
{
public:
    SoundRecorder();
    ~SoundRecorder() override;
    void Play(const SoundRequest &request) override { m_plays.push_back(request); }

    const std::vector<SoundRequest> &Plays() const { return m_plays; }
    int Count() const { return static_cast<int>(m_plays.size()); }
    void Clear() { m_plays.clear(); }

private:
    SoundService *m_previous = nullptr;
    std::vector<SoundRequest> m_plays;
};

} // namespace platform
