#include "media/playback/WaveSounds.h"

#include "media/core/GstHandles.h"
#include "media/playback/SoundOutput.h"

#include <gio/gio.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace media {

namespace {

constexpr char kPipeline[]
    = "giostreamsrc name=source ! wavparse ! audioconvert ! audioresample ! %s";

} // namespace

class WaveSounds::Voice
{
public:
    explicit Voice(std::vector<unsigned char> wave)
        : m_wave(std::move(wave))
    {
        m_worker = std::thread([this] { Run(); });
    }

    ~Voice()
    {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        m_worker.join();
    }

    void Request()
    {
        {
            std::lock_guard lock(m_mutex);
            m_pending = true;
        }
        m_wake.notify_all();
    }

    int Started() const
    {
        std::lock_guard lock(m_mutex);
        return m_started;
    }

    bool WaitIdle(std::chrono::steady_clock::time_point deadline) const
    {
        std::unique_lock lock(m_mutex);
        return m_idle.wait_until(lock, deadline, [this] { return !m_pending && !m_busy; });
    }

private:
    void Run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_quit || m_pending; });
            if (m_quit)
                break;
            m_pending = false;
            m_busy = true;
            lock.unlock();
            const bool started = Restart();
            lock.lock();
            m_busy = false;
            if (started)
                ++m_started;
            m_idle.notify_all();
        }
        lock.unlock();
        if (m_pipeline)
            gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
    }

    // Runs on the worker only: state changes may wait for the device there.
    bool Restart()
    {
        if (m_broken || !gst_is_initialized())
            return false;
        if (!m_pipeline) {
            const gst::String description(g_strdup_printf(
                kPipeline, HasSoundOutput() ? "autoaudiosink" : "fakesink sync=true"));
            GError *rawError = nullptr;
            gst::Element pipeline = gst::Adopt(gst_parse_launch(description.get(), &rawError));
            const gst::Error error(rawError);
            if (!pipeline || error) {
                m_broken = true;
                return false;
            }
            // Nobody reads this bus; a flushing bus drops its messages instead of keeping them.
            const gst::Bus bus(gst_element_get_bus(pipeline.get()));
            gst_bus_set_flushing(bus.get(), TRUE);
            m_source = gst::Element(gst_bin_get_by_name(GST_BIN(pipeline.get()), "source"));
            m_pipeline = std::move(pipeline);
        }
        // READY keeps the chosen audio sink open between sounds and rewinds the stream.
        if (gst_element_set_state(m_pipeline.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
            gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
            return false;
        }
        const gst::GObject<GInputStream> stream(
            g_memory_input_stream_new_from_data(m_wave.data(), gssize(m_wave.size()), nullptr));
        g_object_set(m_source.get(), "stream", stream.get(), nullptr);
        if (gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING)
            == GST_STATE_CHANGE_FAILURE) {
            gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
            return false;
        }
        return true;
    }

    const std::vector<unsigned char> m_wave;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    mutable std::condition_variable m_idle;
    bool m_pending = false;
    bool m_busy = false;
    bool m_quit = false;
    int m_started = 0;
    // Touched by the worker only.
    bool m_broken = false;
    gst::Element m_pipeline;
    gst::Element m_source;
    std::thread m_worker;
};

WaveSounds::WaveSounds() = default;

WaveSounds::~WaveSounds() = default;

void WaveSounds::AddResource(int resource, std::vector<unsigned char> wave)
{
    m_voices[resource] = std::make_unique<Voice>(std::move(wave));
}

void WaveSounds::Play(const platform::SoundRequest &request)
{
    // Only sounds of the program's own resources are known here.
    if (!(request.flags & platform::SoundFromResource))
        return;
    const auto found = m_voices.find(request.resource);
    if (found != m_voices.end())
        found->second->Request();
}

int WaveSounds::StartedCount(int resource) const
{
    const auto found = m_voices.find(resource);
    return found == m_voices.end() ? 0 : found->second->Started();
}

bool WaveSounds::WaitIdle(int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (const auto &[resource, voice] : m_voices) {
        if (!voice->WaitIdle(deadline))
            return false;
    }
    return true;
}

} // namespace media
