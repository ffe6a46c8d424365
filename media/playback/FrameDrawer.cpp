#include "media/playback/FrameDrawer.h"

#include <gst/video/video.h>

namespace media {

struct FrameDrawer::State
{
    GstVideoInfo in{};
    GstVideoInfo out{};
    GstVideoConverter *converter = nullptr;

    ~State() { Drop(); }

    void Drop()
    {
        if (converter)
            gst_video_converter_free(converter);
        converter = nullptr;
    }

    GstVideoConverter *For(const GstVideoInfo &picture, int width, int height)
    {
        if (converter && gst_video_info_is_equal(&in, &picture) && out.width == width
            && out.height == height)
            return converter;
        Drop();
        in = picture;
        // BGRA with opaque alpha, so the pixels are valid both as RGB32 and as premultiplied
        // ARGB32.
        if (!gst_video_info_set_interlaced_format(&out, GST_VIDEO_FORMAT_BGRA, in.interlace_mode,
                                                  width, height))
            return nullptr;
        // The converter changes neither timing nor views.
        out.fps_n = in.fps_n;
        out.fps_d = in.fps_d;
        out.views = in.views;
        GST_VIDEO_INFO_MULTIVIEW_MODE(&out) = GST_VIDEO_INFO_MULTIVIEW_MODE(&in);
        GST_VIDEO_INFO_MULTIVIEW_FLAGS(&out) = GST_VIDEO_INFO_MULTIVIEW_FLAGS(&in);
        out.colorimetry = in.colorimetry;
        out.colorimetry.matrix = GST_VIDEO_COLOR_MATRIX_RGB;
        out.colorimetry.range = GST_VIDEO_COLOR_RANGE_0_255;
        converter = gst_video_converter_new(&in, &out, nullptr);
        return converter;
    }
};

FrameDrawer::FrameDrawer()
    : m_state(std::make_unique<State>())
{
}

FrameDrawer::~FrameDrawer() = default;

bool FrameDrawer::Draw(const VideoFrame &frame, std::uint8_t *target, int stride, int width,
                       int height)
{
    const auto *picture = static_cast<const GstVideoFrame *>(frame.memory.get());
    if (!picture || !target || width <= 0 || height <= 0 || stride < width * 4)
        return false;
    GstVideoConverter *converter = m_state->For(picture->info, width, height);
    if (!converter)
        return false;
    GstVideoInfo info = m_state->out;
    info.stride[0] = stride;
    info.size = static_cast<gsize>(stride) * static_cast<gsize>(height);
    GstBuffer *buffer = gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_NO_SHARE, target, info.size, 0,
                                                    info.size, nullptr, nullptr);
    GstVideoFrame dest;
    const bool mapped = gst_video_frame_map(&dest, &info, buffer, GST_MAP_WRITE);
    if (mapped) {
        gst_video_converter_frame(converter, picture, &dest);
        gst_video_frame_unmap(&dest);
    }
    gst_buffer_unref(buffer);
    return mapped;
}

} // namespace media
