#include "convert/Conversion.h"

#include "convert/ProfileBuilder.h"
#include "localisation/Language.h"
#include "platform/Report.h"
#include "settings/CompressorChoices.h"
#include "settings/OutputContainers.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

using namespace media;

namespace {

// A step of the ASF writer's set-up failed with code hr.
void ProfileStep(const char *step, HRESULT hr)
{
    char code[16];
    std::snprintf(code, sizeof code, "%x", static_cast<unsigned>(hr));
    platform::Say(platform::Problem::ProfileStep, {step, code});
}

// A step of building the graph failed; the step is named as after "Could not".
void GraphStep(const char *step)
{
    platform::Say(platform::Problem::GraphStep, {step});
}

// The writer's encoders from the profile: each stream's encoder, bitrate and format.
std::vector<AsfStreamSettings> StreamsOf(const WMProfile &profile)
{
    std::vector<AsfStreamSettings> streams;
    for (std::size_t i = 0; i < profile.GetStreamCount(); ++i) {
        const WMStreamConfig &config = profile.GetStream(i);
        AsfStreamSettings s;
        s.video = config.GetStreamType() == WMMEDIATYPE_Video;
        s.encoder = config.encoder;
        s.bitrate = config.GetBitrate();
        AM_MEDIA_TYPE type;
        if (SUCCEEDED(config.GetMediaType(&type))) {
            VIDEOINFOHEADER vih;
            WAVEFORMATEX wfx;
            if (s.video && type.VideoInfo(&vih)) {
                s.width = vih.bmiHeader.biWidth;
                s.height = std::abs(vih.bmiHeader.biHeight);
                if (vih.AvgTimePerFrame > 0)
                    s.framesPerSecond = double(UNITS) / double(vih.AvgTimePerFrame);
            } else if (!s.video && type.WaveFormat(&wfx)) {
                s.sampleRate = static_cast<int>(wfx.nSamplesPerSec);
                s.channels = wfx.nChannels;
            }
        }
        if (s.video)
            s.keyFrameSpacing = config.GetMaxKeyFrameSpacing();
        streams.push_back(s);
    }
    return streams;
}

void ConfigureWriter(const Filter &mux, const Filter &sink)
{
    ConfigureInterleaving(mux); // either being absent is not an error
    SetOverwriteMode(sink);
}

// Steps 1 to 5 for WMV and ASF. False when a step failed (and was reported).
bool AttachAsfWriter(ConversionJob &dlg, CaptureGraphBuilder &builder, const std::string &path,
                     Filter *mux, Filter *sink)
{
    const AudioProfileRequest audio{dlg.m_nAudioBitrate, 0x161, 44100, 2};
    const VideoProfileRequest video{MakeFourCC('W', 'M', 'V', '3'),
                                    dlg.m_nVideoBitrate,
                                    static_cast<std::uint32_t>(dlg.m_nOutputHeight),
                                    static_cast<std::uint32_t>(dlg.m_nOutputWidth),
                                    static_cast<std::uint32_t>(dlg.m_dOutputFrameRate),
                                    0,
                                    8};
    std::shared_ptr<WMProfile> profile;
    HRESULT hr = GenerateProfile(&audio, &video, 1, WMT_VER_9_0, &profile);
    if (FAILED(hr)) {
        ProfileStep("GenerateProfile Audio video with script", hr);
        return false;
    }
    const OutputContainer *container = FindContainer(dlg.m_nOutputFormat);
    hr = builder.SetOutputFileName(container ? container->muxer : "", path, mux, sink);
    if (FAILED(hr)) {
        if (container)
            platform::Say(platform::Problem::WriterMissing, {container->missingWriterText});
        else
            platform::Say(platform::Problem::UnsupportedFormat);
        return false;
    }
    ConfigureWriter(*mux, *sink);
    if (dlg.m_bFileProfile == 1) {
        std::shared_ptr<WMProfile> fileProfile;
        hr = MapProfile("test2", &fileProfile);
        if (FAILED(hr)) {
            ProfileStep("map profile ID", hr);
            return false;
        }
        hr = ConfigureAsfWriter(*mux, StreamsOf(*fileProfile));
        if (hr == E_NOINTERFACE) {
            ProfileStep("QI for IConfigAsfWriter", hr);
            return false;
        }
        if (FAILED(hr)) {
            ProfileStep("configure filter to use file profile", hr);
            return false;
        }
    } else {
        hr = ConfigureAsfWriter(*mux, StreamsOf(*profile));
        if (hr == E_NOINTERFACE) {
            ProfileStep("QI for IConfigAsfWriter", hr);
            return false;
        }
        if (FAILED(hr)) {
            ProfileStep("configure filter to use profile", hr);
            return false;
        }
    }
    // The writer compresses by itself.
    dlg.m_bUseVideoCompressor = 0;
    dlg.m_bUseAudioCompressor = 0;
    return true;
}

// Renders group g through the job's compressor of category when its use flag is set. False
// after a report.
bool RenderGroup(const ConversionJob &dlg, CaptureGraphBuilder &builder, RenderEngine &engine,
                 GstElement *graph, long g, CompressorCategory category, const Filter &mux)
{
    GstPad *pin = nullptr;
    if (FAILED(engine.GetGroupOutputPin(g, &pin))) {
        GraphStep("GetGroupOutputPin( g, &pPin )");
        return false;
    }
    std::unique_ptr<GstPad, void (*)(GstPad *)> pinRef(pin, ReleasePad);
    Filter compressor;
    const bool useCompressor = dlg.UseCompressor(category) == 1;
    if (useCompressor) {
        const Filter &bound = dlg.Compressor(category);
        const char *name
            = category == CompressorCategory::Video ? "VideoCompressor" : "AudioCompressor";
        if (!bound) {
            platform::Say(platform::Problem::NoCompressorBound);
            return false;
        }
        if (FAILED(AddFilter(graph, bound, name, &compressor))) {
            platform::Say(platform::Problem::CompressorNotAdded, {bound.FactoryName()});
            return false;
        }
    }
    HRESULT hr = builder.RenderStream(pin, useCompressor ? &compressor : nullptr, mux);
    if (FAILED(hr)) {
        platform::Say(platform::Problem::RenderStreamFailed, {builder.LastError()});
        return false;
    }
    return true;
}

// Whether the output states its pictures' colour matrix, so they may keep the source's. Ogg's
// Theora and the ASF writer's own encoders state none.
bool OutputStatesColours(const ConversionJob &dlg)
{
    const OutputContainer *container = FindContainer(dlg.m_nOutputFormat);
    if (!container || container->windowsMedia)
        return false;
    const std::string encoder
        = dlg.m_bUseVideoCompressor == 1 ? dlg.m_videoCompressor.FactoryName() : std::string();
    return WriterStatesColours(container->muxer, encoder);
}

// Attaches the writer of the output format; a failure has been reported.
HRESULT AttachWriter(ConversionJob &dlg, ConversionHost &host, CaptureGraphBuilder &builder,
                     const std::string &path, Filter *mux, Filter *sink)
{
    const OutputContainer *container = FindContainer(dlg.m_nOutputFormat);
    if (!container) {
        // No writer is known for the code: nothing would take the streams.
        platform::Say(platform::Problem::UnsupportedFormat);
        return E_INVALIDARG;
    }
    if (container->windowsMedia)
        return AttachAsfWriter(dlg, builder, path, mux, sink) ? S_OK : E_FAIL;
    const HRESULT hr = builder.SetOutputFileName(container->muxer, path, mux, sink);
    if (FAILED(hr)) {
        platform::Say(platform::Problem::WriterMissing, {container->missingWriterText});
        if (container->downloadPage)
            host.OpenDownloadPage(container->downloadPage);
        return hr;
    }
    ConfigureWriter(*mux, *sink);
    return S_OK;
}

// Makes the built graph the conversion's running graph and runs it.
HRESULT RunGraph(ConversionJob &dlg, Conversion &conversion, GstElement *rawGraph)
{
    std::shared_ptr<ConversionGraph> control;
    HRESULT hr = ConversionGraph::FromGraph(rawGraph, &control);
    if (FAILED(hr)) {
        GraphStep("get pControl");
        return hr;
    }
    return RunConversionGraph(dlg, conversion, control);
}

} // namespace

HRESULT RunConversionGraph(ConversionJob &dlg, Conversion &conversion,
                           const std::shared_ptr<ConversionGraph> &control)
{
    ConversionHost &host = conversion.Host();
    conversion.pControl = control;
    control->SetNotifyCallback([&host] { host.PostGraphNotify(); });

    if (const OutputContainer *container = FindContainer(dlg.m_nOutputFormat);
        container && container->showsWriterSettings)
        host.ShowFilterProperties(control->Graph());

    const HRESULT hr = control->Run();
    if (FAILED(hr)) {
        platform::Say(platform::Problem::RunFailed, {control->LastError()});
        conversion.pControl.reset();
        return hr;
    }
    dlg.m_bConverting = 1;
    host.SetConvertCaption(CLanguage::Instance().GetDialogString(124));
    host.StartConversionTimer();
    LockConversionControls(host);
    return S_OK;
}

void Conversion::ReleaseGraph()
{
    if (pControl)
        pControl->SetNotifyCallback(nullptr);
    pControl.reset();
    if (pRenderEngine)
        pRenderEngine->ScrapIt();
    pRenderEngine.reset();
}

void Conversion::Release()
{
    ReleaseGraph();
    pTimeline.reset();
}

void LockConversionControls(ConversionHost &host)
{
    host.EnableConversionControls(false);
}
void UnlockConversionControls(ConversionHost &host)
{
    host.EnableConversionControls(true);
}

HRESULT DisableGroupPreview(const std::shared_ptr<Timeline> &timeline)
{
    long groups = 0;
    timeline->GetGroupCount(&groups);
    for (long g = 0; g < groups; ++g) {
        std::shared_ptr<TimelineNode> group;
        if (SUCCEEDED(timeline->GetGroup(&group, g)))
            group->SetPreviewMode(false);
    }
    return S_OK;
}

std::string LeftOutText(const std::vector<std::string> &streams)
{
    std::string text;
    for (std::size_t i = 0; i < streams.size(); ++i)
        text += (i == 0 ? "" : i + 1 == streams.size() ? " and " : ", ") + streams[i];
    if (streams.empty())
        return text;
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text + (streams.size() == 1 ? " was" : " were")
           + " left out: the output takes the picture and the first sound track.";
}

HRESULT StartRender(ConversionJob &dlg, Conversion &conversion,
                    const std::shared_ptr<Timeline> &timeline)
{
    // A previous failed attempt is released now rather than at the next start.
    conversion.ReleaseGraph();
    std::unique_ptr<RenderEngine> &pRenderEngine = conversion.pRenderEngine;
    HRESULT hr = RenderEngine::Create(&pRenderEngine);
    if (FAILED(hr)) {
        platform::Say(platform::Problem::RenderEngineNotCreated);
        return hr;
    }
    hr = pRenderEngine->SetTimelineObject(timeline);
    if (FAILED(hr)) {
        GraphStep("SetTimelineObject");
        conversion.ReleaseGraph();
        return hr;
    }
    pRenderEngine->SetDynamicReconnectLevel(CONNECTF_DYNAMIC_SOURCES);
    pRenderEngine->SetKeepSourceColours(OutputStatesColours(dlg));
    // The Windows Media profile asks for 44.1 kHz stereo; other writers keep the source's sound.
    pRenderEngine->SetKeepSourceSound(!IsWindowsMediaFormat(dlg.m_nOutputFormat));
    conversion.m_leftOut.clear();
    hr = pRenderEngine->ConnectFrontEnd();
    if (FAILED(hr)) {
        platform::Say(platform::Problem::FrontEndFailed, {pRenderEngine->LastError()});
        conversion.ReleaseGraph();
        return hr;
    }
    DisableGroupPreview(timeline);
    conversion.m_leftOut = LeftOutText(pRenderEngine->LeftOutStreams());
    hr = BuildOutputGraph(dlg, conversion, *pRenderEngine, conversion.WritePath(dlg));
    if (FAILED(hr))
        conversion.ReleaseGraph();
    return hr;
}

HRESULT BuildOutputGraph(ConversionJob &dlg, Conversion &conversion, RenderEngine &engine,
                         const std::string &outputPath)
{
    std::unique_ptr<CaptureGraphBuilder> builder;
    HRESULT hr = CaptureGraphBuilder::Create(&builder);
    if (FAILED(hr)) {
        GraphStep("create ICaptureGraphBuilder2");
        return hr;
    }
    std::shared_ptr<Timeline> timeline;
    hr = engine.GetTimelineObject(&timeline);
    if (FAILED(hr))
        return hr;
    GstElement *rawGraph = nullptr;
    hr = engine.GetFilterGraph(&rawGraph);
    if (FAILED(hr))
        return hr;
    std::unique_ptr<GstElement, void (*)(GstElement *)> graphRef(rawGraph, ReleaseGraph);

    long groups = 0;
    timeline->GetGroupCount(&groups);
    if (groups == 0) {
        GraphStep("GetGroupCount( &Groups )");
        return E_INVALIDARG;
    }
    hr = builder->SetFiltergraph(rawGraph);
    if (FAILED(hr)) {
        platform::Say(platform::Problem::SetFiltergraphFailed);
        return hr;
    }

    builder->SetEditLength(timeline->Duration());

    Filter mux, sink;
    hr = AttachWriter(dlg, conversion.Host(), *builder, outputPath, &mux, &sink);
    if (FAILED(hr))
        return hr;

    if (!RenderGroup(dlg, *builder, engine, rawGraph, 0, CompressorCategory::Video, mux))
        return E_FAIL;
    for (long g = 1; g < groups; ++g) {
        if (!RenderGroup(dlg, *builder, engine, rawGraph, g, CompressorCategory::Audio, mux))
            return E_FAIL;
    }
    return RunGraph(dlg, conversion, rawGraph);
}
