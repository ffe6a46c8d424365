#pragma once

#include "app/MainWindowState.h"
#include "convert/media/ConversionGraph.h"
#include "convert/media/Filter.h"
#include "convert/media/OutputGraph.h"
#include "convert/media/RenderEngine.h"
#include "convert/media/Timeline.h"
#include "platform/Status.h"

#include <memory>
#include <string>

// Turns the conversion's timeline into a running graph that writes the output file: the
// render engine's group pads, through the chosen compressors (or the Windows Media encoders of
// the generated profile), into the writer of the output format.

// What a conversion needs from the window that runs it. The command line has its own.
class ConversionHost
{
public:
    virtual ~ConversionHost() = default;
    // Called on a streaming thread whenever graph events are queued; must only post.
    virtual void PostGraphNotify() = 0;
    virtual void SetConvertCaption(const std::string &text) = 0;
    virtual void SetStatusText(const std::string &text) = 0;
    // The elapsed-time timer (1112, every second).
    virtual void StartConversionTimer() = 0;
    virtual void StopConversionTimer() = 0;
    // Open Video, Options, Start Time and End Time.
    virtual void EnableConversionControls(bool enable) = 0;
    // The filter properties dialog over the graph, before an MP4 graph runs.
    virtual void ShowFilterProperties(const media::Filter &graph) {}
    virtual void OpenDownloadPage(const std::string &address) = 0;
};

// The running conversion; filled by a successful start, released by FinishConversion.
extern std::unique_ptr<media::RenderEngine> pRenderEngine;
extern std::shared_ptr<media::ConversionGraph> pControl;
extern std::shared_ptr<media::ConversionGraph> pEvent;

// Where the user is sent for a missing writer.
extern const char *const kMatroskaMp4DownloadPage;
extern const char *const kDsmDownloadPage;

HRESULT StartRender(MainWindowState &dlg, ConversionHost &host,
                    const std::shared_ptr<media::Timeline> &timeline);
HRESULT DisableGroupPreview(const std::shared_ptr<media::Timeline> &timeline);
HRESULT BuildOutputGraph(MainWindowState &dlg, ConversionHost &host, media::RenderEngine &engine,
                         const std::string &outputPath);
void LockConversionControls(ConversionHost &host);
void UnlockConversionControls(ConversionHost &host);
