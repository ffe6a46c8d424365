#include "media/core/StreamingTasks.h"

#include "media/core/GstHandles.h"

namespace media {

namespace {

bool PadTaskRunning(GstPad *pad)
{
    GST_OBJECT_LOCK(pad);
    GstTask *task = GST_PAD_TASK(pad) ? GST_TASK(gst_object_ref(GST_PAD_TASK(pad))) : nullptr;
    GST_OBJECT_UNLOCK(pad);
    if (!task)
        return false;
    const bool running = gst_task_get_state(task) == GST_TASK_STARTED;
    gst_object_unref(task);
    return running;
}

// Whether test holds for any object the iterator gives; the iterator is freed.
template<typename Test>
bool AnyOf(GstIterator *items, Test test)
{
    bool found = false;
    GValue item = G_VALUE_INIT;
    while (!found) {
        const GstIteratorResult result = gst_iterator_next(items, &item);
        if (result == GST_ITERATOR_RESYNC) {
            gst_iterator_resync(items);
            continue;
        }
        if (result != GST_ITERATOR_OK)
            break;
        found = test(g_value_get_object(&item));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(items);
    return found;
}

bool ElementTaskRunning(GstElement *element)
{
    return AnyOf(gst_element_iterate_pads(element),
                 [](gpointer pad) { return PadTaskRunning(GST_PAD(pad)); });
}

} // namespace

bool AnyStreamingTaskRunning(GstElement *bin)
{
    if (ElementTaskRunning(bin))
        return true;
    return GST_IS_BIN(bin) && AnyOf(gst_bin_iterate_recurse(GST_BIN(bin)), [](gpointer child) {
               return ElementTaskRunning(GST_ELEMENT(child));
           });
}

GstMessage *PopUnlessStalled(GstElement *pipeline, GstMessageType types)
{
    gst::Bus bus(gst_element_get_bus(pipeline));
    int idleChecks = 0;
    while (idleChecks < 2) {
        if (GstMessage *message = gst_bus_timed_pop_filtered(bus.get(), GST_SECOND / 4, types))
            return message;
        idleChecks = AnyStreamingTaskRunning(pipeline) ? 0 : idleChecks + 1;
    }
    // A message posted as the last task paused.
    return gst_bus_pop_filtered(bus.get(), types);
}

} // namespace media
