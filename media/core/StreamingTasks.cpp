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

bool ElementTaskRunning(GstElement *element)
{
    bool running = false;
    GstIterator *pads = gst_element_iterate_pads(element);
    GValue item = G_VALUE_INIT;
    while (!running) {
        const GstIteratorResult result = gst_iterator_next(pads, &item);
        if (result == GST_ITERATOR_RESYNC) {
            gst_iterator_resync(pads);
            continue;
        }
        if (result != GST_ITERATOR_OK)
            break;
        running = PadTaskRunning(GST_PAD(g_value_get_object(&item)));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(pads);
    return running;
}

} // namespace

bool AnyStreamingTaskRunning(GstElement *bin)
{
    if (ElementTaskRunning(bin))
        return true;
    if (!GST_IS_BIN(bin))
        return false;
    bool running = false;
    GstIterator *children = gst_bin_iterate_recurse(GST_BIN(bin));
    GValue item = G_VALUE_INIT;
    while (!running) {
        const GstIteratorResult result = gst_iterator_next(children, &item);
        if (result == GST_ITERATOR_RESYNC) {
            gst_iterator_resync(children);
            continue;
        }
        if (result != GST_ITERATOR_OK)
            break;
        running = ElementTaskRunning(GST_ELEMENT(g_value_get_object(&item)));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(children);
    return running;
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
