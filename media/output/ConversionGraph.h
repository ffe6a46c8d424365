#pragma once

#include "media/core/Filter.h"
#include "platform/Status.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

typedef struct _GstElement GstElement;

namespace media {

// Control and events of a running conversion graph.
class ConversionGraph
{
public:
    // E_POINTER without a pipeline.
    static HRESULT FromGraph(GstElement *pipeline, std::shared_ptr<ConversionGraph> *graph);
    ~ConversionGraph();
    ConversionGraph(const ConversionGraph &) = delete;
    ConversionGraph &operator=(const ConversionGraph &) = delete;

    // Starts the graph; E_FAIL when it refuses at once (LastError says why).
    HRESULT Run();
    // Ends the conversion. While the graph still runs, every group is ended at one time (the
    // furthest group's, on the frame grid; see CutGroups) so the writer completes the file with
    // streams that end together, waiting at most finishTimeout; then everything stops. S_OK
    // when the file was completed (now or earlier), S_FALSE when the graph had failed or never
    // ran, E_FAIL when the wait ran out.
    HRESULT Stop(std::chrono::milliseconds finishTimeout = std::chrono::seconds(30));

    // Runs on a streaming thread after an event was queued; must not block.
    void SetNotifyCallback(std::function<void()> callback);
    // EC_COMPLETE at the end of the file, EC_ERRORABORT on a failure; E_ABORT when none.
    HRESULT GetEvent(long *code, std::intptr_t *param1, std::intptr_t *param2);
    // Position written so far, 100-ns units; 0 before the first frame.
    REFERENCE_TIME CurrentPosition() const;
    // Running time every stream has handed to the writer, 100-ns units: what the file holds
    // (or is about to) rather than what the encoders were given.
    REFERENCE_TIME WrittenPosition() const;
    // The graph's first error, naming the element that failed; empty when none.
    std::string LastError() const;
    bool Completed() const;
    // Where Stop ended the groups, 100-ns units from the start of the edit; -1 when the graph
    // was not stopped early (it completed, failed or never ran).
    REFERENCE_TIME StoppedLength() const;
    // For each group, in the order they were rendered: where its source ended by itself before
    // the end of the edit (a sound track shorter than the picture), 100-ns units; -1 for a group
    // that ran to the end or was ended by a stop.
    std::vector<REFERENCE_TIME> SourceEnds() const;
    // What the user should know of a conversion that went well (an input that held less than
    // its header claimed); empty when nothing.
    std::string SourceNote() const;
    // The graph as a Filter (for the filter properties dialog), valid while this object lives.
    Filter Graph() const;

    struct Impl;

private:
    ConversionGraph();
    std::unique_ptr<Impl> m_impl;
};

} // namespace media
