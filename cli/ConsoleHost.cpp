#include "cli/ConsoleHost.h"

#include "platform/TimeText.h"

#include <algorithm>
#include <unistd.h>

namespace {

// The rate of the last few seconds says more about the time left than the average since the
// start, which includes setting up.
constexpr double kRateWindowSeconds = 5;

} // namespace

Progress::Progress(REFERENCE_TIME length, Style style)
    : m_length(std::max<REFERENCE_TIME>(length, 1))
    , m_style(style)
    , m_tty(isatty(STDERR_FILENO) == 1)
    , m_start(std::chrono::steady_clock::now())
{
}

void Progress::Show(REFERENCE_TIME position, bool final)
{
    if (m_style == Style::Silent)
        return;
    m_shown = std::clamp(final ? m_length : position, m_shown, m_length);
    const double fraction = static_cast<double>(m_shown) / static_cast<double>(m_length);
    const double elapsed
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    m_recent.push_back({elapsed, m_shown});
    while (m_recent.size() > 2 && elapsed - m_recent[1].elapsed >= kRateWindowSeconds)
        m_recent.pop_front();
    // Media seconds written per second of work, and what that leaves; unknown until data moves.
    double speed = -1;
    double left = -1;
    const Sample &first = m_recent.front();
    if (elapsed > first.elapsed && m_shown > first.position) {
        speed = double(m_shown - first.position) / UNITS / (elapsed - first.elapsed);
        left = double(m_length - m_shown) / UNITS / speed;
    }
    if (final)
        left = 0;
    const double percent = fraction * 100;
    if (m_style == Style::Json) {
        WriteJsonLine("{\"percent\":" + JsonNumber(percent)
                      + ",\"out_time_s\":" + JsonNumber(double(m_shown) / UNITS)
                      + ",\"speed\":" + (speed < 0 ? "null" : JsonNumber(speed))
                      + ",\"eta_s\":" + (left < 0 ? "null" : JsonNumber(left)) + "}");
        return;
    }
    const std::string leftText
        = left < 0 ? "--:--:--" : platform::HmsText(static_cast<long long>(left + 0.5));
    const std::string elapsedText = platform::HmsText(static_cast<long long>(elapsed));
    if (m_tty) {
        constexpr int kWidth = 30;
        const int filled = static_cast<int>(fraction * kWidth);
        std::fprintf(stderr, "\r[%s%s] %3d%%  elapsed %s  left %s ",
                     std::string(filled, '#').c_str(), std::string(kWidth - filled, ' ').c_str(),
                     static_cast<int>(percent), elapsedText.c_str(), leftText.c_str());
        if (final)
            std::fputc('\n', stderr);
    } else {
        std::fprintf(stderr, "progress %3d%% elapsed %s left %s\n", static_cast<int>(percent),
                     elapsedText.c_str(), leftText.c_str());
    }
    std::fflush(stderr);
}

void PrintJsonStatus(const char *status, const std::string &output, int exitCode)
{
    WriteJsonLine(std::string("{\"status\":\"") + status + "\",\"output\":" + JsonString(output)
                  + ",\"exit\":" + std::to_string(exitCode) + "}");
}
