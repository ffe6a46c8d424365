// Video encoder elements over libavcodec's MPEG-4 family (WMV1, WMV2, MS-MPEG-4 v3, MPEG-4
// Part 2). The codec is opened with the negotiated frame rate as its time base, so its rate
// control works per frame as it does on ffmpeg's command line; output is stamped in the running
// time of the input (see RunningTime.h).

#include "media/elements/LavcEncoders.h"
#include "media/elements/LavcHandles.h"
#include "media/elements/LavcVideoSettings.h"
#include "media/elements/RunningTime.h"

#include <gst/video/video.h>

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

struct State
{
    VideoSettings settings; // under the object lock
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

void SetProperty(GObject *object, guint id, const GValue *value, GParamSpec *definition)
{
    auto *self = reinterpret_cast<CwVideoEnc *>(object);
    GST_OBJECT_LOCK(self);
    const bool known = SetVideoSetting(&self->state->settings, id, value);
    GST_OBJECT_UNLOCK(self);
    if (!known)
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, definition);
}

void GetProperty(GObject *object, guint id, GValue *value, GParamSpec *definition)
{
    auto *self = reinterpret_cast<CwVideoEnc *>(object);
    GST_OBJECT_LOCK(self);
    const bool known = GetVideoSetting(self->state->settings, id, value);
    GST_OBJECT_UNLOCK(self);
    if (!known)
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, definition);
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
    const VideoSettings s = st->settings;
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
    ApplyVideoSettings(s, c.get(), codec->fourMotionVectors);

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

    InstallVideoSettings(objectClass, codec->fourMotionVectors);

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
    const ElementType family{GST_TYPE_VIDEO_ENCODER, sizeof(CwVideoEncClass), sizeof(CwVideoEnc),
                             ClassInit, InstanceInit};
    bool all = true;
    for (const VideoCodec &codec : kVideoCodecs)
        all = RegisterCodecElement(plugin, family, codec.id, codec.typeName, codec.factory, &codec)
              && all;
    return all;
}

} // namespace media::lavc
