#include "media/core/LibraryMessages.h"

#include <gst/gst.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace media {

namespace {

std::atomic<LibraryMessageSink> g_sink{nullptr};
std::mutex g_debugLogMutex;
bool g_debugLogRemoved = false;

const char *LevelName(GLogLevelFlags level)
{
    switch (level & G_LOG_LEVEL_MASK) {
    case G_LOG_LEVEL_ERROR:
        return "error";
    case G_LOG_LEVEL_CRITICAL:
        return "critical";
    case G_LOG_LEVEL_WARNING:
        return "warning";
    case G_LOG_LEVEL_MESSAGE:
        return "message";
    case G_LOG_LEVEL_INFO:
        return "info";
    default:
        return "debug";
    }
}

std::string FieldText(const GLogField &field)
{
    if (!field.value)
        return {};
    const char *text = static_cast<const char *>(field.value);
    return field.length < 0 ? std::string(text) : std::string(text, std::size_t(field.length));
}

std::string WithoutFinalNewlines(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

GLogWriterOutput WriteLogMessage(GLogLevelFlags level, const GLogField *fields, gsize count,
                                 gpointer)
{
    const LibraryMessageSink sink = g_sink.load();
    if (!sink)
        return g_log_writer_default(level, fields, count, nullptr);
    std::string domain, text;
    for (gsize i = 0; i < count; ++i) {
        if (std::strcmp(fields[i].key, "GLIB_DOMAIN") == 0)
            domain = FieldText(fields[i]);
        else if (std::strcmp(fields[i].key, "MESSAGE") == 0)
            text = FieldText(fields[i]);
    }
    // Debug and info messages only where G_MESSAGES_DEBUG asks for them, as GLib does.
    if ((level & (G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG))
        && g_log_writer_default_would_drop(level, domain.empty() ? nullptr : domain.c_str()))
        return G_LOG_WRITER_HANDLED;
    sink({LevelName(level), domain, WithoutFinalNewlines(text)});
    return G_LOG_WRITER_HANDLED;
}

void PrintError(const gchar *text)
{
    const LibraryMessageSink sink = g_sink.load();
    if (!sink) {
        std::fputs(text, stderr);
        std::fflush(stderr);
        return;
    }
    const std::string line = WithoutFinalNewlines(text ? text : "");
    if (!line.empty())
        sink({"message", std::string(), line});
}

} // namespace

void RouteLibraryMessages(LibraryMessageSink sink)
{
    // GLib takes one writer for the life of the process; it passes messages on while no sink
    // is set.
    static std::once_flag once;
    std::call_once(once, [] {
        g_log_set_writer_func(WriteLogMessage, nullptr, nullptr);
        g_set_printerr_handler(PrintError);
    });
    g_sink.store(sink);
    if (gst_is_initialized())
        ApplyLibraryMessageRoute();
}

void ApplyLibraryMessageRoute()
{
    const bool asked = g_getenv("GST_DEBUG") && *g_getenv("GST_DEBUG");
    const bool quiet = g_sink.load() && !asked;
    std::lock_guard lock(g_debugLogMutex);
    if (quiet && !g_debugLogRemoved)
        gst_debug_remove_log_function(gst_debug_log_default);
    else if (!quiet && g_debugLogRemoved)
        gst_debug_add_log_function(gst_debug_log_default, nullptr, nullptr);
    g_debugLogRemoved = quiet;
}

} // namespace media
