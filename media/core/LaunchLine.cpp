#include "media/core/LaunchLine.h"

#include "media/core/GstHandles.h"
#include "media/core/MediaPlatform.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace media {

namespace {

using Clock = std::chrono::steady_clock;

HRESULT Fail(std::string *error, const std::string &text, HRESULT hr = E_FAIL)
{
    if (error)
        *error = text;
    return hr;
}

std::string ErrorText(GstMessage *message)
{
    GError *raw = nullptr;
    gchar *debugRaw = nullptr;
    gst_message_parse_error(message, &raw, &debugRaw);
    gst::Error failure(raw);
    gst::String debug(debugRaw);
    std::string text = failure ? failure->message : "unknown error";
    if (debug)
        text += std::string(" (") + debug.get() + ")";
    return text;
}

// Waits for one of the given message types until the deadline; ERROR always ends the wait.
HRESULT WaitFor(GstBus *bus, GstMessageType wanted, Clock::time_point deadline, std::string *error)
{
    for (;;) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            return Fail(error, "timed out");
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        gst::Message message(gst_bus_timed_pop_filtered(
            bus, GstClockTime(ns), GstMessageType(wanted | GST_MESSAGE_ERROR)));
        if (!message)
            return Fail(error, "timed out");
        if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR)
            return Fail(error, ErrorText(message.get()));
        return S_OK;
    }
}

// Holds the first buffer at every encoder's input until the section's seek is done.
struct Gate
{
    std::mutex lock;
    std::condition_variable changed;
    int waiting = 0;
    std::vector<std::pair<gst::Pad, gulong>> probes;
};

void CloseGate(GstElement *pipeline, Gate *gate)
{
    GstIterator *it = gst_bin_iterate_recurse(GST_BIN(pipeline));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto *element = GST_ELEMENT(g_value_get_object(&item));
        GstElementFactory *factory = gst_element_get_factory(element);
        const gchar *klass
            = factory ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS)
                      : nullptr;
        if (klass && g_strrstr(klass, "Encoder")) {
            gst::Pad pad(gst_element_get_static_pad(element, "sink"));
            if (pad) {
                const gulong id = gst_pad_add_probe(
                    pad.get(),
                    GstPadProbeType(GST_PAD_PROBE_TYPE_BLOCK | GST_PAD_PROBE_TYPE_BUFFER),
                    [](GstPad *, GstPadProbeInfo *, gpointer data) {
                        auto *g = static_cast<Gate *>(data);
                        std::lock_guard<std::mutex> hold(g->lock);
                        ++g->waiting;
                        g->changed.notify_all();
                        return GST_PAD_PROBE_OK;
                    },
                    gate, nullptr);
                gate->probes.emplace_back(std::move(pad), id);
            }
        }
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
}

HRESULT SeekToSection(GstElement *pipeline, const LaunchSection &section,
                      Clock::time_point deadline, std::string *error)
{
    Gate gate;
    CloseGate(pipeline, &gate);
    if (gate.probes.empty())
        return Fail(error, "a section needs at least one encoder");
    if (gst_element_set_state(pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
        return Fail(error, "the pipeline could not pause");
    {
        std::unique_lock<std::mutex> hold(gate.lock);
        const size_t inputs = gate.probes.size();
        while (size_t(gate.waiting) < inputs) {
            if (gate.changed.wait_until(hold, deadline) == std::cv_status::timeout)
                return Fail(error, "timed out before the section");
        }
    }
    // From the input of any encoder the seek reaches the demuxer, which serves every stream.
    gst::Pad upstream(gst_pad_get_peer(gate.probes.front().first.get()));
    const gint64 start = section.start * 100;
    const gint64 stop = section.stop < 0 ? -1 : section.stop * 100;
    GstEvent *seek = gst_event_new_seek(
        1.0, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
        GST_SEEK_TYPE_SET, start, stop < 0 ? GST_SEEK_TYPE_NONE : GST_SEEK_TYPE_SET, stop);
    if (!upstream || !gst_pad_send_event(upstream.get(), seek))
        return Fail(error, "the sources could not seek to the section");
    for (auto &[pad, id] : gate.probes)
        gst_pad_remove_probe(pad.get(), id);
    return S_OK;
}

} // namespace

HRESULT RunLaunchLine(const std::string &description, std::string *error,
                      const LaunchSection *section, int timeoutSeconds)
{
    std::string reason;
    if (!InitializeMediaPlatform(&reason, MediaServices::Playback))
        return Fail(error, reason);
    GError *raw = nullptr;
    gst::Element pipeline = gst::Adopt(gst_parse_launch(description.c_str(), &raw));
    gst::Error failure(raw);
    if (!pipeline || failure)
        return Fail(error, failure ? failure->message : "the description does not parse",
                    E_INVALIDARG);
    gst::Bus bus(gst_element_get_bus(pipeline.get()));
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);

    HRESULT hr = S_OK;
    if (section)
        hr = SeekToSection(pipeline.get(), *section, deadline, error);
    if (SUCCEEDED(hr)) {
        // A refused start posts its reason as an error, which the wait reports.
        gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
        hr = WaitFor(bus.get(), GST_MESSAGE_EOS, deadline, error);
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return hr;
}

} // namespace media
