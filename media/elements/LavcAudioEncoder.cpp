// Windows Media Audio 1 and 2 encoder elements over libavcodec. Every input frame becomes one
// packet of the codec's block size, the last partial frame included (padded with silence, the
// stream ending with its last real sample). Decoders of these codecs give out nothing for a
// stream's first packet and each frame one packet late, so a frame of silence goes first and
// packets are stamped one frame early: decoded, the sound starts at 0 and keeps its place
// against the picture, sample for sample.

#include "media/elements/LavcEncoders.h"
#include "media/elements/LavcHandles.h"
#include "media/elements/RunningTime.h"

#include <gst/audio/audio.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

namespace media::lavc {

namespace {

struct AudioCodec
{
    const char *factory;
    const char *typeName;
    const char *longName;
    AVCodecID id;
    int wmaVersion;
};

const AudioCodec kAudioCodecs[] = {
    {"cwenc_wmav1", "CwEncWmav1", "Windows Media Audio 1 encoder", AV_CODEC_ID_WMAV1, 1},
    {"cwenc_wmav2", "CwEncWmav2", "Windows Media Audio 2 encoder", AV_CODEC_ID_WMAV2, 2},
};

const char kSinkCaps[] = "audio/x-raw, format=(string)F32LE, layout=(string)interleaved, "
                         "rate=(int)[8000, 48000], channels=(int)[1, 2]";

enum Property { PROP_0, PROP_BITRATE };

constexpr gint64 kDefaultBitrate = 128000;
// The codec refuses less.
constexpr gint64 kLowestBitrate = 24000;

struct PendingFrame
{
    int64_t pts; // in samples
    int samples; // real samples in it
};

struct State
{
    gint64 bitrate = kDefaultBitrate; // under the object lock
    Context context;
    GstAudioInfo info;
    bool haveInfo = false;
    int64_t nextPts = 0;
    std::deque<PendingFrame> pending;
    GstBuffer *held = nullptr;
    int heldSamples = 0;
    bool firstCounted = false;
    int deferredSamples = 0;
    Packet packet;
};

struct CwAudioEnc
{
    GstAudioEncoder parent;
    State *state;
};

struct CwAudioEncClass
{
    GstAudioEncoderClass parent;
    const AudioCodec *codec;
};

GstElementClass *g_parentClass = nullptr;

const AudioCodec *CodecOf(gpointer self)
{
    return reinterpret_cast<CwAudioEncClass *>(G_OBJECT_GET_CLASS(self))->codec;
}

void SetProperty(GObject *object, guint id, const GValue *value, GParamSpec *definition)
{
    auto *self = reinterpret_cast<CwAudioEnc *>(object);
    if (id != PROP_BITRATE) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, definition);
        return;
    }
    GST_OBJECT_LOCK(self);
    self->state->bitrate = g_value_get_int64(value);
    GST_OBJECT_UNLOCK(self);
}

void GetProperty(GObject *object, guint id, GValue *value, GParamSpec *definition)
{
    auto *self = reinterpret_cast<CwAudioEnc *>(object);
    if (id != PROP_BITRATE) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, definition);
        return;
    }
    GST_OBJECT_LOCK(self);
    g_value_set_int64(value, self->state->bitrate);
    GST_OBJECT_UNLOCK(self);
}

void CloseCodec(State *st)
{
    st->context.reset();
    st->pending.clear();
    st->nextPts = 0;
    if (st->held)
        gst_buffer_unref(st->held);
    st->held = nullptr;
    st->heldSamples = 0;
    st->firstCounted = false;
    st->deferredSamples = 0;
}

bool OpenCodec(CwAudioEnc *self)
{
    State *st = self->state;
    const AudioCodec *codec = CodecOf(self);
    CloseCodec(st);
    const AVCodec *encoder = avcodec_find_encoder(codec->id);
    if (!encoder) {
        GST_ELEMENT_ERROR(self, LIBRARY, INIT, ("The %s is not available.", codec->longName),
                          (nullptr));
        return false;
    }
    GST_OBJECT_LOCK(self);
    const gint64 bitrate = st->bitrate;
    GST_OBJECT_UNLOCK(self);

    Context c(avcodec_alloc_context3(encoder));
    if (!c)
        return false;
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = GST_AUDIO_INFO_RATE(&st->info);
    av_channel_layout_default(&c->ch_layout, GST_AUDIO_INFO_CHANNELS(&st->info));
    c->time_base = AVRational{1, c->sample_rate};
    c->bit_rate = bitrate;
    const int opened = avcodec_open2(c.get(), encoder, nullptr);
    if (opened < 0 || c->frame_size <= 0 || c->block_align <= 0) {
        GST_ELEMENT_ERROR(
            self, LIBRARY, SETTINGS,
            ("The %s refused its settings: %s.", codec->longName, ErrorText(opened).c_str()),
            ("%d Hz, %d channels, bitrate %" G_GINT64_FORMAT, c->sample_rate,
             c->ch_layout.nb_channels, bitrate));
        return false;
    }
    st->context = std::move(c);
    return true;
}

gboolean SetFormat(GstAudioEncoder *encoder, GstAudioInfo *info)
{
    auto *self = reinterpret_cast<CwAudioEnc *>(encoder);
    State *st = self->state;
    st->info = *info;
    st->haveInfo = true;
    if (!OpenCodec(self))
        return FALSE;
    const AVCodecContext *c = st->context.get();

    gst_audio_encoder_set_frame_samples_min(encoder, c->frame_size);
    gst_audio_encoder_set_frame_samples_max(encoder, c->frame_size);
    gst_audio_encoder_set_frame_max(encoder, 1);
    // The last, shorter frame is encoded too.
    gst_audio_encoder_set_hard_min(encoder, FALSE);
    const GstClockTime frame = gst_util_uint64_scale(c->frame_size, GST_SECOND, c->sample_rate);
    // One frame in the codec, one held back until the next.
    gst_audio_encoder_set_latency(encoder, 2 * frame, 2 * frame);

    // The bitrate the codec was opened with, not the one its whole blocks add up to: decoders
    // derive the coded frequency bands from it, and any other value garbles the sound.
    const gint64 bitrate = c->bit_rate;
    GstCaps *caps = gst_caps_new_simple(
        "audio/x-wma", "wmaversion", G_TYPE_INT, CodecOf(self)->wmaVersion, "rate", G_TYPE_INT,
        c->sample_rate, "channels", G_TYPE_INT, c->ch_layout.nb_channels, "block_align", G_TYPE_INT,
        c->block_align, "bitrate", G_TYPE_INT, int(bitrate), nullptr);
    if (c->extradata && c->extradata_size > 0) {
        GstBuffer *data = gst_buffer_new_memdup(c->extradata, c->extradata_size);
        gst_caps_set_simple(caps, "codec_data", GST_TYPE_BUFFER, data, nullptr);
        gst_buffer_unref(data);
    }
    const gboolean ok = gst_audio_encoder_set_output_format(encoder, caps);
    gst_caps_unref(caps);
    return ok;
}

GstFlowReturn PushHeld(CwAudioEnc *self, int extraSamples)
{
    State *st = self->state;
    if (!st->held)
        return GST_FLOW_OK;
    GstBuffer *buffer = st->held;
    st->held = nullptr;
    return gst_audio_encoder_finish_frame(GST_AUDIO_ENCODER(self), buffer,
                                          st->heldSamples + extraSamples);
}

GstFlowReturn PushPacket(CwAudioEnc *self, AVPacket *packet)
{
    State *st = self->state;
    // A packet belongs to the frame sent one frame after its time stamp.
    const int64_t sentAt = packet->pts + st->context->frame_size;
    int samples = 0;
    if (!st->pending.empty() && st->pending.front().pts == sentAt) {
        samples = st->pending.front().samples;
        st->pending.pop_front();
        if (!st->firstCounted) {
            // Packets are stamped one frame early, as decoders expect (theirs come out one
            // frame late); the first frame's length is added to the last packet instead.
            st->firstCounted = true;
            st->deferredSamples = samples;
            samples = 0;
        }
    }
    AVPacket *owned = av_packet_alloc();
    av_packet_move_ref(owned, packet);
    GstBuffer *buffer = gst_buffer_new_wrapped_full(
        GST_MEMORY_FLAG_READONLY, owned->data, owned->size, 0, owned->size, owned, [](gpointer p) {
            auto *pkt = static_cast<AVPacket *>(p);
            av_packet_free(&pkt);
        });
    // The last packet is only known at the end; one is kept back until the next comes.
    const GstFlowReturn ret = PushHeld(self, 0);
    st->held = buffer;
    st->heldSamples = samples;
    return ret;
}

GstFlowReturn ReceivePackets(CwAudioEnc *self)
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

// Sends one whole codec frame: the given interleaved samples (possibly fewer than a frame, or
// none), the rest silence.
GstFlowReturn SendFrame(CwAudioEnc *self, const float *samples, int count, bool real)
{
    State *st = self->state;
    AVCodecContext *c = st->context.get();
    Frame frame(av_frame_alloc());
    frame->format = c->sample_fmt;
    frame->nb_samples = c->frame_size;
    frame->sample_rate = c->sample_rate;
    av_channel_layout_copy(&frame->ch_layout, &c->ch_layout);
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return GST_FLOW_ERROR;
    const int channels = c->ch_layout.nb_channels;
    for (int ch = 0; ch < channels; ++ch) {
        auto *plane = reinterpret_cast<float *>(frame->extended_data[ch]);
        for (int i = 0; i < count; ++i)
            plane[i] = samples[i * channels + ch];
        std::fill(plane + count, plane + c->frame_size, 0.0f);
    }
    frame->pts = st->nextPts;
    if (real)
        st->pending.push_back({st->nextPts, count});
    st->nextPts += c->frame_size;
    const int sent = avcodec_send_frame(c, frame.get());
    if (sent < 0) {
        GST_ELEMENT_ERROR(self, STREAM, ENCODE, ("Encoding failed: %s.", ErrorText(sent).c_str()),
                          (nullptr));
        return GST_FLOW_ERROR;
    }
    return ReceivePackets(self);
}

GstFlowReturn HandleFrame(GstAudioEncoder *encoder, GstBuffer *buffer)
{
    auto *self = reinterpret_cast<CwAudioEnc *>(encoder);
    State *st = self->state;
    if (!buffer) {
        const GstFlowReturn ret = PushHeld(self, st->deferredSamples);
        // Drained: the next sound starts a fresh stream.
        CloseCodec(st);
        return ret;
    }
    if (!st->context && (!st->haveInfo || !OpenCodec(self)))
        return GST_FLOW_NOT_NEGOTIATED;
    if (st->nextPts == 0) {
        // Decoders give out the first sound of a stream only from its second frame on.
        const GstFlowReturn ret = SendFrame(self, nullptr, 0, false);
        if (ret != GST_FLOW_OK)
            return ret;
    }
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return GST_FLOW_ERROR;
    const int bpf = GST_AUDIO_INFO_BPF(&st->info);
    const int count = std::min(int(map.size / bpf), st->context->frame_size);
    const GstFlowReturn ret
        = SendFrame(self, reinterpret_cast<const float *>(map.data), count, true);
    gst_buffer_unmap(buffer, &map);
    return ret;
}

void Flush(GstAudioEncoder *encoder)
{
    CloseCodec(reinterpret_cast<CwAudioEnc *>(encoder)->state);
}

gboolean Stop(GstAudioEncoder *encoder)
{
    State *st = reinterpret_cast<CwAudioEnc *>(encoder)->state;
    CloseCodec(st);
    st->haveInfo = false;
    return TRUE;
}

void Finalize(GObject *object)
{
    State *st = reinterpret_cast<CwAudioEnc *>(object)->state;
    CloseCodec(st);
    delete st;
    G_OBJECT_CLASS(g_parentClass)->finalize(object);
}

void InstanceInit(GTypeInstance *instance, gpointer)
{
    auto *self = reinterpret_cast<CwAudioEnc *>(instance);
    self->state = new State;
    gst_audio_info_init(&self->state->info);
    self->state->packet.reset(av_packet_alloc());
    StampInputInRunningTime(GST_AUDIO_ENCODER_SINK_PAD(self), StreamKind::Audio);
}

void ClassInit(gpointer klass, gpointer data)
{
    const auto *codec = static_cast<const AudioCodec *>(data);
    reinterpret_cast<CwAudioEncClass *>(klass)->codec = codec;
    g_parentClass = GST_ELEMENT_CLASS(g_type_class_peek_parent(klass));

    auto *objectClass = G_OBJECT_CLASS(klass);
    objectClass->set_property = SetProperty;
    objectClass->get_property = GetProperty;
    objectClass->finalize = Finalize;
    g_object_class_install_property(
        objectClass, PROP_BITRATE,
        g_param_spec_int64("bitrate", "Bitrate", "Target bitrate in bits per second",
                           kLowestBitrate, 384000, kDefaultBitrate,
                           GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));

    auto *elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_set_metadata(elementClass, codec->longName, "Codec/Encoder/Audio",
                                   "Encodes sound at the chosen bitrate with libavcodec",
                                   "Clipwright");
    GstCaps *sink = gst_caps_from_string(kSinkCaps);
    gst_element_class_add_pad_template(
        elementClass, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, sink));
    gst_caps_unref(sink);
    GstCaps *src
        = gst_caps_new_simple("audio/x-wma", "wmaversion", G_TYPE_INT, codec->wmaVersion, nullptr);
    GstCaps *limits
        = gst_caps_from_string("audio/x-wma, rate=(int)[8000, 48000], channels=(int)[1, 2]");
    GstCaps *srcCaps = gst_caps_intersect(src, limits);
    gst_element_class_add_pad_template(
        elementClass, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, srcCaps));
    gst_caps_unref(srcCaps);
    gst_caps_unref(limits);
    gst_caps_unref(src);

    auto *encoderClass = GST_AUDIO_ENCODER_CLASS(klass);
    encoderClass->set_format = SetFormat;
    encoderClass->handle_frame = HandleFrame;
    encoderClass->flush = Flush;
    encoderClass->stop = Stop;
}

} // namespace

bool RegisterAudioEncoders(GstPlugin *plugin)
{
    const ElementType family{GST_TYPE_AUDIO_ENCODER, sizeof(CwAudioEncClass), sizeof(CwAudioEnc),
                             ClassInit, InstanceInit};
    bool all = true;
    for (const AudioCodec &codec : kAudioCodecs)
        all = RegisterCodecElement(plugin, family, codec.id, codec.typeName, codec.factory, &codec)
              && all;
    return all;
}

} // namespace media::lavc
