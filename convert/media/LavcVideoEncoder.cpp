// Video encoder elements over libavcodec's MPEG-4 family (WMV1, WMV2, MS-MPEG-4 v3, MPEG-4
// Part 2). The codec is opened with the negotiated frame rate as its time base, so its rate
// control works per frame as it does on ffmpeg's command line; output is stamped in the running
// time of the input (see RunningTime.h).

#include "convert/media/LavcEncoders.h"
#include "convert/media/LavcHandles.h"
#include "convert/media/RunningTime.h"

#include <gst/video/video.h>

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

namespace media::lavc {

namespace {

struct VideoCodec
{
    const char *factory;
    const char *typeName;
    const char *longName;
    AVCodecID id;
    const char *srcCaps;
    bool fourMotionVectors; // the codec can code four motion vectors per macroblock
    bool headerInKeyFrames; // codec_data is cut from the first key frame
};

const VideoCodec kVideoCodecs[] = {
    {"cwenc_wmv1", "CwEncWmv1", "Windows Media Video 7 encoder", AV_CODEC_ID_WMV1,
     "video/x-wmv, wmvversion=(int)1, format=(string)WMV1", false, false},
    {"cwenc_wmv2", "CwEncWmv2", "Windows Media Video 8 encoder", AV_CODEC_ID_WMV2,
     "video/x-wmv, wmvversion=(int)2, format=(string)WMV2", false, false},
    {"cwenc_msmpeg4", "CwEncMsmpeg4", "MS-MPEG-4 version 3 encoder", AV_CODEC_ID_MSMPEG4V3,
     "video/x-msmpeg, msmpegversion=(int)43", false, false},
    {"cwenc_mpeg4", "CwEncMpeg4", "MPEG-4 Part 2 encoder", AV_CODEC_ID_MPEG4,
     "video/mpeg, mpegversion=(int)4, systemstream=(boolean)false", true, true},
};

const char kSinkCaps[] = "video/x-raw, format=(string)I420, width=(int)[16, 4096], "
                         "height=(int)[16, 4096], framerate=(fraction)[1/1000, 1000/1]";
const char kSrcLimits[] = "width=(int)[16, 4096], height=(int)[16, 4096], "
                          "framerate=(fraction)[1/1000, 1000/1]";

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

constexpr gint64 kDefaultBitrate = 200000;
constexpr int kDefaultGopSize = 12;

struct Settings
{
    gint64 bitrate = kDefaultBitrate;
    int gopSize = kDefaultGopSize;
    int bufferSize = 0;
    gint64 maxBitrate = 0;
    int threads = 0;
    int qmin = 2;
    int qmax = 31;
    int mbDecision = 0;
    bool trellis = false;
    bool fourMv = false;
};

struct State
{
    Settings settings; // under the object lock
    Context context;
    GstVideoCodecState *input = nullptr;
    std::map<int64_t, guint32> frameByPts; // codec pts -> system frame number
    int64_t lastPts = AV_NOPTS_VALUE;
    bool headerTaken = false; // codec_data has been cut from a key frame
    Packet packet;
};

struct CwVideoEnc
{
    GstVideoEncoder parent;
    State *state;
};

struct CwVideoEncClass
{
    GstVideoEncoderClass parent;
    const VideoCodec *codec;
};

GstElementClass *g_parentClass = nullptr;

const VideoCodec *CodecOf(gpointer self)
{
    return reinterpret_cast<CwVideoEncClass *>(G_OBJECT_GET_CLASS(self))->codec;
}

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

void SetProperty(GObject *object, guint id, const GValue *value, GParamSpec *spec)
{
    auto *self = reinterpret_cast<CwVideoEnc *>(object);
    Settings &s = self->state->settings;
    GST_OBJECT_LOCK(self);
    switch (id) {
    case PROP_BITRATE:
        s.bitrate = g_value_get_int64(value);
        break;
    case PROP_GOP_SIZE:
        s.gopSize = g_value_get_int(value);
        break;
    case PROP_BUFFER_SIZE:
        s.bufferSize = g_value_get_int(value);
        break;
    case PROP_MAX_BITRATE:
        s.maxBitrate = g_value_get_int64(value);
        break;
    case PROP_THREADS:
        s.threads = g_value_get_int(value);
        break;
    case PROP_QMIN:
        s.qmin = g_value_get_int(value);
        break;
    case PROP_QMAX:
        s.qmax = g_value_get_int(value);
        break;
    case PROP_MB_DECISION:
        s.mbDecision = g_value_get_enum(value);
        break;
    case PROP_TRELLIS:
        s.trellis = g_value_get_boolean(value);
        break;
    case PROP_FOUR_MV:
        s.fourMv = g_value_get_boolean(value);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
        break;
    }
    GST_OBJECT_UNLOCK(self);
}

void GetProperty(GObject *object, guint id, GValue *value, GParamSpec *spec)
{
    auto *self = reinterpret_cast<CwVideoEnc *>(object);
    const Settings &s = self->state->settings;
    GST_OBJECT_LOCK(self);
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
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
        break;
    }
    GST_OBJECT_UNLOCK(self);
}

void CloseCodec(State *st)
{
    st->context.reset();
    st->frameByPts.clear();
    st->lastPts = AV_NOPTS_VALUE;
}

bool OpenCodec(CwVideoEnc *self)
{
    State *st = self->state;
    const VideoCodec *codec = CodecOf(self);
    CloseCodec(st);
    const GstVideoInfo &info = st->input->info;
    const AVCodec *encoder = avcodec_find_encoder(codec->id);
    if (!encoder) {
        GST_ELEMENT_ERROR(self, LIBRARY, INIT, ("The %s is not available.", codec->longName),
                          (nullptr));
        return false;
    }
    if (GST_VIDEO_INFO_FPS_N(&info) <= 0 || GST_VIDEO_INFO_FPS_D(&info) <= 0) {
        GST_ELEMENT_ERROR(self, CORE, NEGOTIATION,
                          ("The %s needs a constant frame rate.", codec->longName), (nullptr));
        return false;
    }
    GST_OBJECT_LOCK(self);
    const Settings s = st->settings;
    GST_OBJECT_UNLOCK(self);

    Context c(avcodec_alloc_context3(encoder));
    if (!c)
        return false;
    c->width = GST_VIDEO_INFO_WIDTH(&info);
    c->height = GST_VIDEO_INFO_HEIGHT(&info);
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    // One tick per frame: the rate control spends bitrate / frame rate on each picture.
    c->time_base = AVRational{GST_VIDEO_INFO_FPS_D(&info), GST_VIDEO_INFO_FPS_N(&info)};
    c->framerate = AVRational{GST_VIDEO_INFO_FPS_N(&info), GST_VIDEO_INFO_FPS_D(&info)};
    if (GST_VIDEO_INFO_PAR_N(&info) > 0 && GST_VIDEO_INFO_PAR_D(&info) > 0)
        c->sample_aspect_ratio
            = AVRational{GST_VIDEO_INFO_PAR_N(&info), GST_VIDEO_INFO_PAR_D(&info)};
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
    av_opt_set_int(c.get(), "trellis", s.trellis ? 1 : 0, AV_OPT_SEARCH_CHILDREN);
    if (s.fourMv && codec->fourMotionVectors)
        c->flags |= AV_CODEC_FLAG_4MV;
    // Slice threads where the codec has them; the others run on one thread whatever is asked.
    c->thread_count = s.threads;
    c->thread_type = FF_THREAD_SLICE;

    const int opened = avcodec_open2(c.get(), encoder, nullptr);
    if (opened < 0) {
        GST_ELEMENT_ERROR(
            self, LIBRARY, SETTINGS,
            ("The %s refused its settings: %s.", codec->longName, ErrorText(opened).c_str()),
            ("%dx%d at %d/%d, bitrate %" G_GINT64_FORMAT, c->width, c->height,
             GST_VIDEO_INFO_FPS_N(&info), GST_VIDEO_INFO_FPS_D(&info), s.bitrate));
        return false;
    }
    st->context = std::move(c);
    return true;
}

bool SetOutputCaps(CwVideoEnc *self, const guint8 *codecData, int codecDataSize)
{
    State *st = self->state;
    GstCaps *caps = gst_caps_from_string(CodecOf(self)->srcCaps);
    if (codecData && codecDataSize > 0) {
        GstBuffer *data = gst_buffer_new_memdup(codecData, codecDataSize);
        gst_caps_set_simple(caps, "codec_data", GST_TYPE_BUFFER, data, nullptr);
        gst_buffer_unref(data);
    }
    GstVideoCodecState *out
        = gst_video_encoder_set_output_state(GST_VIDEO_ENCODER(self), caps, st->input);
    if (!out)
        return false;
    gst_video_codec_state_unref(out);
    return true;
}

gboolean SetFormat(GstVideoEncoder *encoder, GstVideoCodecState *input)
{
    auto *self = reinterpret_cast<CwVideoEnc *>(encoder);
    State *st = self->state;
    if (st->input)
        gst_video_codec_state_unref(st->input);
    st->input = gst_video_codec_state_ref(input);
    if (!OpenCodec(self))
        return FALSE;
    st->headerTaken = false;
    return SetOutputCaps(self, st->context->extradata, st->context->extradata_size);
}

// The header before the first picture (VOS/VOL) of an MPEG-4 key frame, for muxers that want
// it as codec_data.
int HeaderLength(const AVPacket *packet)
{
    for (int i = 0; i + 3 < packet->size; ++i) {
        if (packet->data[i] == 0 && packet->data[i + 1] == 0 && packet->data[i + 2] == 1
            && packet->data[i + 3] == 0xB6)
            return i;
    }
    return 0;
}

GstFlowReturn PushPacket(CwVideoEnc *self, AVPacket *packet)
{
    State *st = self->state;
    auto *encoder = GST_VIDEO_ENCODER(self);
    GstVideoCodecFrame *frame = nullptr;
    auto found = st->frameByPts.find(packet->pts);
    if (found != st->frameByPts.end()) {
        frame = gst_video_encoder_get_frame(encoder, int(found->second));
        st->frameByPts.erase(found);
    }
    if (!frame)
        frame = gst_video_encoder_get_oldest_frame(encoder);
    if (!frame) {
        av_packet_unref(packet);
        return GST_FLOW_OK;
    }
    const bool key = packet->flags & AV_PKT_FLAG_KEY;
    if (key && CodecOf(self)->headerInKeyFrames && !st->headerTaken) {
        const int length = HeaderLength(packet);
        if (length > 0)
            SetOutputCaps(self, packet->data, length);
        st->headerTaken = true;
    }
    // The buffer keeps the packet's own memory.
    AVPacket *owned = av_packet_alloc();
    av_packet_move_ref(owned, packet);
    frame->output_buffer = gst_buffer_new_wrapped_full(
        GST_MEMORY_FLAG_READONLY, owned->data, owned->size, 0, owned->size, owned, [](gpointer p) {
            auto *pkt = static_cast<AVPacket *>(p);
            av_packet_free(&pkt);
        });
    if (key)
        GST_VIDEO_CODEC_FRAME_SET_SYNC_POINT(frame);
    else
        GST_VIDEO_CODEC_FRAME_UNSET_SYNC_POINT(frame);
    // No B-frames: decoding order is presentation order.
    frame->dts = frame->pts;
    return gst_video_encoder_finish_frame(encoder, frame);
}

GstFlowReturn ReceivePackets(CwVideoEnc *self)
{
    State *st = self->state;
    for (;;) {
        const int got = avcodec_receive_packet(st->context.get(), st->packet.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return GST_FLOW_OK;
        if (got < 0) {
            GST_ELEMENT_ERROR(self, STREAM, ENCODE,
                              ("Encoding failed: %s.", ErrorText(got).c_str()), (nullptr));
            return GST_FLOW_ERROR;
        }
        const GstFlowReturn ret = PushPacket(self, st->packet.get());
        if (ret != GST_FLOW_OK)
            return ret;
    }
}

struct MappedFrame
{
    GstVideoFrame frame;
};

GstFlowReturn HandleFrame(GstVideoEncoder *encoder, GstVideoCodecFrame *frame)
{
    auto *self = reinterpret_cast<CwVideoEnc *>(encoder);
    State *st = self->state;
    if (!st->context && (!st->input || !OpenCodec(self))) {
        gst_video_codec_frame_unref(frame);
        return GST_FLOW_NOT_NEGOTIATED;
    }
    AVCodecContext *c = st->context.get();

    auto *mapped = new MappedFrame;
    if (!gst_video_frame_map(&mapped->frame, &st->input->info, frame->input_buffer, GST_MAP_READ)) {
        delete mapped;
        gst_video_codec_frame_unref(frame);
        GST_ELEMENT_ERROR(self, STREAM, ENCODE, ("Could not read a picture."), (nullptr));
        return GST_FLOW_ERROR;
    }
    Frame picture(av_frame_alloc());
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = c->width;
    picture->height = c->height;
    for (int plane = 0; plane < 3; ++plane) {
        picture->data[plane]
            = static_cast<uint8_t *>(GST_VIDEO_FRAME_PLANE_DATA(&mapped->frame, plane));
        picture->linesize[plane] = GST_VIDEO_FRAME_PLANE_STRIDE(&mapped->frame, plane);
    }
    // The codec may hold the picture past this call; the mapping lives as long as it does.
    picture->buf[0] = av_buffer_create(
        nullptr, 0,
        [](void *opaque, uint8_t *) {
            auto *m = static_cast<MappedFrame *>(opaque);
            gst_video_frame_unmap(&m->frame);
            delete m;
        },
        mapped, AV_BUFFER_FLAG_READONLY);

    // Frame numbers in the codec's time base; the codec wants them strictly rising.
    int64_t pts = st->lastPts == AV_NOPTS_VALUE ? 0 : st->lastPts + 1;
    if (GST_CLOCK_TIME_IS_VALID(frame->pts)) {
        const int64_t fromTime = int64_t(gst_util_uint64_scale_round(
            frame->pts, c->time_base.den, GST_SECOND * guint64(c->time_base.num)));
        if (st->lastPts == AV_NOPTS_VALUE || fromTime > st->lastPts)
            pts = fromTime;
    }
    picture->pts = pts;
    st->lastPts = pts;
    st->frameByPts[pts] = frame->system_frame_number;
    if (GST_VIDEO_CODEC_FRAME_IS_FORCE_KEYFRAME(frame))
        picture->pict_type = AV_PICTURE_TYPE_I;
    gst_video_codec_frame_unref(frame);

    const int sent = avcodec_send_frame(c, picture.get());
    if (sent < 0) {
        GST_ELEMENT_ERROR(self, STREAM, ENCODE, ("Encoding failed: %s.", ErrorText(sent).c_str()),
                          (nullptr));
        return GST_FLOW_ERROR;
    }
    return ReceivePackets(self);
}

GstFlowReturn Finish(GstVideoEncoder *encoder)
{
    auto *self = reinterpret_cast<CwVideoEnc *>(encoder);
    State *st = self->state;
    if (!st->context)
        return GST_FLOW_OK;
    GstFlowReturn ret = GST_FLOW_OK;
    if (avcodec_send_frame(st->context.get(), nullptr) >= 0)
        ret = ReceivePackets(self);
    // A drained codec takes no more pictures; the next one opens it afresh.
    CloseCodec(st);
    return ret;
}

gboolean Flush(GstVideoEncoder *encoder)
{
    CloseCodec(reinterpret_cast<CwVideoEnc *>(encoder)->state);
    return TRUE;
}

gboolean Stop(GstVideoEncoder *encoder)
{
    State *st = reinterpret_cast<CwVideoEnc *>(encoder)->state;
    CloseCodec(st);
    if (st->input) {
        gst_video_codec_state_unref(st->input);
        st->input = nullptr;
    }
    return TRUE;
}

void Finalize(GObject *object)
{
    auto *self = reinterpret_cast<CwVideoEnc *>(object);
    if (self->state->input)
        gst_video_codec_state_unref(self->state->input);
    delete self->state;
    G_OBJECT_CLASS(g_parentClass)->finalize(object);
}

void InstanceInit(GTypeInstance *instance, gpointer)
{
    auto *self = reinterpret_cast<CwVideoEnc *>(instance);
    self->state = new State;
    self->state->packet.reset(av_packet_alloc());
    StampInputInRunningTime(GST_VIDEO_ENCODER_SINK_PAD(self), StreamKind::Video);
}

void ClassInit(gpointer klass, gpointer data)
{
    const auto *codec = static_cast<const VideoCodec *>(data);
    reinterpret_cast<CwVideoEncClass *>(klass)->codec = codec;
    g_parentClass = GST_ELEMENT_CLASS(g_type_class_peek_parent(klass));

    auto *objectClass = G_OBJECT_CLASS(klass);
    objectClass->set_property = SetProperty;
    objectClass->get_property = GetProperty;
    objectClass->finalize = Finalize;

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
    if (codec->fourMotionVectors)
        g_object_class_install_property(
            objectClass, PROP_FOUR_MV,
            g_param_spec_boolean("four-mv", "Four motion vectors",
                                 "Allow one motion vector per 8x8 block", FALSE, flags));

    auto *elementClass = GST_ELEMENT_CLASS(klass);
    const std::string longName = std::string(codec->longName);
    gst_element_class_set_metadata(elementClass, longName.c_str(), "Codec/Encoder/Video",
                                   "Encodes video at the chosen bitrate with libavcodec",
                                   "Clipwright");
    GstCaps *sink = gst_caps_from_string(kSinkCaps);
    gst_element_class_add_pad_template(
        elementClass, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, sink));
    gst_caps_unref(sink);
    const std::string src = std::string(codec->srcCaps) + ", " + kSrcLimits;
    GstCaps *srcCaps = gst_caps_from_string(src.c_str());
    gst_element_class_add_pad_template(
        elementClass, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, srcCaps));
    gst_caps_unref(srcCaps);

    auto *encoderClass = GST_VIDEO_ENCODER_CLASS(klass);
    encoderClass->set_format = SetFormat;
    encoderClass->handle_frame = HandleFrame;
    encoderClass->finish = Finish;
    encoderClass->flush = Flush;
    encoderClass->stop = Stop;
}

} // namespace

bool RegisterVideoEncoders(GstPlugin *plugin)
{
    bool all = true;
    for (const VideoCodec &codec : kVideoCodecs) {
        if (!avcodec_find_encoder(codec.id)) {
            all = false;
            continue;
        }
        GType type = g_type_from_name(codec.typeName);
        if (!type) {
            const GTypeInfo info
                = {sizeof(CwVideoEncClass), nullptr, nullptr,      ClassInit, nullptr, &codec,
                   sizeof(CwVideoEnc),      0,       InstanceInit, nullptr};
            type = g_type_register_static(GST_TYPE_VIDEO_ENCODER, codec.typeName, &info,
                                          GTypeFlags(0));
        }
        if (!gst_element_register(plugin, codec.factory, GST_RANK_PRIMARY, type))
            all = false;
    }
    return all;
}

} // namespace media::lavc
