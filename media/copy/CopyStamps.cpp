#include "media/copy/CopyBranches.h"

#include "media/core/Diagnostics.h"
#include "media/output/EncoderRestamp.h"

#include <algorithm>
#include <limits>
#include <string>

#define GST_CAT_DEFAULT cw_copy_debug

namespace media {

namespace {

struct Stamp
{
    std::shared_ptr<CopyState> state;
    bool picture;
    bool started = false;
    bool hasCaps = false;
    bool segmented = false;
    std::size_t index = 0;
    gint64 lastDts = std::numeric_limits<gint64>::min();
};

// The writer sees one stream: the first of each sticky event, and a segment from 0.
GstPadProbeReturn OnWriterEvent(Stamp *stamp, GstPadProbeInfo *info)
{
    GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
    bool *seen = nullptr;
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_STREAM_START:
        seen = &stamp->started;
        break;
    case GST_EVENT_CAPS:
        seen = &stamp->hasCaps;
        break;
    case GST_EVENT_SEGMENT:
        seen = &stamp->segmented;
        break;
    default:
        return GST_PAD_PROBE_OK;
    }
    if (*seen) {
        GST_DEBUG("%s: the writer keeps its first %s", stamp->picture ? "picture" : "sound",
                  GST_EVENT_TYPE_NAME(event));
        return GST_PAD_PROBE_DROP;
    }
    *seen = true;
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT)
        ReplaceWithSegmentFromZero(info, event);
    return GST_PAD_PROBE_OK;
}

// The next decode time: the plan's for copied pictures, else the buffer's own; never before
// the previous one nor after the presentation.
gint64 DecodeTime(Stamp *stamp, GstBuffer *buffer, gint64 pts)
{
    const CopyJoints &j = *stamp->state->joints;
    gint64 dts = pts;
    if (stamp->picture && !j.decodeTimes.empty()) {
        dts = stamp->index < j.decodeTimes.size() ? j.decodeTimes[stamp->index] - j.origin
                                                  : stamp->lastDts + 1;
        ++stamp->index;
    } else if (stamp->picture && GST_BUFFER_DTS_IS_VALID(buffer)) {
        dts = stamp->state->StreamTime(true, GST_BUFFER_DTS(buffer)) - j.origin;
    }
    if (stamp->lastDts != std::numeric_limits<gint64>::min())
        dts = std::max(dts, stamp->lastDts + 1);
    stamp->lastDts = dts;
    return std::min(dts, pts);
}

GstPadProbeReturn OnWriterBuffer(Stamp *stamp, GstPadProbeInfo *info)
{
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!GST_BUFFER_PTS_IS_VALID(buffer))
        return GST_PAD_PROBE_OK;
    const CopyState &state = *stamp->state;
    buffer = gst_buffer_make_writable(buffer);
    const gint64 pts
        = stamp->state->StreamTime(stamp->picture, GST_BUFFER_PTS(buffer)) - state.joints->origin;
    const gint64 dts = DecodeTime(stamp, buffer, pts);
    GST_BUFFER_PTS(buffer) = GstClockTime(std::max<gint64>(0, pts + state.base));
    GST_BUFFER_DTS(buffer) = GstClockTime(std::max<gint64>(0, dts + state.base));
    GST_LOG("%s %" GST_STIME_FORMAT " / %" GST_STIME_FORMAT, stamp->picture ? "picture" : "sound",
            GST_STIME_ARGS(pts), GST_STIME_ARGS(dts));
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn OnWriterInput(GstPad *, GstPadProbeInfo *info, gpointer data)
{
    auto *stamp = static_cast<Stamp *>(data);
    const GstPadProbeType type = GST_PAD_PROBE_INFO_TYPE(info);
    if (type & GST_PAD_PROBE_TYPE_BUFFER)
        return OnWriterBuffer(stamp, info);
    if (type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM)
        return OnWriterEvent(stamp, info);
    // The writer keeps its first caps; later ones (a head's and a copy's parameter sets,
    // carried in-band) are taken as if it had accepted them.
    GstQuery *query = GST_PAD_PROBE_INFO_QUERY(info);
    if (stamp->hasCaps && GST_QUERY_TYPE(query) == GST_QUERY_ACCEPT_CAPS) {
        gst_query_set_accept_caps_result(query, TRUE);
        return GST_PAD_PROBE_HANDLED;
    }
    return GST_PAD_PROBE_OK;
}

} // namespace

void StampForWriter(GstPad *pad, const std::shared_ptr<CopyState> &state, bool picture)
{
    gst_pad_add_probe(pad,
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER
                                      | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM
                                      | GST_PAD_PROBE_TYPE_QUERY_DOWNSTREAM),
                      OnWriterInput, new Stamp{state, picture},
                      [](gpointer p) { delete static_cast<Stamp *>(p); });
}

namespace {

const GstStructure *FirstStructure(const gst::Caps &caps)
{
    return caps && gst_caps_get_size(caps.get()) > 0 ? gst_caps_get_structure(caps.get(), 0)
                                                     : nullptr;
}

void SetVpxQuality(GstElement *encoder)
{
    gst_util_set_object_arg(G_OBJECT(encoder), "end-usage", "cq");
    // Measured: with frames held back (lag) and a high ceiling the realtime encoder dropped
    // pictures of a detailed source; with no lag it keeps every one.
    g_object_set(encoder, "cq-level", 4, "min-quantizer", 0, "max-quantizer", 12, "target-bitrate",
                 100000000, "lag-in-frames", 0, "deadline", gint64(1), "cpu-used", 4,
                 "keyframe-max-dist", 100000, "threads", 2, nullptr);
}

// x264 and x265: constant quantiser, no B-frames, the source's level.
void SetH26xQuality(GstElement *encoder, const std::string &factory, const GstStructure *s)
{
    const char *level = s ? gst_structure_get_string(s, "level") : nullptr;
    if (factory == "x264enc") {
        gst_util_set_object_arg(G_OBJECT(encoder), "pass", "quant");
        gst_util_set_object_arg(G_OBJECT(encoder), "speed-preset", "veryfast");
        // Own parameter-set ids, so the head's sets and the source's can both be in force.
        std::string options = "sps-id=1";
        if (level)
            options += std::string(":level=") + level;
        g_object_set(encoder, "quantizer", 14, "bframes", 0, "key-int-max", 100000, "rc-lookahead",
                     0, "sync-lookahead", 0, "option-string", options.c_str(), nullptr);
    } else {
        gst_util_set_object_arg(G_OBJECT(encoder), "speed-preset", "veryfast");
        g_object_set(encoder, "qp", 14, "key-int-max", 100000, "option-string",
                     "bframes=0:repeat-headers=1", nullptr);
    }
}

} // namespace

gst::Element MakeHeadEncoder(const std::string &factory, const std::string &sourceCaps,
                             gst::Caps *outputCaps)
{
    gst::Element encoder = gst::Adopt(gst_element_factory_make(factory.c_str(), nullptr));
    if (!encoder)
        return encoder;
    gst::Caps source(gst_caps_from_string(sourceCaps.c_str()));
    const GstStructure *s = FirstStructure(source);
    GstStructure *wanted = gst_structure_new_empty(s ? gst_structure_get_name(s) : "video/x-raw");
    const char *profile = s ? gst_structure_get_string(s, "profile") : nullptr;
    if (profile)
        gst_structure_set(wanted, "profile", G_TYPE_STRING, profile, nullptr);
    if (factory == "x264enc" || factory == "x265enc") {
        gst_structure_set(wanted, "stream-format", G_TYPE_STRING, "byte-stream", "alignment",
                          G_TYPE_STRING, "au", nullptr);
        SetH26xQuality(encoder.get(), factory, s);
    } else {
        SetVpxQuality(encoder.get());
    }
    outputCaps->reset(gst_caps_new_full(wanted, nullptr));
    GST_INFO("head encoder %s, output %" GST_PTR_FORMAT, factory.c_str(), outputCaps->get());
    return encoder;
}

gst::Element MakeParser(const std::string &caps, bool inBand)
{
    static const struct
    {
        const char *prefix;
        const char *parser;
    } kParsers[] = {{"video/x-h264", "h264parse"},
                    {"video/x-h265", "h265parse"},
                    {"video/mpeg, mpegversion=(int)4", "mpeg4videoparse"},
                    {"video/mpeg", "mpegvideoparse"},
                    {"audio/mpeg, mpegversion=(int)1", "mpegaudioparse"},
                    {"audio/mpeg", "aacparse"},
                    {"audio/x-ac3", "ac3parse"},
                    {"audio/x-eac3", "ac3parse"},
                    {"audio/x-opus", "opusparse"},
                    {"audio/x-flac", "flacparse"}};
    const char *name = "identity";
    for (const auto &entry : kParsers)
        if (caps.rfind(entry.prefix, 0) == 0) {
            name = entry.parser;
            break;
        }
    gst::Element parser = gst::Adopt(gst_element_factory_make(name, nullptr));
    if (!parser)
        parser = gst::Adopt(gst_element_factory_make("identity", nullptr));
    if (inBand && g_object_class_find_property(G_OBJECT_GET_CLASS(parser.get()), "config-interval"))
        g_object_set(parser.get(), "config-interval", -1, nullptr);
    return parser;
}

} // namespace media
