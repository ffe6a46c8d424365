#include "media/output/ConversionGraph.h"

#include "media/core/Diagnostics.h"
#include "media/core/FilterInternal.h"
#include "media/core/GraphEvents.h"
#include "media/output/GroupProgress.h"
#include "media/output/SourceWatch.h"

#include <gst/gst.h>

#define GST_CAT_DEFAULT cw_output_debug

namespace media {

struct ConversionGraph::Impl
{
    gst::Element pipeline;
    std::unique_ptr<GraphEvents> events;
    GroupProgress *progress = nullptr;
    bool running = false;
    std::string runError;
    Filter graphFilter;

    gint64 cut = -1; // ns: where a stop ended every group; -1 when none did
};

ConversionGraph::ConversionGraph()
    : m_impl(std::make_unique<Impl>())
{
}

ConversionGraph::~ConversionGraph()
{
    if (m_impl->pipeline)
        gst_element_set_state(m_impl->pipeline.get(), GST_STATE_NULL);
}

HRESULT ConversionGraph::FromGraph(GstElement *pipeline, std::shared_ptr<ConversionGraph> *graph)
{
    if (!pipeline || !graph)
        return E_POINTER;
    std::shared_ptr<ConversionGraph> made(new ConversionGraph);
    made->m_impl->pipeline = gst::Ref(pipeline);
    made->m_impl->events = std::make_unique<GraphEvents>(pipeline);

    made->m_impl->progress = ProgressOf(pipeline);
    WatchSources(pipeline);
    *graph = std::move(made);
    return S_OK;
}

HRESULT ConversionGraph::Run()
{
    if (gst_element_set_state(m_impl->pipeline.get(), GST_STATE_PLAYING)
        == GST_STATE_CHANGE_FAILURE) {
        m_impl->runError = m_impl->events->FirstError();
        if (m_impl->runError.empty())
            m_impl->runError = "The graph could not be started.";
        gst_element_set_state(m_impl->pipeline.get(), GST_STATE_NULL);
        return E_FAIL;
    }
    m_impl->running = true;
    return S_OK;
}

HRESULT ConversionGraph::Stop(std::chrono::milliseconds finishTimeout)
{
    if (!m_impl->running)
        return S_FALSE;
    m_impl->running = false;
    HRESULT hr = S_OK;
    const GraphEvents::Mark mark = m_impl->events->Now();
    if (mark.errors > 0) {
        GST_INFO_OBJECT(m_impl->pipeline.get(), "stopped after an error");
        hr = S_FALSE;
    } else if (mark.ends == 0) {
        m_impl->cut = CutGroups(*m_impl->progress);
        GST_INFO_OBJECT(m_impl->pipeline.get(), "stopped: every stream ends at %" GST_TIME_FORMAT,
                        GST_TIME_ARGS(m_impl->cut));
        if (m_impl->cut == 0) {
            // Nothing has passed any group yet: there is no file to complete, and a writer
            // ended before its streams have a format fails (the ASF one "no caps set").
            gst_element_set_state(m_impl->pipeline.get(), GST_STATE_NULL);
            return S_OK;
        }
        switch (m_impl->events->WaitForEnd(mark, finishTimeout)) {
        case GraphEvents::Outcome::Done:
            break;
        case GraphEvents::Outcome::Failed:
            hr = S_FALSE;
            break;
        case GraphEvents::Outcome::TimedOut:
            GST_WARNING_OBJECT(m_impl->pipeline.get(), "the writer did not finish in %lld ms",
                               static_cast<long long>(finishTimeout.count()));
            hr = E_FAIL;
            break;
        }
    }
    gst_element_set_state(m_impl->pipeline.get(), GST_STATE_NULL);
    return hr;
}

void ConversionGraph::SetNotifyCallback(std::function<void()> callback)
{
    m_impl->events->SetNotifyCallback(std::move(callback));
}

HRESULT ConversionGraph::GetEvent(long *code, std::intptr_t *param1, std::intptr_t *param2)
{
    return m_impl->events->GetEvent(code, param1, param2);
}

REFERENCE_TIME ConversionGraph::CurrentPosition() const
{
    return m_impl->progress->end.load() / 100;
}

REFERENCE_TIME ConversionGraph::WrittenPosition() const
{
    return WrittenTime(m_impl->progress) / 100;
}

std::string ConversionGraph::LastError() const
{
    std::string error = m_impl->events->FirstError();
    return error.empty() ? m_impl->runError : error;
}

Filter ConversionGraph::Graph() const
{
    // Made once: a Filter that is the last holder of a graph stops it when it goes.
    if (!m_impl->graphFilter)
        m_impl->graphFilter = WrapElement(gst::Ref(m_impl->pipeline.get()));
    return m_impl->graphFilter;
}

REFERENCE_TIME ConversionGraph::StoppedLength() const
{
    return m_impl->cut < 0 ? -1 : m_impl->cut / 100;
}

std::vector<REFERENCE_TIME> ConversionGraph::SourceEnds() const
{
    std::vector<REFERENCE_TIME> ends;
    std::lock_guard lock(m_impl->progress->mutex);
    for (const auto &group : m_impl->progress->groups)
        ends.push_back(group->sourceEnd < 0 ? -1 : group->sourceEnd / 100);
    return ends;
}

std::string ConversionGraph::SourceNote() const
{
    return media::SourceNote(m_impl->pipeline.get());
}

bool ConversionGraph::Completed() const
{
    const GraphEvents::Mark mark = m_impl->events->Now();
    return mark.ends > 0 && mark.errors == 0;
}

} // namespace media
