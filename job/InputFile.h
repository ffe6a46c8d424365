#pragma once

#include <string>

// Whether a file chosen as the video can be read at all, before any media is opened: both the
// window and the command line tell the user the system's reason.
struct InputFileCheck
{
    bool ok = true;
    // Why not, in the system's words where it has them ("Permission denied").
    std::string reason;
    // The reason is the system's own (the file is missing, unreadable, a folder), not ours
    // (not a regular file, empty).
    bool systemReason = false;
};

// A readable, non-empty regular file passes.
InputFileCheck InspectInputFile(const std::string &path);
