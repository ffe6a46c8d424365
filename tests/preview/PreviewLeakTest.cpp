// Opening files in a row must leave no pipeline, element, pad, bus, task or streaming thread
// behind. GStreamer's leak tracer keeps a list of every live GStreamer object; this process
// switches it on before GStreamer starts and compares the list before and after.
#include "PreviewTestSupport.h"

#include "platform/MessageBoxes.h"
#include "preview/VcdCore.h"

#include <gtest/gtest.h>

#include <gst/gst.h>

#include <QDir>

#include <cstdlib>
#include <map>
#include <string>

namespace {

const bool kTracerRequested = [] {
    // GstObjects only (pipelines, elements, pads, buses, tasks, pools): the list of live
    // buffers includes pooled ones at reference count 0, which cannot be handed out safely.
    setenv("GST_TRACERS", "leaks(filters=GstObject)", 0);
    return true;
}();

GstTracer *LeaksTracer()
{
    GList *tracers = gst_tracing_get_active_tracers();
    GstTracer *found = nullptr;
    for (GList *l = tracers; l; l = l->next) {
        auto *tracer = GST_TRACER(l->data);
        if (!found && g_str_equal(G_OBJECT_TYPE_NAME(tracer), "GstLeaksTracer"))
            found = GST_TRACER(gst_object_ref(tracer));
    }
    g_list_free_full(tracers, gst_object_unref);
    return found;
}

// Addresses and type names in one of the tracer's checkpoint lists.
std::map<std::string, std::string> Entries(const GstStructure *checkpoint, const char *field)
{
    std::map<std::string, std::string> entries;
    const GValue *list = gst_structure_get_value(checkpoint, field);
    for (guint i = 0; list && i < gst_value_list_get_size(list); ++i) {
        const GstStructure *entry = gst_value_get_structure(gst_value_list_get_value(list, i));
        const gchar *address = gst_structure_get_string(entry, "address");
        const gchar *type = gst_structure_get_string(entry, "type-name");
        if (address)
            entries[address] = type ? type : "?";
    }
    return entries;
}

// Follows the GStreamer objects made since tracking started that are still alive. The
// checkpoint lists hold addresses and names only, so no object is touched; each checkpoint
// reports what happened since the previous one.
struct Tracked
{
    std::map<std::string, std::string> alive; // address -> type name
    int made = 0;

    void Update(GstTracer *tracer)
    {
        GstStructure *checkpoint = nullptr;
        g_signal_emit_by_name(tracer, "activity-get-checkpoint", &checkpoint);
        if (!checkpoint)
            return;
        const std::map<std::string, std::string> created
            = Entries(checkpoint, "objects-created-list");
        made += static_cast<int>(created.size());
        alive.insert(created.begin(), created.end());
        for (const auto &[address, type] : Entries(checkpoint, "objects-removed-list"))
            alive.erase(address);
        gst_structure_free(checkpoint);
    }

    std::map<std::string, int> ByType() const
    {
        std::map<std::string, int> counts;
        for (const auto &[address, type] : alive)
            ++counts[type];
        return counts;
    }
};

std::string Listed(const std::map<std::string, int> &counts)
{
    std::string text;
    for (const auto &[type, count] : counts)
        text += type + " x" + std::to_string(count) + "\n";
    return text;
}

int ThreadCount()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/task"))
                                .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                                .size());
}

// Opens a file, plays a little of it, and closes it the way the main window does.
void OpenPlayClose(const char *fixture)
{
    platform::MessageBoxRecorder boxes;
    OwnerWindow owner;
    auto player = std::make_unique<CVcdCore>(&owner);
    player->m_szMediaPath = Fixture(fixture);
    ASSERT_TRUE(player->OpenClip()) << fixture;
    player->Play();
    WaitUntil([&] { return owner.ticks >= 1; });
    player->CloseClip();
    player.reset();
    QCoreApplication::processEvents();
}

} // namespace

TEST(PreviewPlayer, TenOpensInARowLeaveNoGStreamerObjectOrThreadBehind)
{
    ASSERT_TRUE(kTracerRequested);
    const char *files[]
        = {"h264_aac.mp4",  "mpeg4_mp3.avi",   "vp8_vorbis.mkv",         "theora_vorbis.ogg",
           "wmv2_wma2.wmv", "mpeg2_mp2.mpg",   "video_only_640x480.mp4", "vorbis_audio.ogg",
           "pcm_audio.wav", "bars_320x240.mp4"};
    // One round first: plugins, type classes, the system clock and the thread pools are made
    // once per process and stay.
    for (const char *file : files)
        OpenPlayClose(file);
    GstTracer *tracer = LeaksTracer();
    ASSERT_NE(tracer, nullptr) << "the leak tracer is not active";
    const int threadsBefore = ThreadCount();
    g_signal_emit_by_name(tracer, "activity-start-tracking");

    for (const char *file : files)
        OpenPlayClose(file);

    // A streaming thread lets go of its task a moment after the pipeline has stopped.
    Tracked tracked;
    WaitUntil(
        [&] {
            tracked.Update(tracer);
            return tracked.alive.empty();
        },
        10000);
    g_signal_emit_by_name(tracer, "activity-stop-tracking");
    EXPECT_GT(tracked.made, 100); // the tracker saw the graphs being built
    EXPECT_TRUE(tracked.alive.empty()) << Listed(tracked.ByType());
    // Idle pool threads may linger a little before they end.
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() <= threadsBefore; }, 30000))
        << ThreadCount() << " threads, " << threadsBefore << " before";
    std::printf("GStreamer objects made: %d, still alive: %d; threads: %d before, %d after\n",
                tracked.made, static_cast<int>(tracked.alive.size()), threadsBefore, ThreadCount());
    gst_object_unref(tracer);
}
