#include "media/playback/SoundOutput.h"

#include <glib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace media {

bool HasSoundOutput()
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (g_getenv("PULSE_SERVER"))
        return true;
    if (const char *runtime = g_getenv("XDG_RUNTIME_DIR")) {
        for (const char *socket : {"pulse/native", "pipewire-0"}) {
            if (fs::exists(fs::path(runtime) / socket, error))
                return true;
        }
    }
    for (fs::directory_iterator it("/dev/snd", error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("pcmC", 0) == 0 && name.back() == 'p')
            return true;
    }
    return false;
}

} // namespace media
