#pragma once

#include "media/core/Filter.h"
#include "media/core/MediaTypes.h"
#include "platform/Status.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct _GstElement GstElement;
typedef struct _GstPad GstPad;

// The back end of a conversion graph: the writer of the output container (muxer and file
// sink) attached to a render engine's pipeline, and each group pad rendered into it through an
// optional encoder. Then the graph is run and watched through ConversionGraph
// (ConversionGraph.h).
namespace media {

// A class that is not installed (no element of that kind exists here).
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
// Two filters could not be connected: the writer refuses the stream's format.
constexpr HRESULT VFW_E_CANNOT_CONNECT = static_cast<HRESULT>(0x80040217u);

// One stream of a Windows Media profile, as the ASF writer's encoder takes it.
struct AsfStreamSettings
{
    bool video = false;
    std::string encoder;       // element factory, e.g. "cwenc_wmv2"
    std::uint32_t bitrate = 0; // bit/s
    int width = 0;
    int height = 0;
    double framesPerSecond = 0;
    std::int64_t keyFrameSpacing = 0; // 100-ns units; 0 = the encoder's own
    int sampleRate = 0;
    int channels = 0;
};

class PendingElements;

class CaptureGraphBuilder
{
public:
    static HRESULT Create(std::unique_ptr<CaptureGraphBuilder> *builder);
    ~CaptureGraphBuilder();
    CaptureGraphBuilder(const CaptureGraphBuilder &) = delete;
    CaptureGraphBuilder &operator=(const CaptureGraphBuilder &) = delete;

    // The pipeline to build in (a new reference is kept).
    HRESULT SetFiltergraph(GstElement *pipeline);
    // Adds the writer's muxer (its element factory, e.g. "mp4mux"; the ASF writer is
    // "avmux_asf") and a file sink for path, linked. REGDB_E_CLASSNOTREG when the muxer is not
    // installed (or none is named), E_INVALIDARG for an element that is no muxer, E_UNEXPECTED
    // without a graph.
    HRESULT SetOutputFileName(const std::string &muxer, const std::string &path, Filter *mux,
                              Filter *sink);
    // pin -> converter -> [intermediate, or the writer's own encoder] -> mux. The intermediate
    // must have been added with AddFilter. VFW_E_CANNOT_CONNECT when the writer refuses the
    // stream; LastError() says why.
    HRESULT RenderStream(GstPad *pin, const Filter *intermediate, const Filter &mux);
    // How long the edit lasts: a group whose source sends no end-of-stream is ended when it
    // has delivered that much.
    HRESULT SetEditLength(REFERENCE_TIME length);
    const std::string &LastError() const { return m_lastError; }

    struct Impl;

private:
    struct EncoderChoice
    {
        GstElement *encoder = nullptr;
        bool own = false;     // made here for the writer, not the caller's compressor
        bool restamp = false; // its output is re-stamped to running time
    };
    CaptureGraphBuilder();
    // The stream's encoder: the caller's compressor, the ASF writer's own, or Ogg's default.
    HRESULT ChooseEncoder(GstElement *muxer, bool video, const Filter *intermediate,
                          PendingElements &chain, EncoderChoice *choice);
    // pin -> links... -> muxer, each link in order.
    HRESULT LinkStream(GstPad *pin, const std::vector<GstElement *> &links, GstElement *encoder,
                       bool restamp, GstElement *muxer, bool video);
    std::unique_ptr<Impl> m_impl;
    std::string m_lastError;
};

// Adds a copy of the filter to the graph under name (the bound one stays free for the next
// conversion); the copy is what RenderStream takes. E_FAIL when it cannot be copied or added.
HRESULT AddFilter(GstElement *pipeline, const Filter &filter, const std::string &name,
                  Filter *added);

// Whether a file of this writer with this video encoder (empty: uncompressed) states the colour
// matrix of its pictures to every reader: H.264 from x264enc in its stream, Matroska for
// uncompressed pictures. Other codecs state nothing or imply BT.601 (VP8, Theora, WMV).
bool WriterStatesColours(const std::string &muxer, const std::string &videoEncoder);

// Whether the file has a sound stream the installed decoders can read.
bool FileHasSound(const std::string &path);

// Releases a graph reference (from RenderEngine::GetFilterGraph).
void ReleaseGraph(GstElement *graph);
// Releases a pad reference (from RenderEngine::GetGroupOutputPin).
void ReleasePad(GstPad *pad);

// Full interleaving: the muxer writes streams close together in time. E_NOINTERFACE when the
// muxer has no such setting (not an error for the caller).
HRESULT ConfigureInterleaving(const Filter &mux);
// The sink replaces an existing file instead of appending. E_NOINTERFACE when not a file sink.
HRESULT SetOverwriteMode(const Filter &sink);
// Configures the ASF writer's encoders from a profile's streams. E_NOINTERFACE when mux is not
// the ASF writer; E_INVALIDARG for no streams.
HRESULT ConfigureAsfWriter(const Filter &mux, const std::vector<AsfStreamSettings> &streams);

} // namespace media
