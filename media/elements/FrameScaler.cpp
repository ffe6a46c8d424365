#include "media/elements/FrameScaler.h"

#include "media/elements/FilterPads.h"

#include <gst/video/gstvideofilter.h>
#include <gst/video/video.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

namespace media {

namespace {

constexpr int kShift = 14; // fixed-point fraction bits of the matrix conversion

const char kCaps[] = "video/x-raw, format=(string)I420, width=(int)[1, 16384], "
                     "height=(int)[1, 16384], framerate=(fraction)[0/1, 2147483647/1]";

// Y'CbCr of one colorimetry to another as integer affine maps: luma from all three components,
// each chroma from the two chroma components (luma never enters a chroma difference).
struct MatrixConversion
{
    bool active = false;
    int luma[4] = {};      // Y' = (l0 Y + l1 Cb + l2 Cr + l3) >> kShift
    int chroma[2][3] = {}; // Cb', Cr' = (c0 Cb + c1 Cr + c2) >> kShift
};

struct Range
{
    double offset, lumaScale, chromaScale;
};

Range RangeOf(const GstVideoColorimetry &c)
{
    if (c.range == GST_VIDEO_COLOR_RANGE_0_255)
        return {0.0, 255.0, 255.0};
    return {16.0, 219.0, 224.0};
}

MatrixConversion PlanConversion(const GstVideoColorimetry &from, const GstVideoColorimetry &to)
{
    MatrixConversion plan;
    gdouble krIn, kbIn, krOut, kbOut;
    if (!gst_video_color_matrix_get_Kr_Kb(from.matrix, &krIn, &kbIn)
        || !gst_video_color_matrix_get_Kr_Kb(to.matrix, &krOut, &kbOut))
        return plan; // RGB or unknown: nothing to convert between
    const Range in = RangeOf(from), out = RangeOf(to);
    if (krIn == krOut && kbIn == kbOut && in.offset == out.offset)
        return plan;

    // The normalised map, column by column: (y, u, v) in -> R'G'B' -> (y, u, v) out.
    double m[3][3];
    for (int col = 0; col < 3; ++col) {
        const double y = col == 0, u = col == 1, v = col == 2;
        const double r = y + 2 * (1 - krIn) * v;
        const double b = y + 2 * (1 - kbIn) * u;
        const double g = (y - krIn * r - kbIn * b) / (1 - krIn - kbIn);
        const double yo = krOut * r + (1 - krOut - kbOut) * g + kbOut * b;
        m[0][col] = yo;
        m[1][col] = (b - yo) / (2 * (1 - kbOut));
        m[2][col] = (r - yo) / (2 * (1 - krOut));
    }
    const double one = 1 << kShift;
    auto fixed = [one](double v) { return static_cast<int>(v * one + (v < 0 ? -0.5 : 0.5)); };
    const double inScale[3] = {in.lumaScale, in.chromaScale, in.chromaScale};
    const double inCentre[3] = {in.offset, 128.0, 128.0};
    double lumaConstant = out.offset;
    for (int col = 0; col < 3; ++col) {
        const double k = out.lumaScale * m[0][col] / inScale[col];
        plan.luma[col] = fixed(k);
        lumaConstant -= k * inCentre[col];
    }
    plan.luma[3] = fixed(lumaConstant) + (1 << (kShift - 1));
    for (int row = 0; row < 2; ++row) {
        double constant = 128.0;
        for (int col = 1; col < 3; ++col) {
            const double k = out.chromaScale * m[row + 1][col] / in.chromaScale;
            plan.chroma[row][col - 1] = fixed(k);
            constant -= k * 128.0;
        }
        plan.chroma[row][2] = fixed(constant) + (1 << (kShift - 1));
    }
    plan.active = true;
    return plan;
}

inline guint8 Clamp(int v)
{
    return static_cast<guint8>(std::clamp(v >> kShift, 0, 255));
}

struct Rect
{
    int x = 0, y = 0, width = 0, height = 0;
};

inline int EvenDown(int v)
{
    return v & ~1;
}

struct State
{
    FrameLayout layout; // fixed before the element negotiates
    Rect from, to;      // the part of the picture shown, and where in the frame
    SwsContext *sws = nullptr;
    MatrixConversion conversion;
    guint8 black = 16;
};

// The part of an inW x inH picture that its place shows in the frame, and where: a picture
// larger than the frame is cut on every side it overhangs. Even offsets and sizes, so that the
// chroma planes cut and land alike.
void Visible(const FrameLayout &l, int inW, int inH, Rect *from, Rect *to)
{
    const int left = std::max(0, l.x), top = std::max(0, l.y);
    const int right = left + EvenDown(std::min(l.width, l.x + l.inner) - left);
    const int bottom = top + EvenDown(std::min(l.height, l.y + l.rows) - top);
    *to = {left, top, right - left, bottom - top};
    auto source = [](int at, int place, int span, int size) {
        return std::min(size, EvenDown(static_cast<int>(gint64(at - place) * size / span)));
    };
    const int x0 = source(left, l.x, l.inner, inW), x1 = source(right, l.x, l.inner, inW);
    const int y0 = source(top, l.y, l.rows, inH), y1 = source(bottom, l.y, l.rows, inH);
    // A picture shown whole keeps its odd last column or row.
    *from = {x0, y0, (right == l.x + l.inner ? inW : x1) - x0,
             (bottom == l.y + l.rows ? inH : y1) - y0};
}

struct CwScale
{
    GstVideoFilter parent;
    State *state;
};

struct CwScaleClass
{
    GstVideoFilterClass parent;
};

GstElementClass *g_parentClass = nullptr;
GType g_type = 0;

State *StateOf(gpointer element)
{
    return static_cast<CwScale *>(element)->state;
}

GstCaps *TransformCaps(GstBaseTransform *trans, GstPadDirection direction, GstCaps *caps,
                       GstCaps *filter)
{
    const FrameLayout &layout = StateOf(trans)->layout;
    GstCaps *result = gst_caps_new_empty();
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        GstStructure *s = gst_structure_copy(gst_caps_get_structure(caps, i));
        if (direction == GST_PAD_SINK) {
            gst_structure_set(s, "width", G_TYPE_INT, layout.width, "height", G_TYPE_INT,
                              layout.height, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1,
                              nullptr);
            if (!layout.colorimetry.empty())
                gst_structure_set(s, "colorimetry", G_TYPE_STRING, layout.colorimetry.c_str(),
                                  nullptr);
        } else {
            gst_structure_set(s, "width", GST_TYPE_INT_RANGE, 1, 16384, "height",
                              GST_TYPE_INT_RANGE, 1, 16384, nullptr);
            gst_structure_remove_field(s, "pixel-aspect-ratio");
            if (!layout.colorimetry.empty())
                gst_structure_remove_field(s, "colorimetry");
        }
        result = gst_caps_merge_structure_full(
            result, s, gst_caps_features_copy(gst_caps_get_features(caps, i)));
    }
    if (filter) {
        GstCaps *both = gst_caps_intersect_full(filter, result, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(result);
        result = both;
    }
    return result;
}

gboolean SetInfo(GstVideoFilter *filter, GstCaps *, GstVideoInfo *in, GstCaps *, GstVideoInfo *out)
{
    State *st = StateOf(filter);
    const FrameLayout &l = st->layout;
    if (out->width != l.width || out->height != l.height)
        return FALSE;
    sws_freeContext(st->sws);
    st->sws = nullptr;
    Visible(l, in->width, in->height, &st->from, &st->to);
    const Rect &from = st->from, &to = st->to;
    if (from.width <= 0 || from.height <= 0 || to.width <= 0 || to.height <= 0) {
        GST_ELEMENT_ERROR(
            filter, CORE, NEGOTIATION, (nullptr),
            ("a %dx%d picture shows nothing of itself in the frame", in->width, in->height));
        return FALSE;
    }
    if (from.width != to.width || from.height != to.height) {
        st->sws = sws_getContext(from.width, from.height, AV_PIX_FMT_YUV420P, to.width, to.height,
                                 AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!st->sws) {
            GST_ELEMENT_ERROR(
                filter, CORE, NEGOTIATION, (nullptr),
                ("no scaler for %dx%d to %dx%d", from.width, from.height, to.width, to.height));
            return FALSE;
        }
    }
    st->conversion = PlanConversion(in->colorimetry, out->colorimetry);
    st->black = out->colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255 ? 0 : 16;
    const bool same = !st->sws && !st->conversion.active && to.x == 0 && to.y == 0
                      && to.width == l.width && to.height == l.height && from.x == 0 && from.y == 0
                      && in->width == l.width && in->height == l.height;
    gst_base_transform_set_passthrough(GST_BASE_TRANSFORM(filter), same);
    return TRUE;
}

// The frame outside the picture's rectangle, black; the rectangle itself is written after.
void FillBorders(GstVideoFrame *frame, const Rect &l, guint8 black)
{
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane ? 1 : 0;
        const guint8 value = plane ? 128 : black;
        const int width = GST_VIDEO_FRAME_COMP_WIDTH(frame, plane);
        const int height = GST_VIDEO_FRAME_COMP_HEIGHT(frame, plane);
        const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(frame, plane);
        auto *data = static_cast<guint8 *>(GST_VIDEO_FRAME_PLANE_DATA(frame, plane));
        const int top = l.y >> shift, left = l.x >> shift;
        const int bottom = std::min(height, top + (l.height >> shift));
        const int right = std::min(width, left + (l.width >> shift));
        for (int row = 0; row < height; ++row) {
            guint8 *line = data + std::size_t(row) * stride;
            if (row < top || row >= bottom) {
                std::memset(line, value, width);
                continue;
            }
            std::memset(line, value, left);
            std::memset(line + right, value, width - right);
        }
    }
}

// Converts the rectangle in place, a chroma row and its two luma rows at a time: the chroma
// part of each luma sum is taken once per 2x2 block, from the chroma before it is converted.
// Between two matrices of one range luma keeps its weight of one, and the luma rows take a
// plain saturating add, which the compiler vectorises.
void ConvertMatrix(guint8 *const plane[3], const int stride[3], int width, int height,
                   const MatrixConversion &c)
{
    const int chromaWidth = width / 2; // the rectangle is even
    const bool unitLuma = c.luma[0] == 1 << kShift;
    std::vector<int> part(width);
    for (int cy = 0; cy < height / 2; ++cy) {
        guint8 *u = plane[1] + std::size_t(cy) * stride[1];
        guint8 *v = plane[2] + std::size_t(cy) * stride[2];
        for (int x = 0; x < chromaWidth; ++x) {
            const int cb = u[x], cr = v[x];
            int sum = c.luma[1] * cb + c.luma[2] * cr + c.luma[3];
            if (unitLuma)
                sum >>= kShift;
            part[2 * x] = part[2 * x + 1] = sum;
            u[x] = Clamp(c.chroma[0][0] * cb + c.chroma[0][1] * cr + c.chroma[0][2]);
            v[x] = Clamp(c.chroma[1][0] * cb + c.chroma[1][1] * cr + c.chroma[1][2]);
        }
        for (int ly = cy * 2; ly < cy * 2 + 2; ++ly) {
            guint8 *y = plane[0] + std::size_t(ly) * stride[0];
            if (unitLuma) {
                for (int x = 0; x < width; ++x)
                    y[x] = static_cast<guint8>(std::clamp(y[x] + part[x], 0, 255));
            } else {
                for (int x = 0; x < width; ++x)
                    y[x] = Clamp(c.luma[0] * y[x] + part[x]);
            }
        }
    }
}

GstFlowReturn TransformFrame(GstVideoFilter *filter, GstVideoFrame *in, GstVideoFrame *out)
{
    State *st = StateOf(filter);
    const Rect &from = st->from, &to = st->to;
    FillBorders(out, to, st->black);
    const guint8 *src[3];
    int srcStride[3], dstStride[3];
    guint8 *dst[3];
    for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane ? 1 : 0; // offsets are even
        srcStride[plane] = GST_VIDEO_FRAME_PLANE_STRIDE(in, plane);
        dstStride[plane] = GST_VIDEO_FRAME_PLANE_STRIDE(out, plane);
        src[plane] = static_cast<const guint8 *>(GST_VIDEO_FRAME_PLANE_DATA(in, plane))
                     + std::size_t(from.y >> shift) * srcStride[plane] + (from.x >> shift);
        dst[plane] = static_cast<guint8 *>(GST_VIDEO_FRAME_PLANE_DATA(out, plane))
                     + std::size_t(to.y >> shift) * dstStride[plane] + (to.x >> shift);
    }
    if (st->sws) {
        sws_scale(st->sws, src, srcStride, 0, from.height, dst, dstStride);
    } else {
        for (int plane = 0; plane < 3; ++plane) {
            const int shift = plane ? 1 : 0;
            const int width = (from.width + shift) >> shift, rows = (from.height + shift) >> shift;
            for (int row = 0; row < rows; ++row)
                std::memcpy(dst[plane] + std::size_t(row) * dstStride[plane],
                            src[plane] + std::size_t(row) * srcStride[plane], width);
        }
    }
    if (st->conversion.active)
        ConvertMatrix(dst, dstStride, to.width, to.height, st->conversion);
    return GST_FLOW_OK;
}

gboolean Stop(GstBaseTransform *trans)
{
    State *st = StateOf(trans);
    sws_freeContext(st->sws);
    st->sws = nullptr;
    return TRUE;
}

void Finalize(GObject *object)
{
    State *st = StateOf(object);
    sws_freeContext(st->sws);
    delete st;
    G_OBJECT_CLASS(g_parentClass)->finalize(object);
}

void InstanceInit(GTypeInstance *instance, gpointer)
{
    static_cast<CwScale *>(static_cast<void *>(instance))->state = new State;
}

void ClassInit(gpointer klass, gpointer)
{
    g_parentClass = GST_ELEMENT_CLASS(g_type_class_peek_parent(klass));
    G_OBJECT_CLASS(klass)->finalize = Finalize;

    auto *elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_set_metadata(elementClass, "Frame scaler", "Filter/Converter/Video/Scaler",
                                   "Scales a picture into its place in a frame with libswscale",
                                   "Clipwright");
    AddFilterPadTemplates(elementClass, kCaps);
    auto *transformClass = GST_BASE_TRANSFORM_CLASS(klass);
    transformClass->transform_caps = TransformCaps;
    transformClass->stop = Stop;
    auto *filterClass = GST_VIDEO_FILTER_CLASS(klass);
    filterClass->set_info = SetInfo;
    filterClass->transform_frame = TransformFrame;
}

} // namespace

bool RegisterFrameScaler(GstPlugin *plugin)
{
    if (!g_type) {
        const GTypeInfo info
            = {sizeof(CwScaleClass), nullptr, nullptr,      ClassInit, nullptr, nullptr,
               sizeof(CwScale),      0,       InstanceInit, nullptr};
        g_type = g_type_register_static(GST_TYPE_VIDEO_FILTER, "CwScale", &info, GTypeFlags(0));
    }
    return gst_element_register(plugin, "cwscale", GST_RANK_NONE, g_type);
}

bool FitsFrame(const FrameLayout &layout)
{
    const bool even
        = layout.x % 2 == 0 && layout.y % 2 == 0 && layout.inner % 2 == 0 && layout.rows % 2 == 0;
    // At least two columns and rows of the picture in the frame.
    return even && layout.inner > 0 && layout.rows > 0 && layout.width > 0 && layout.height > 0
           && layout.x + 2 <= layout.width && layout.y + 2 <= layout.height
           && layout.x + layout.inner >= 2 && layout.y + layout.rows >= 2;
}

GstElement *CreateFrameScaler(const FrameLayout &layout)
{
    if (!FitsFrame(layout))
        return nullptr;
    GstElement *element = gst_element_factory_make("cwscale", nullptr);
    if (element)
        StateOf(element)->layout = layout;
    return element;
}

} // namespace media
