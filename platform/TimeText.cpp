#include "platform/TimeText.h"

#include <cstdio>

namespace platform {

std::string HmsText(long long seconds)
{
    if (seconds < 0)
        seconds = 0;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds % 3600 / 60,
                  seconds % 60);
    return text;
}

} // namespace platform
