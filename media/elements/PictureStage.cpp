#include "media/elements/PictureStage.h"

#include "media/elements/FilterPads.h"

#include <gst/video/gstvideofilter.h>
#include <gst/video/video.h>

#include <atomic>

namespace media {

namespace {

// One picture's bytes, shared by every buffer that shows it; freed with the last of them, which
// may outlive the element in an encoder's queue.
struct Block
{
    std::atomic<int> refs{1};
    gsize size = 0;
    guint8 *data = nullptr;

    static Block *Make(gsize size)
    {
        auto *block = new Block;
        block->size = size;
        block->data = static_cast<guint8 *>(g_malloc(size));
        return block;
    }
    static void Unref(gpointer p)
    {
        auto *block = static_cast<Block *>(p);
        if (block && block->refs.fetch_sub(1) == 1) {
            g_free(block->data);
            delete block;
        }
    }
};

struct CwStage
{
    GstVideoFilter parent;
    Block *block;
};

struct CwStageClass
{
    GstVideoFilterClass parent;
};

GstElementClass *g_parentClass = nullptr;
GType g_type = 0;

Block *&BlockOf(gpointer element)
{
    return static_cast<CwStage *>(element)->block;
}

gboolean SetInfo(GstVideoFilter *filter, GstCaps *, GstVideoInfo *in, GstCaps *, GstVideoInfo *)
{
    Block::Unref(BlockOf(filter));
    BlockOf(filter) = Block::Make(GST_VIDEO_INFO_SIZE(in));
    return TRUE;
}

// The encoder's pool would be filled to its look-ahead; the pictures here are the block.
gboolean DecideAllocation(GstBaseTransform *, GstQuery *query)
{
    while (gst_query_get_n_allocation_pools(query) > 0)
        gst_query_remove_nth_allocation_pool(query, 0);
    return TRUE;
}

GstFlowReturn PrepareOutput(GstBaseTransform *trans, GstBuffer *input, GstBuffer **out)
{
    Block *block = BlockOf(trans);
    if (!block)
        return GST_FLOW_NOT_NEGOTIATED;
    block->refs.fetch_add(1);
    *out = gst_buffer_new();
    gst_buffer_append_memory(*out,
                             gst_memory_new_wrapped(GstMemoryFlags(0), block->data, block->size, 0,
                                                    block->size, block, Block::Unref));
    GstBaseTransformClass *klass = GST_BASE_TRANSFORM_GET_CLASS(trans);
    if (klass->copy_metadata)
        klass->copy_metadata(trans, input, *out);
    return GST_FLOW_OK;
}

GstFlowReturn TransformFrame(GstVideoFilter *, GstVideoFrame *in, GstVideoFrame *out)
{
    return gst_video_frame_copy(out, in) ? GST_FLOW_OK : GST_FLOW_ERROR;
}

gboolean Stop(GstBaseTransform *trans)
{
    Block::Unref(BlockOf(trans));
    BlockOf(trans) = nullptr;
    return TRUE;
}

void Finalize(GObject *object)
{
    Block::Unref(BlockOf(object));
    G_OBJECT_CLASS(g_parentClass)->finalize(object);
}

void ClassInit(gpointer klass, gpointer)
{
    g_parentClass = GST_ELEMENT_CLASS(g_type_class_peek_parent(klass));
    G_OBJECT_CLASS(klass)->finalize = Finalize;

    auto *elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_set_metadata(elementClass, "Picture stage", "Filter/Video",
                                   "Hands pictures on in one reused staging picture", "Clipwright");
    AddFilterPadTemplates(elementClass, "video/x-raw");
    auto *transformClass = GST_BASE_TRANSFORM_CLASS(klass);
    transformClass->decide_allocation = DecideAllocation;
    transformClass->prepare_output_buffer = PrepareOutput;
    transformClass->stop = Stop;
    auto *filterClass = GST_VIDEO_FILTER_CLASS(klass);
    filterClass->set_info = SetInfo;
    filterClass->transform_frame = TransformFrame;
}

} // namespace

bool RegisterPictureStage(GstPlugin *plugin)
{
    if (!g_type) {
        const GTypeInfo info = {sizeof(CwStageClass), nullptr, nullptr, ClassInit, nullptr, nullptr,
                                sizeof(CwStage),      0,       nullptr, nullptr};
        g_type = g_type_register_static(GST_TYPE_VIDEO_FILTER, "CwStage", &info, GTypeFlags(0));
    }
    return gst_element_register(plugin, "cwstage", GST_RANK_NONE, g_type);
}

bool KeepsCopiedPictures(GstElement *encoder)
{
    GstElementFactory *factory = encoder ? gst_element_get_factory(encoder) : nullptr;
    return factory && g_str_equal(GST_OBJECT_NAME(factory), "x264enc");
}

} // namespace media
