#include "media/probe/StreamLanguages.h"

#include "media/core/GstHandles.h"
#include "media/core/MediaPlatform.h"

#include <gst/gst.h>

#include <cstring>
#include <mutex>

namespace media {

namespace {

struct LanguageRead
{
    std::mutex mutex;
    GstElement *pipeline = nullptr;
    std::set<std::string> wanted;
    std::set<std::string> open; // wanted streams whose tags may still come
    std::map<std::string, std::string> languages;
    int unread = 0; // exposed streams before their first packet
    bool allExposed = false;
};

std::string StreamIdOf(GstPad *pad)
{
    gst::String id(gst_pad_get_stream_id(pad));
    return id ? id.get() : std::string();
}

void TakeLanguage(LanguageRead *read, const std::string &id, const GstTagList *tags)
{
    gchar *code = nullptr;
    // "und" says that the language was not determined.
    if (read->wanted.count(id) && tags
        && gst_tag_list_get_string(tags, GST_TAG_LANGUAGE_CODE, &code) && code && *code
        && std::strcmp(code, "und") != 0)
        read->languages[id] = code;
    g_free(code);
}

bool Finished(const LanguageRead &read)
{
    return read.open.empty() || (read.allExposed && read.unread == 0);
}

void PostProgress(LanguageRead *read)
{
    gst_element_post_message(
        read->pipeline,
        gst_message_new_application(nullptr, gst_structure_new_empty("stream-languages")));
}

GstPadProbeReturn OnData(GstPad *pad, GstPadProbeInfo *info, gpointer data)
{
    auto *read = static_cast<LanguageRead *>(data);
    bool first = true;
    if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_TAG) {
            GstTagList *tags = nullptr;
            gst_event_parse_tag(event, &tags);
            const std::string id = StreamIdOf(pad);
            std::lock_guard lock(read->mutex);
            TakeLanguage(read, id, tags);
            if (read->languages.count(id) && read->open.erase(id))
                PostProgress(read);
            return GST_PAD_PROBE_OK;
        }
        first = GST_EVENT_TYPE(event) == GST_EVENT_GAP || GST_EVENT_TYPE(event) == GST_EVENT_EOS;
    }
    if (!first)
        return GST_PAD_PROBE_OK;
    // Data: whatever tags the stream has went before it.
    const std::string id = StreamIdOf(pad);
    std::lock_guard lock(read->mutex);
    for (guint i = 0;; ++i) {
        gst::MiniObject<GstEvent> event(gst_pad_get_sticky_event(pad, GST_EVENT_TAG, i));
        if (!event)
            break;
        GstTagList *tags = nullptr;
        gst_event_parse_tag(event.get(), &tags);
        if (!read->languages.count(id))
            TakeLanguage(read, id, tags);
    }
    read->open.erase(id);
    --read->unread;
    PostProgress(read);
    return GST_PAD_PROBE_REMOVE;
}

void OnPadAdded(GstElement *, GstPad *pad, gpointer data)
{
    auto *read = static_cast<LanguageRead *>(data);
    GstElement *sink = gst_element_factory_make("fakesink", nullptr);
    if (!sink)
        return;
    // No preroll: one demuxer thread feeds every sink.
    g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
    gst_bin_add(GST_BIN(read->pipeline), sink);
    gst_element_sync_state_with_parent(sink);
    {
        std::lock_guard lock(read->mutex);
        ++read->unread;
    }
    gst_pad_add_probe(pad,
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST
                                      | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      OnData, read, nullptr);
    gst::Pad sinkPad(gst_element_get_static_pad(sink, "sink"));
    gst_pad_link(pad, sinkPad.get());
}

void OnNoMorePads(GstElement *, gpointer data)
{
    auto *read = static_cast<LanguageRead *>(data);
    std::lock_guard lock(read->mutex);
    read->allExposed = true;
    PostProgress(read);
}

} // namespace

std::map<std::string, std::string> ReadStreamLanguages(const std::string &path,
                                                       const std::set<std::string> &wanted,
                                                       std::chrono::milliseconds timeout)
{
    LanguageRead read;
    read.wanted = read.open = wanted;
    if (wanted.empty() || !InitializeMediaPlatform(nullptr, MediaServices::Playback))
        return {};
    gst::Element pipeline(gst::Adopt(gst_pipeline_new("stream-languages")));
    gst::Element source(gst::Adopt(gst_element_factory_make("filesrc", nullptr)));
    gst::Element parse(gst::Adopt(gst_element_factory_make("parsebin", nullptr)));
    if (!pipeline || !source || !parse)
        return {};
    read.pipeline = pipeline.get();
    g_object_set(source.get(), "location", path.c_str(), nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), source.get(), parse.get(), nullptr);
    gst_element_link(source.get(), parse.get());
    g_signal_connect(parse.get(), "pad-added", G_CALLBACK(OnPadAdded), &read);
    g_signal_connect(parse.get(), "no-more-pads", G_CALLBACK(OnNoMorePads), &read);

    gst::Bus bus(gst_element_get_bus(pipeline.get()));
    const gint64 deadline = g_get_monotonic_time() + gint64(timeout.count()) * 1000;
    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
        for (;;) {
            {
                std::lock_guard lock(read.mutex);
                if (Finished(read))
                    break;
            }
            const gint64 left = deadline - g_get_monotonic_time();
            if (left <= 0)
                break;
            gst::Message message(gst_bus_timed_pop_filtered(
                bus.get(), GstClockTime(left) * GST_USECOND,
                GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_APPLICATION)));
            if (!message || GST_MESSAGE_TYPE(message.get()) != GST_MESSAGE_APPLICATION)
                break;
        }
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    std::lock_guard lock(read.mutex);
    return read.languages;
}

} // namespace media
