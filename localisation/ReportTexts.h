#pragma once

#include "platform/MessageBoxes.h"
#include "platform/Report.h"
#include "platform/Status.h"

#include <optional>
#include <string>
#include <vector>

// The window's words for what the engine reports and asks: the message boxes it shows, in the
// order it shows them, in the chosen language where the catalogue has the text.

std::vector<platform::MessageBoxRequest> WindowBoxes(const platform::Report &report);

// Shows each report's boxes through the message-box service; installed for its lifetime.
class WindowReports : public platform::ReportListener
{
public:
    WindowReports();
    ~WindowReports() override;
    void Take(const platform::Report &report) override;

private:
    platform::ReportListener *m_previous = nullptr;
};

// The window's questions. Yes replaces an existing output (once the new one is complete).
bool AskToReplace(const std::string &path);
// False when the user would rather not write uncompressed video.
bool AskToWriteUncompressed(const std::string &downloadPage);
// Yes copies from the key frame before the start mark, which is before (100-ns units) and
// frames pictures ahead of it.
bool AskToCopyFromKeyFrame(REFERENCE_TIME before, int frames);
// Asks where a missing clip file went; the path of an existing file, or nothing.
std::optional<std::string> AskToLocate(const std::string &path);
