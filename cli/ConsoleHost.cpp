#include "cli/ConsoleHost.h"

#include "platform/TimeText.h"

#include <algorithm>
#include <unistd.h>

Progress::Progress(REFERENCE_TIME length)
    : m_length(std::max<REFERENCE_TIME>(length, 1))
    , m_tty(isatty(STDERR_FILENO) == 1)
    , m_start(std::chrono::steady_clock::now())
{
}

void Progress::Show(REFERENCE_TIME position, bool final)
{
    const double fraction
        = std::clamp(static_cast<double>(position) / static_cast<double>(m_length), 0.0, 1.0);
    const double elapsed
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    std::string left = "--:--:--";
    if (fraction > 0.01)
        left = platform::HmsText(static_cast<long long>(elapsed / fraction - elapsed + 0.5));
    const int percent = static_cast<int>(fraction * 100);
    if (m_tty) {
        constexpr int kWidth = 30;
        const int filled = static_cast<int>(fraction * kWidth);
        std::fprintf(stderr, "\r[%s%s] %3d%%  elapsed %s  left %s ",
                     std::string(filled, '#').c_str(), std::string(kWidth - filled, ' ').c_str(),
                     percent, platform::HmsText(static_cast<long long>(elapsed)).c_str(),
                     left.c_str());
        if (final)
            std::fputc('\n', stderr);
    } else {
        std::fprintf(stderr, "progress %3d%% elapsed %s left %s\n", percent,
                     platform::HmsText(static_cast<long long>(elapsed)).c_str(), left.c_str());
    }
    std::fflush(stderr);
}
