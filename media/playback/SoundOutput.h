#pragma once

namespace media {

// Whether any sound output can exist: a sound server's socket or a playback device. Without
// one, sound goes straight to a discarding sink that keeps time, so the audio libraries are
// never probed: they print their own complaints on a machine without sound, and some leave
// per-thread state of libraries they unload behind in the streaming threads.
bool HasSoundOutput();

} // namespace media
