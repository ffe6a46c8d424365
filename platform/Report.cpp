#include "platform/Report.h"

#include <cstdio>

namespace platform {

namespace {
ReportListener *g_listener = nullptr;
}

ReportListener *SetReportListener(ReportListener *listener)
{
    ReportListener *previous = g_listener;
    g_listener = listener;
    return previous;
}

void Say(Problem problem, std::vector<std::string> details)
{
    const Report report{problem, std::move(details)};
    if (g_listener) {
        g_listener->Take(report);
        return;
    }
    // No front end listens (a tool or a test without one): the facts still reach a person.
    std::fprintf(stderr, "clipwright: problem %d", static_cast<int>(problem));
    for (const std::string &detail : report.details)
        std::fprintf(stderr, ": %s", detail.c_str());
    std::fputc('\n', stderr);
}

ReportRecorder::ReportRecorder()
    : m_previous(SetReportListener(this))
{
}

ReportRecorder::~ReportRecorder()
{
    SetReportListener(m_previous);
}

} // namespace platform
