#include "media/elements/LavcVideoSettings.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>

namespace media::lavc {

namespace {

enum Property {
    PROP_0,
    PROP_BITRATE,
    PROP_GOP_SIZE,
    PROP_BUFFER_SIZE,
    PROP_MAX_BITRATE,
    PROP_THREADS,
    PROP_QMIN,
    PROP_QMAX,
    PROP_MB_DECISION,
    PROP_TRELLIS,
    PROP_FOUR_MV,
};

GType MbDecisionType()
{
    static GType type = [] {
        static const GEnumValue values[] = {
            {FF_MB_DECISION_SIMPLE, "Use the best comparison function", "simple"},
            {FF_MB_DECISION_BITS, "Fewest bits", "bits"},
            {FF_MB_DECISION_RD, "Best rate distortion", "rd"},
            {0, nullptr, nullptr},
        };
        return g_enum_register_static("CwEncMbDecision", values);
    }();
    return type;
}

} // namespace

void InstallVideoSettings(GObjectClass *objectClass, bool fourMotionVectors)
{
    const auto flags = GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
    g_object_class_install_property(objectClass, PROP_BITRATE,
                                    g_param_spec_int64("bitrate", "Bitrate",
                                                       "Target bitrate in bits per second", 8000,
                                                       100000000, kDefaultBitrate, flags));
    g_object_class_install_property(
        objectClass, PROP_GOP_SIZE,
        g_param_spec_int("gop-size", "Key-frame spacing",
                         "Largest number of frames from one key frame to the next (0: key "
                         "frames only)",
                         0, 10000, kDefaultGopSize, flags));
    g_object_class_install_property(
        objectClass, PROP_BUFFER_SIZE,
        g_param_spec_int("buffer-size", "Buffer size",
                         "Rate-control buffer in bits (0: no buffer constraint)", 0, G_MAXINT, 0,
                         flags));
    g_object_class_install_property(
        objectClass, PROP_MAX_BITRATE,
        g_param_spec_int64("max-bitrate", "Peak bitrate",
                           "Highest bitrate in bits per second the buffer may be filled at "
                           "(0: the target bitrate)",
                           0, 200000000, 0, flags));
    g_object_class_install_property(objectClass, PROP_THREADS,
                                    g_param_spec_int("threads", "Threads",
                                                     "Encoding threads (0: one per processor)", 0,
                                                     64, 0, flags));
    g_object_class_install_property(objectClass, PROP_QMIN,
                                    g_param_spec_int("qmin", "Lowest quantizer",
                                                     "Finest quantizer the rate control may use", 1,
                                                     31, 2, flags));
    g_object_class_install_property(objectClass, PROP_QMAX,
                                    g_param_spec_int("qmax", "Highest quantizer",
                                                     "Coarsest quantizer the rate control may use",
                                                     1, 31, 31, flags));
    g_object_class_install_property(objectClass, PROP_MB_DECISION,
                                    g_param_spec_enum("mb-decision", "Macroblock decision",
                                                      "How each macroblock's coding mode is chosen",
                                                      MbDecisionType(), FF_MB_DECISION_SIMPLE,
                                                      flags));
    g_object_class_install_property(
        objectClass, PROP_TRELLIS,
        g_param_spec_boolean("trellis", "Trellis quantization",
                             "Search for the cheapest quantized coefficients (slower)", FALSE,
                             flags));
    if (fourMotionVectors)
        g_object_class_install_property(
            objectClass, PROP_FOUR_MV,
            g_param_spec_boolean("four-mv", "Four motion vectors",
                                 "Allow one motion vector per 8x8 block", FALSE, flags));
}

bool SetVideoSetting(VideoSettings *s, guint id, const GValue *value)
{
    switch (id) {
    case PROP_BITRATE:
        s->bitrate = g_value_get_int64(value);
        break;
    case PROP_GOP_SIZE:
        s->gopSize = g_value_get_int(value);
        break;
    case PROP_BUFFER_SIZE:
        s->bufferSize = g_value_get_int(value);
        break;
    case PROP_MAX_BITRATE:
        s->maxBitrate = g_value_get_int64(value);
        break;
    case PROP_THREADS:
        s->threads = g_value_get_int(value);
        break;
    case PROP_QMIN:
        s->qmin = g_value_get_int(value);
        break;
    case PROP_QMAX:
        s->qmax = g_value_get_int(value);
        break;
    case PROP_MB_DECISION:
        s->mbDecision = g_value_get_enum(value);
        break;
    case PROP_TRELLIS:
        s->trellis = g_value_get_boolean(value);
        break;
    case PROP_FOUR_MV:
        s->fourMv = g_value_get_boolean(value);
        break;
    default:
        return false;
    }
    return true;
}

bool GetVideoSetting(const VideoSettings &s, guint id, GValue *value)
{
    switch (id) {
    case PROP_BITRATE:
        g_value_set_int64(value, s.bitrate);
        break;
    case PROP_GOP_SIZE:
        g_value_set_int(value, s.gopSize);
        break;
    case PROP_BUFFER_SIZE:
        g_value_set_int(value, s.bufferSize);
        break;
    case PROP_MAX_BITRATE:
        g_value_set_int64(value, s.maxBitrate);
        break;
    case PROP_THREADS:
        g_value_set_int(value, s.threads);
        break;
    case PROP_QMIN:
        g_value_set_int(value, s.qmin);
        break;
    case PROP_QMAX:
        g_value_set_int(value, s.qmax);
        break;
    case PROP_MB_DECISION:
        g_value_set_enum(value, s.mbDecision);
        break;
    case PROP_TRELLIS:
        g_value_set_boolean(value, s.trellis);
        break;
    case PROP_FOUR_MV:
        g_value_set_boolean(value, s.fourMv);
        break;
    default:
        return false;
    }
    return true;
}

void ApplyVideoSettings(const VideoSettings &s, AVCodecContext *c, bool fourMotionVectors)
{
    c->bit_rate = s.bitrate;
    c->gop_size = s.gopSize;
    if (s.bufferSize > 0) {
        // The codec's rate control wants a peak rate with every buffer size.
        c->rc_buffer_size = s.bufferSize;
        c->rc_max_rate = s.maxBitrate > 0 ? s.maxBitrate : s.bitrate;
    } else if (s.maxBitrate > 0) {
        c->rc_max_rate = s.maxBitrate;
        c->rc_buffer_size = int(std::min<gint64>(s.maxBitrate, G_MAXINT));
    }
    c->qmin = std::min(s.qmin, s.qmax);
    c->qmax = std::max(s.qmin, s.qmax);
    c->mb_decision = s.mbDecision;
    av_opt_set_int(c, "trellis", s.trellis ? 1 : 0, AV_OPT_SEARCH_CHILDREN);
    if (s.fourMv && fourMotionVectors)
        c->flags |= AV_CODEC_FLAG_4MV;
    // Slice threads where the codec has them; the others run on one thread whatever is asked.
    c->thread_count = s.threads;
    c->thread_type = FF_THREAD_SLICE;
}

} // namespace media::lavc
