#include "media/output/CaptureGraphBuilder.h"

#include "media/core/Diagnostics.h"
#include "media/core/FilterInternal.h"
#include "media/core/GstHandles.h"
#include "media/core/MediaPlatform.h"
#include "media/elements/OggWriter.h"
#include "media/elements/PictureStage.h"
#include "media/output/EncoderRestamp.h"
#include "media/output/GroupProgress.h"
#include "media/output/SoundTail.h"
#include "media/output/TheoraRepeats.h"
#include "media/output/WriterReferences.h"
#include "media/render/SourceFacts.h"

#include <gst/gst.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#define GST_CAT_DEFAULT cw_output_debug

namespace media {

namespace {

// Coded data waiting for the muxer, and raw sound before its encoder: enough time for the
// deepest encoder look-ahead, so one stream never starves the muxer of the other.
constexpr guint64 kBranchRoom = 5 * GST_SECOND;
// Raw pictures before their encoder only decouple the threads: picture and sound come from
// sources of their own, so a muxer waiting on one stream is covered by the coded queues, and a
// few frames' room keeps memory from growing with the frame size while the encoder lags.
constexpr guint64 kRawPictureRoom = GST_SECOND / 4;

const char *const kAsfStreamsKey = "cw-asf-streams";

unsigned Cores()
{
    return std::min(g_get_num_processors(), 8u);
}

// Encoders and converters made by us or inside bins use every core.
void RaiseThreads(GstElement *element)
{
    GObjectClass *klass = G_OBJECT_GET_CLASS(element);
    GstElementFactory *factory = gst_element_get_factory(element);
    if (!factory)
        return;
    const gchar *name = GST_OBJECT_NAME(factory);
    GParamSpec *definition = g_object_class_find_property(klass, "n-threads");
    if (definition && definition->value_type == G_TYPE_UINT
        && (g_str_has_prefix(name, "videoconvert") || g_str_equal(name, "videoscale")))
        g_object_set(element, "n-threads", Cores(), nullptr);
    definition = g_object_class_find_property(klass, "threads");
    if (definition && g_str_has_prefix(name, "avenc_") && definition->value_type == G_TYPE_INT)
        g_object_set(element, "threads", 0, nullptr);
}

void OnDeepElementAdded(GstBin *, GstBin *, GstElement *element, gpointer)
{
    RaiseThreads(element);
}

std::string CapsName(GstPad *pad)
{
    gst::Caps caps(gst_pad_query_caps(pad, nullptr));
    if (!caps || gst_caps_is_empty(caps.get()) || gst_caps_is_any(caps.get()))
        return {};
    return gst_structure_get_name(gst_caps_get_structure(caps.get(), 0));
}

GstElement *Make(const char *factory)
{
    return gst_element_factory_make(factory, nullptr);
}

} // namespace

struct CaptureGraphBuilder::Impl
{
    gst::Element pipeline;
};

CaptureGraphBuilder::CaptureGraphBuilder()
    : m_impl(std::make_unique<Impl>())
{
}

CaptureGraphBuilder::~CaptureGraphBuilder() = default;

HRESULT CaptureGraphBuilder::Create(std::unique_ptr<CaptureGraphBuilder> *builder)
{
    if (!builder)
        return E_POINTER;
    if (!InitializeMediaPlatform(nullptr, MediaServices::All))
        return E_FAIL;
    builder->reset(new CaptureGraphBuilder);
    return S_OK;
}

HRESULT CaptureGraphBuilder::SetFiltergraph(GstElement *pipeline)
{
    if (!pipeline || !GST_IS_BIN(pipeline))
        return E_POINTER;
    m_impl->pipeline = gst::Ref(pipeline);
    if (!g_object_get_data(G_OBJECT(pipeline), "cw-threads")) {
        g_object_set_data(G_OBJECT(pipeline), "cw-threads", GINT_TO_POINTER(1));
        g_signal_connect(pipeline, "deep-element-added", G_CALLBACK(OnDeepElementAdded), nullptr);
    }
    return S_OK;
}

HRESULT CaptureGraphBuilder::SetOutputFileName(const std::string &muxer, const std::string &path,
                                               Filter *mux, Filter *sink)
{
    if (!m_impl->pipeline)
        return E_UNEXPECTED;
    if (!mux || !sink)
        return E_POINTER;
    gst::Object<GstElementFactory> factory(muxer.empty() ? nullptr
                                                         : gst_element_factory_find(muxer.c_str()));
    if (!factory) {
        m_lastError = muxer.empty() ? "This multiplexer is not installed."
                                    : "The element \"" + muxer + "\" is not installed.";
        return REGDB_E_CLASSNOTREG;
    }
    if (!gst_element_factory_list_is_type(factory.get(), GST_ELEMENT_FACTORY_TYPE_MUXER)) {
        m_lastError = "The element \"" + muxer + "\" writes no container.";
        return E_INVALIDARG;
    }
    gst::Element muxerElement(gst::Adopt(Make(muxer.c_str())));
    if (!muxerElement) {
        m_lastError = "The element \"" + muxer + "\" is not installed.";
        return REGDB_E_CLASSNOTREG;
    }
    MendWriterReferences(muxerElement.get());
    gst::Element fileSink(gst::Adopt(Make("filesink")));
    if (!fileSink)
        return REGDB_E_CLASSNOTREG;
    g_object_set(fileSink.get(), "location", path.c_str(), nullptr);
    GstBin *bin = GST_BIN(m_impl->pipeline.get());
    // Both are ours already (not floating): the bin takes a reference of its own.
    if (!gst_bin_add(bin, muxerElement.get()) || !gst_bin_add(bin, fileSink.get())
        || !gst_element_link(muxerElement.get(), fileSink.get())) {
        m_lastError = "The multiplexer could not be connected to the file.";
        return E_FAIL;
    }
    GST_INFO_OBJECT(muxerElement.get(), "writer %s to %s", muxer.c_str(), path.c_str());
    *mux = WrapElement(std::move(muxerElement));
    *sink = WrapElement(std::move(fileSink));
    return S_OK;
}

HRESULT CaptureGraphBuilder::SetEditLength(REFERENCE_TIME length)
{
    if (!m_impl->pipeline)
        return E_UNEXPECTED;
    ProgressOf(m_impl->pipeline.get())->editLength = length > 0 ? length * 100 : 0;
    return S_OK;
}

// Elements made for one stream that are not in the graph yet: released on every early return,
// handed to the graph at the end.
class PendingElements
{
public:
    PendingElements() = default;
    PendingElements(const PendingElements &) = delete;
    PendingElements &operator=(const PendingElements &) = delete;
    ~PendingElements()
    {
        for (GstElement *e : m_elements)
            gst_object_unref(gst_object_ref_sink(e));
    }
    // False when the element could not be made.
    bool Add(GstElement *element)
    {
        if (element)
            m_elements.push_back(element);
        return element != nullptr;
    }
    // The graph owns them from now on; returns them in the order they were added.
    std::vector<GstElement *> MoveInto(GstBin *bin)
    {
        for (GstElement *e : m_elements) {
            RaiseThreads(e);
            gst_bin_add(bin, e);
        }
        return std::exchange(m_elements, {});
    }

private:
    std::vector<GstElement *> m_elements;
};

namespace {

// A queue with room by time only, so a branch never blocks the other while the muxer waits.
GstElement *MakeBranchQueue(guint64 room = kBranchRoom)
{
    GstElement *queue = Make("queue");
    if (queue)
        g_object_set(queue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time", room,
                     nullptr);
    return queue;
}

// The Windows Media encoder a profile stream names, set to its bitrate and key-frame spacing;
// sound first gets the stream's rate and channels. Null when the encoder is not installed.
GstElement *MakeAsfEncoder(const AsfStreamSettings &stream, bool video, PendingElements &chain)
{
    GstElement *encoder = Make(stream.encoder.c_str());
    if (!encoder)
        return nullptr;
    GObjectClass *klass = G_OBJECT_GET_CLASS(encoder);
    if (g_object_class_find_property(klass, "bitrate") && stream.bitrate > 0)
        gst_util_set_object_arg(G_OBJECT(encoder), "bitrate",
                                std::to_string(stream.bitrate).c_str());
    if (video && stream.keyFrameSpacing > 0 && stream.framesPerSecond > 0
        && g_object_class_find_property(klass, "gop-size")) {
        const int frames = std::max(
            1, static_cast<int>(stream.keyFrameSpacing * stream.framesPerSecond / 10000000.0));
        gst_util_set_object_arg(G_OBJECT(encoder), "gop-size", std::to_string(frames).c_str());
    }
    if (!video && stream.sampleRate > 0 && stream.channels > 0) {
        GstElement *filter = Make("capsfilter");
        gst::Caps caps(gst_caps_new_simple("audio/x-raw", "rate", G_TYPE_INT, stream.sampleRate,
                                           "channels", G_TYPE_INT, stream.channels, nullptr));
        if (filter)
            g_object_set(filter, "caps", caps.get(), nullptr);
        chain.Add(filter);
    }
    return encoder;
}

// The stream's queue and converters; false when one is not installed.
bool AddConverters(PendingElements &chain, bool video)
{
    bool made = chain.Add(MakeBranchQueue(video ? kRawPictureRoom : kBranchRoom));
    if (video)
        return chain.Add(Make("videoconvert")) && made;
    made = chain.Add(Make("audioconvert")) && made;
    return chain.Add(Make("audioresample")) && made;
}

// Uncompressed sound is written as 16-bit PCM, what every container and reader takes.
GstElement *MakePcmFilter()
{
    GstElement *filter = Make("capsfilter");
    gst::Caps caps(gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", nullptr));
    if (filter)
        g_object_set(filter, "caps", caps.get(), nullptr);
    return filter;
}

} // namespace

HRESULT CaptureGraphBuilder::ChooseEncoder(GstElement *muxer, bool video,
                                           const Filter *intermediate, PendingElements &chain,
                                           EncoderChoice *choice)
{
    const char *muxName = GST_OBJECT_NAME(gst_element_get_factory(muxer));
    choice->encoder = intermediate ? ElementOf(*intermediate) : nullptr;
    const auto *asf = static_cast<const std::vector<AsfStreamSettings> *>(
        g_object_get_data(G_OBJECT(muxer), kAsfStreamsKey));
    if (!choice->encoder && asf) {
        // The ASF writer compresses by itself, with the encoder its profile names.
        auto it = std::find_if(asf->begin(), asf->end(),
                               [video](const AsfStreamSettings &s) { return s.video == video; });
        if (it == asf->end()) {
            m_lastError = "The Windows Media profile has no stream for this input.";
            return VFW_E_CANNOT_CONNECT;
        }
        choice->encoder = MakeAsfEncoder(*it, video, chain);
        if (!choice->encoder) {
            m_lastError = "The Windows Media encoder \"" + it->encoder + "\" is not installed.";
            return REGDB_E_CLASSNOTREG;
        }
        choice->own = true;
        choice->restamp = true;
    } else if (!choice->encoder && g_str_equal(muxName, kOggWriterFactory)) {
        // Ogg holds no raw streams: Theora and Vorbis unless a compressor was chosen.
        const char *factory = video ? "theoraenc" : "vorbisenc";
        choice->encoder = Make(factory);
        if (!choice->encoder) {
            m_lastError = std::string("The element \"") + factory + "\" is not installed.";
            return REGDB_E_CLASSNOTREG;
        }
        choice->own = true;
    } else if (choice->encoder && g_str_equal(muxName, "avmux_asf")) {
        choice->restamp = true;
    }
    if (choice->encoder && !choice->own
        && GST_OBJECT_PARENT(choice->encoder) != GST_OBJECT(m_impl->pipeline.get())) {
        m_lastError = "The compressor was not added to the graph.";
        return E_UNEXPECTED;
    }
    return S_OK;
}

HRESULT CaptureGraphBuilder::RenderStream(GstPad *pin, const Filter *intermediate,
                                          const Filter &mux)
{
    if (!m_impl->pipeline)
        return E_UNEXPECTED;
    GstElement *muxer = ElementOf(mux);
    if (!pin || !muxer)
        return E_POINTER;
    GstBin *bin = GST_BIN(m_impl->pipeline.get());
    const std::string media = CapsName(pin);
    const bool video = g_str_has_prefix(media.c_str(), "video/");
    const bool audio = g_str_has_prefix(media.c_str(), "audio/");
    if (!video && !audio) {
        m_lastError = "The stream is neither picture nor sound.";
        return VFW_E_CANNOT_CONNECT;
    }

    PendingElements chain;
    if (!AddConverters(chain, video)) {
        m_lastError = "The queue and converters of the media framework are not installed.";
        return REGDB_E_CLASSNOTREG;
    }
    EncoderChoice choice;
    if (HRESULT hr = ChooseEncoder(muxer, video, intermediate, chain, &choice); FAILED(hr))
        return hr;
    GstElement *encoder = choice.encoder;
    GST_INFO_OBJECT(muxer, "%s stream %s: encoder %s%s", video ? "picture" : "sound", media.c_str(),
                    FactoryNameOf(encoder),
                    choice.own ? " (picked for the writer: none was chosen)" : "");
    if (encoder && choice.own)
        chain.Add(encoder);
    if (!encoder && audio)
        chain.Add(MakePcmFilter());
    GstElement *out = MakeBranchQueue();
    if (!out) {
        m_lastError = "The queue of the media framework is not installed.";
        return REGDB_E_CLASSNOTREG;
    }
    gst_bin_add(bin, out);

    // Everything made here goes into the graph; the caller's compressor is there already.
    std::vector<GstElement *> links = chain.MoveInto(bin);
    if (encoder && !choice.own)
        links.push_back(encoder);
    if (KeepsCopiedPictures(encoder)) {
        // Right before the encoder, in its thread (see PictureStage.h); without it the
        // encoder just keeps its raw pictures.
        if (GstElement *stage = Make("cwstage")) {
            gst_bin_add(bin, stage);
            links.insert(std::find(links.begin(), links.end(), encoder), stage);
        }
    }
    links.push_back(out);
    return LinkStream(pin, links, encoder, choice.restamp, muxer, video);
}

HRESULT CaptureGraphBuilder::LinkStream(GstPad *pin, const std::vector<GstElement *> &links,
                                        GstElement *encoder, bool restamp, GstElement *muxer,
                                        bool video)
{
    gst::Pad head(gst_element_get_static_pad(links.front(), "sink"));
    if (gst_pad_link(pin, head.get()) != GST_PAD_LINK_OK) {
        m_lastError = "The group's output could not be connected.";
        return VFW_E_CANNOT_CONNECT;
    }
    for (std::size_t i = 0; i + 1 < links.size(); ++i) {
        if (!gst_element_link(links[i], links[i + 1])) {
            m_lastError = std::string("\"") + GST_OBJECT_NAME(links[i + 1])
                          + "\" does not take the stream "
                          + (links[i + 1] == encoder ? "as it comes." : "of the step before it.");
            return VFW_E_CANNOT_CONNECT;
        }
    }
    if (restamp && encoder)
        RestampOutput(encoder);
    if (encoder && gst_element_get_factory(encoder)
        && g_str_equal(GST_OBJECT_NAME(gst_element_get_factory(encoder)), "theoraenc"))
        FillRepeatedPictures(encoder);
    if (encoder && gst_element_get_factory(encoder)
        && g_str_equal(GST_OBJECT_NAME(gst_element_get_factory(encoder)), "voaacenc"))
        CompleteLastSoundFrame(encoder, 1024); // AAC's frame
    if (encoder && video)
        KeepWholePictures(encoder);
    if (!gst_element_link(links.back(), muxer)) {
        const char *muxName = GST_OBJECT_NAME(gst_element_get_factory(muxer));
        m_lastError = std::string("The ") + muxName + " multiplexer does not take "
                      + (video ? "this video" : "this audio")
                      + (encoder ? " format; choose another compressor."
                                 : " uncompressed; choose a compressor.");
        return VFW_E_CANNOT_CONNECT;
    }
    WatchGroup(m_impl->pipeline.get(), pin);
    gst::Pad toWriter(gst_element_get_static_pad(links.back(), "src"));
    WatchWriterInput(m_impl->pipeline.get(), toWriter.get());
    return S_OK;
}

HRESULT AddFilter(GstElement *pipeline, const Filter &filter, const std::string &name,
                  Filter *added)
{
    if (!pipeline || !added)
        return E_POINTER;
    if (!filter)
        return E_POINTER;
    Filter copy;
    HRESULT hr = filter.Duplicate(&copy);
    if (FAILED(hr))
        return hr;
    GstElement *element = ElementOf(copy);
    // The name only where it is free in the graph.
    if (gst::Element named(gst_bin_get_by_name(GST_BIN(pipeline), name.c_str())); !named)
        gst_object_set_name(GST_OBJECT(element), name.c_str());
    // The copy holds its element (not floating): the bin takes a reference of its own.
    if (!gst_bin_add(GST_BIN(pipeline), element))
        return E_FAIL;
    *added = copy;
    return S_OK;
}

bool WriterStatesColours(const std::string &muxer, const std::string &videoEncoder)
{
    if (videoEncoder == "x264enc")
        return muxer == "avimux" || muxer == "matroskamux" || muxer == "mp4mux";
    return videoEncoder.empty() && muxer == "matroskamux";
}

bool FileHasSound(const std::string &path)
{
    if (!InitializeMediaPlatform(nullptr, MediaServices::All))
        return false;
    // Through the editing services' asset cache: the render that follows finds the file there
    // instead of reading it once more.
    std::string unreadable;
    ClipAssets assets;
    GESUriClipAsset *asset = assets.Get(path, &unreadable);
    return asset && HasSound(asset);
}

void ReleaseGraph(GstElement *graph)
{
    if (graph)
        gst_object_unref(graph);
}

void ReleasePad(GstPad *pad)
{
    if (pad)
        gst_object_unref(pad);
}

HRESULT ConfigureInterleaving(const Filter &mux)
{
    GstElement *element = ElementOf(mux);
    if (!element)
        return E_POINTER;
    GObjectClass *klass = G_OBJECT_GET_CLASS(element);
    if (g_object_class_find_property(klass, "interleave-time")) {
        g_object_set(element, "interleave-time", GstClockTime(500 * GST_MSECOND), nullptr);
        return S_OK;
    }
    if (g_object_class_find_property(klass, "max-delay")) {
        // Our Ogg writer: no stream's page spans more, so the streams' pages interleave closely.
        g_object_set(element, "max-delay", guint64(500 * GST_MSECOND), nullptr);
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT SetOverwriteMode(const Filter &sink)
{
    GstElement *element = ElementOf(sink);
    if (!element)
        return E_POINTER;
    if (!g_object_class_find_property(G_OBJECT_GET_CLASS(element), "append"))
        return E_NOINTERFACE;
    g_object_set(element, "append", FALSE, nullptr);
    return S_OK;
}

HRESULT ConfigureAsfWriter(const Filter &mux, const std::vector<AsfStreamSettings> &streams)
{
    GstElement *element = ElementOf(mux);
    if (!element)
        return E_POINTER;
    if (!g_str_equal(GST_OBJECT_NAME(gst_element_get_factory(element)), "avmux_asf"))
        return E_NOINTERFACE;
    if (streams.empty())
        return E_INVALIDARG;
    g_object_set_data_full(
        G_OBJECT(element), kAsfStreamsKey, new std::vector<AsfStreamSettings>(streams),
        [](gpointer p) { delete static_cast<std::vector<AsfStreamSettings> *>(p); });
    return S_OK;
}

} // namespace media
