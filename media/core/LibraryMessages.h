#pragma once

#include <string>

// What GLib, GStreamer and the plug-ins would print on standard error by themselves.
namespace media {

struct LibraryMessage
{
    const char *level;  // "error", "critical", "warning", "message", "info" or "debug"
    std::string domain; // the library's log domain ("GStreamer", "GLib-GObject"); may be empty
    std::string text;   // without its final newline
};
using LibraryMessageSink = void (*)(const LibraryMessage &message);

// Hands each message of the libraries' logs (g_warning, g_critical, g_printerr and the like) to
// sink instead of printing it; null prints them as the libraries do. While a sink is set,
// GStreamer's debug log prints only when the user asked for it with GST_DEBUG. Best set before
// the media platform starts, so warnings of loading the plug-ins are caught too.
void RouteLibraryMessages(LibraryMessageSink sink);

// Called once GStreamer has started: its debug log is set up then.
void ApplyLibraryMessageRoute();

} // namespace media
