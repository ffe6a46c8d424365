#include "media/render/Timeline.h"

#include "media/render/TransitionEffects.h"
#include "platform/Report.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <system_error>

namespace media {

HRESULT PropertySetter::Create(std::shared_ptr<PropertySetter> *setter)
{
    if (!setter)
        return E_POINTER;
    *setter = std::make_shared<PropertySetter>();
    return S_OK;
}

HRESULT PropertySetter::AddProp(const std::string &name, std::vector<Point> values)
{
    if (name.empty() || values.empty())
        return E_INVALIDARG;
    for (auto &param : m_params) {
        if (param.first == name) {
            param.second = std::move(values);
            return S_OK;
        }
    }
    m_params.emplace_back(name, std::move(values));
    return S_OK;
}

bool PropertySetter::GetProp(const std::string &name, std::vector<Point> *values) const
{
    for (const auto &param : m_params) {
        if (param.first == name) {
            if (values)
                *values = param.second;
            return true;
        }
    }
    return false;
}

// Every node

HRESULT TimelineNode::SetStartStop(REFERENCE_TIME start, REFERENCE_TIME stop)
{
    if (start < 0 || stop < start)
        return E_INVALIDARG;
    m_start = start;
    m_stop = stop;
    return S_OK;
}

HRESULT TimelineNode::GetStartStop(REFERENCE_TIME *start, REFERENCE_TIME *stop) const
{
    if (!start || !stop)
        return E_POINTER;
    *start = m_start;
    *stop = m_stop;
    return S_OK;
}

HRESULT TimelineNode::SetSubObjectGUID(const GUID &effect)
{
    if (!Is(TIMELINE_MAJOR_TYPE_TRANSITION | TIMELINE_MAJOR_TYPE_EFFECT))
        return E_NOINTERFACE;
    if (!KnownEffect(effect))
        return E_INVALIDARG;
    m_effect = effect;
    return S_OK;
}

HRESULT TimelineNode::GetSubObjectGUID(GUID *effect) const
{
    if (!Is(TIMELINE_MAJOR_TYPE_TRANSITION | TIMELINE_MAJOR_TYPE_EFFECT))
        return E_NOINTERFACE;
    if (!effect)
        return E_POINTER;
    *effect = m_effect;
    return S_OK;
}

HRESULT TimelineNode::SetPropertySetter(std::shared_ptr<PropertySetter> setter)
{
    if (!setter)
        return E_POINTER;
    m_setter = std::move(setter);
    return S_OK;
}

// Groups

HRESULT TimelineNode::SetMediaType(const AM_MEDIA_TYPE &type)
{
    if (!Is(TIMELINE_MAJOR_TYPE_GROUP))
        return E_NOINTERFACE;
    if (type.majortype == MEDIATYPE_Video) {
        VIDEOINFOHEADER vih;
        if (type.formattype != FORMAT_VideoInfo || !type.VideoInfo(&vih))
            return E_INVALIDARG;
        // Height may be negative (top-down rows); the picture is the same size.
        if (vih.bmiHeader.biWidth <= 0 || vih.bmiHeader.biHeight == 0)
            return E_INVALIDARG;
    } else if (type.majortype != MEDIATYPE_Audio) {
        return E_INVALIDARG;
    }
    if (!m_tracks.empty() && m_hasMediaType && m_mediaType.majortype != type.majortype)
        return E_INVALIDARG;
    m_mediaType = type;
    m_hasMediaType = true;
    return S_OK;
}

HRESULT TimelineNode::GetMediaType(AM_MEDIA_TYPE *type) const
{
    if (!Is(TIMELINE_MAJOR_TYPE_GROUP))
        return E_NOINTERFACE;
    if (!type)
        return E_POINTER;
    if (!m_hasMediaType)
        return VFW_E_NOT_FOUND;
    *type = m_mediaType;
    return S_OK;
}

HRESULT TimelineNode::SetOutputFPS(double fps)
{
    if (!Is(TIMELINE_MAJOR_TYPE_GROUP))
        return E_NOINTERFACE;
    if (!std::isfinite(fps) || fps <= 0.0 || fps > 1000.0)
        return E_INVALIDARG;
    m_fps = fps;
    return S_OK;
}

HRESULT TimelineNode::GetOutputFPS(double *fps) const
{
    if (!Is(TIMELINE_MAJOR_TYPE_GROUP))
        return E_NOINTERFACE;
    if (!fps)
        return E_POINTER;
    *fps = m_fps;
    return S_OK;
}

HRESULT TimelineNode::SetPreviewMode(bool preview)
{
    if (!Is(TIMELINE_MAJOR_TYPE_GROUP))
        return E_NOINTERFACE;
    m_preview = preview;
    return S_OK;
}

HRESULT TimelineNode::GetPreviewMode(bool *preview) const
{
    if (!Is(TIMELINE_MAJOR_TYPE_GROUP))
        return E_NOINTERFACE;
    if (!preview)
        return E_POINTER;
    *preview = m_preview;
    return S_OK;
}

HRESULT TimelineNode::VTrackInsBefore(const std::shared_ptr<TimelineNode> &track, long priority)
{
    if (!Is(TIMELINE_MAJOR_TYPE_GROUP | TIMELINE_MAJOR_TYPE_COMPOSITE))
        return E_NOINTERFACE;
    if (!track)
        return E_POINTER;
    if (track->m_type != TIMELINE_MAJOR_TYPE_TRACK || track->m_placed)
        return E_INVALIDARG;
    if (priority < 0 || priority > static_cast<long>(m_tracks.size()))
        priority = static_cast<long>(m_tracks.size());
    m_tracks.insert(m_tracks.begin() + priority, track);
    track->m_placed = true;
    return S_OK;
}

HRESULT TimelineNode::VTrackGetCount(long *count) const
{
    if (!Is(TIMELINE_MAJOR_TYPE_GROUP | TIMELINE_MAJOR_TYPE_COMPOSITE))
        return E_NOINTERFACE;
    if (!count)
        return E_POINTER;
    *count = static_cast<long>(m_tracks.size());
    return S_OK;
}

HRESULT TimelineNode::GetVTrack(std::shared_ptr<TimelineNode> *track, long priority) const
{
    if (!Is(TIMELINE_MAJOR_TYPE_GROUP | TIMELINE_MAJOR_TYPE_COMPOSITE))
        return E_NOINTERFACE;
    if (!track)
        return E_POINTER;
    if (priority < 0 || priority >= static_cast<long>(m_tracks.size()))
        return E_INVALIDARG;
    *track = m_tracks[priority];
    return S_OK;
}

// Sources

HRESULT TimelineNode::SetMediaTimes(REFERENCE_TIME start, REFERENCE_TIME stop)
{
    if (!Is(TIMELINE_MAJOR_TYPE_SOURCE))
        return E_NOINTERFACE;
    if (start < 0 || stop < start)
        return E_INVALIDARG;
    m_mediaStart = start;
    m_mediaStop = stop;
    return S_OK;
}

HRESULT TimelineNode::GetMediaTimes(REFERENCE_TIME *start, REFERENCE_TIME *stop) const
{
    if (!Is(TIMELINE_MAJOR_TYPE_SOURCE))
        return E_NOINTERFACE;
    if (!start || !stop)
        return E_POINTER;
    *start = m_mediaStart;
    *stop = m_mediaStop;
    return S_OK;
}

HRESULT TimelineNode::SetMediaName(const std::string &path)
{
    if (!Is(TIMELINE_MAJOR_TYPE_SOURCE))
        return E_NOINTERFACE;
    if (path.empty())
        return E_INVALIDARG;
    m_mediaName = path;
    return S_OK;
}

HRESULT TimelineNode::GetMediaName(std::string *path) const
{
    if (!Is(TIMELINE_MAJOR_TYPE_SOURCE))
        return E_NOINTERFACE;
    if (!path)
        return E_POINTER;
    *path = m_mediaName;
    return S_OK;
}

HRESULT TimelineNode::SetStretchMode(int mode)
{
    if (!Is(TIMELINE_MAJOR_TYPE_SOURCE))
        return E_NOINTERFACE;
    if (mode < RESIZEF_STRETCH || mode > RESIZEF_PRESERVEASPECTRATIO_NOLETTERBOX)
        return E_INVALIDARG;
    m_stretchMode = mode;
    return S_OK;
}

HRESULT TimelineNode::GetStretchMode(int *mode) const
{
    if (!Is(TIMELINE_MAJOR_TYPE_SOURCE))
        return E_NOINTERFACE;
    if (!mode)
        return E_POINTER;
    *mode = m_stretchMode;
    return S_OK;
}

// Tracks

HRESULT TimelineNode::SrcAdd(const std::shared_ptr<TimelineNode> &source)
{
    if (!Is(TIMELINE_MAJOR_TYPE_TRACK))
        return E_NOINTERFACE;
    if (!source)
        return E_POINTER;
    if (source->m_type != TIMELINE_MAJOR_TYPE_SOURCE || source->m_placed)
        return E_INVALIDARG;
    m_sources.push_back(source);
    source->m_placed = true;
    return S_OK;
}

HRESULT TimelineNode::QueryTransable() const
{
    return Is(TIMELINE_MAJOR_TYPE_TRACK | TIMELINE_MAJOR_TYPE_GROUP | TIMELINE_MAJOR_TYPE_COMPOSITE)
               ? S_OK
               : E_NOINTERFACE;
}

HRESULT TimelineNode::TransAdd(const std::shared_ptr<TimelineNode> &transition)
{
    if (FAILED(QueryTransable()))
        return E_NOINTERFACE;
    if (!transition)
        return E_POINTER;
    if (transition->m_type != TIMELINE_MAJOR_TYPE_TRANSITION || transition->m_placed)
        return E_INVALIDARG;
    // Transitions on one track may touch but not overlap.
    for (const auto &other : m_transitions) {
        if (transition->m_start < other->m_stop && other->m_start < transition->m_stop)
            return E_INVALIDARG;
    }
    m_transitions.push_back(transition);
    transition->m_placed = true;
    return S_OK;
}

// The timeline

HRESULT Timeline::Create(std::shared_ptr<Timeline> *timeline)
{
    if (!timeline)
        return E_POINTER;
    timeline->reset(new Timeline);
    return S_OK;
}

HRESULT Timeline::CreateEmptyNode(std::shared_ptr<TimelineNode> *node, TIMELINE_MAJOR_TYPE type)
{
    if (!node)
        return E_POINTER;
    switch (type) {
    case TIMELINE_MAJOR_TYPE_COMPOSITE:
    case TIMELINE_MAJOR_TYPE_TRACK:
    case TIMELINE_MAJOR_TYPE_SOURCE:
    case TIMELINE_MAJOR_TYPE_TRANSITION:
    case TIMELINE_MAJOR_TYPE_EFFECT:
    case TIMELINE_MAJOR_TYPE_GROUP:
        node->reset(new TimelineNode(type));
        return S_OK;
    }
    return E_INVALIDARG;
}

HRESULT Timeline::AddGroup(const std::shared_ptr<TimelineNode> &group)
{
    if (!group)
        return E_POINTER;
    if (group->m_type != TIMELINE_MAJOR_TYPE_GROUP || !group->m_hasMediaType || group->m_placed)
        return E_INVALIDARG;
    m_groups.push_back(group);
    group->m_placed = true;
    return S_OK;
}

HRESULT Timeline::GetGroupCount(long *count) const
{
    if (!count)
        return E_POINTER;
    *count = static_cast<long>(m_groups.size());
    return S_OK;
}

HRESULT Timeline::GetGroup(std::shared_ptr<TimelineNode> *group, long index) const
{
    if (!group)
        return E_POINTER;
    if (index < 0 || index >= static_cast<long>(m_groups.size()))
        return E_INVALIDARG;
    *group = m_groups[index];
    return S_OK;
}

HRESULT Timeline::ValidateSourceNames(long flags, const LocateFile &locate)
{
    m_missing.clear();
    if (!(flags & SFN_VALIDATEF_CHECK))
        return S_OK;
    std::vector<TimelineNode *> sources;
    for (const auto &group : m_groups)
        for (const auto &track : group->m_tracks)
            for (const auto &source : track->m_sources)
                sources.push_back(source.get());

    for (TimelineNode *source : sources) {
        const std::string path = source->m_mediaName;
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec)
            || std::find(m_missing.begin(), m_missing.end(), path) != m_missing.end())
            continue;
        std::optional<std::string> replacement;
        if ((flags & SFN_VALIDATEF_POPUP) && (flags & SFN_VALIDATEF_REPLACE) && locate)
            replacement = locate(path);
        if (!replacement) {
            m_missing.push_back(path);
            continue;
        }
        // Every clip of the missing file now plays the one the user found.
        for (TimelineNode *other : sources) {
            if (other->m_mediaName == path)
                other->m_mediaName = *replacement;
        }
    }
    if (m_missing.empty())
        return S_OK;
    if ((flags & SFN_VALIDATEF_POPUP) && !(flags & SFN_VALIDATEF_REPLACE)) {
        platform::Say(platform::Problem::MissingMediaFiles, m_missing);
    }
    return HRESULT_FILE_NOT_FOUND;
}

REFERENCE_TIME Timeline::Duration() const
{
    REFERENCE_TIME end = 0;
    for (const auto &group : m_groups) {
        for (const auto &track : group->m_tracks) {
            for (const auto &source : track->m_sources)
                end = std::max(end, source->m_stop);
            for (const auto &transition : track->m_transitions)
                end = std::max(end, transition->m_stop);
        }
    }
    return end;
}

} // namespace media
