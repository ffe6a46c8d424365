#pragma once

#include "media/core/MediaTypes.h"
#include "platform/Status.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// The editing timeline: groups (one output stream each) hold tracks, tracks hold source clips
// and transitions. Every operation reports an HRESULT-style status, so a builder can name the
// step that failed. The model only describes the edit; RenderEngine turns it into a graph.
//
// Times are REFERENCE_TIME (100 ns). A node answers only the operations of its kind; any other
// gives E_NOINTERFACE.
namespace media {

enum TIMELINE_MAJOR_TYPE {
    TIMELINE_MAJOR_TYPE_COMPOSITE = 1,
    TIMELINE_MAJOR_TYPE_TRACK = 2,
    TIMELINE_MAJOR_TYPE_SOURCE = 4,
    TIMELINE_MAJOR_TYPE_TRANSITION = 8,
    TIMELINE_MAJOR_TYPE_EFFECT = 16,
    TIMELINE_MAJOR_TYPE_GROUP = 128,
};

// Source-name validation flags.
constexpr long SFN_VALIDATEF_CHECK = 0x1;   // check that each clip file exists
constexpr long SFN_VALIDATEF_POPUP = 0x2;   // ask the user about missing files
constexpr long SFN_VALIDATEF_TELLME = 0x4;  // (accepted, no effect here)
constexpr long SFN_VALIDATEF_REPLACE = 0x8; // with POPUP: let the user locate each one

// Stretch modes of a video source.
constexpr int RESIZEF_STRETCH = 0;             // fill the frame, aspect ratio not kept
constexpr int RESIZEF_CROP = 1;                // natural size, centred, cut at the edges
constexpr int RESIZEF_PRESERVEASPECTRATIO = 2; // fit inside the frame, black borders
constexpr int RESIZEF_PRESERVEASPECTRATIO_NOLETTERBOX = 3; // fill the frame, cut the overflow

// Interpolation of a property value.
constexpr int DEXTERF_JUMP = 0;
constexpr int DEXTERF_INTERPOLATE = 1;

// A clip's media file does not exist (the system's "file not found").
constexpr HRESULT HRESULT_FILE_NOT_FOUND = static_cast<HRESULT>(0x80070002u);

// Timed parameter values of an effect or transition ("MaskNum" of the SMPTE wipe).
class PropertySetter
{
public:
    using Value = std::variant<std::int32_t, double, std::string>;
    struct Point
    {
        REFERENCE_TIME time = 0;
        Value value;
        int interpolation = DEXTERF_JUMP;
    };

    static HRESULT Create(std::shared_ptr<PropertySetter> *setter);

    // E_INVALIDARG for an empty name or no values. A name given again replaces its values.
    HRESULT AddProp(const std::string &name, std::vector<Point> values);
    // The values of a parameter; false when it has none.
    bool GetProp(const std::string &name, std::vector<Point> *values) const;
    std::size_t Count() const { return m_params.size(); }

private:
    std::vector<std::pair<std::string, std::vector<Point>>> m_params;
};

class Timeline;

class TimelineNode
{
public:
    TIMELINE_MAJOR_TYPE MajorType() const { return m_type; }

    // Every node: its span on the timeline. E_INVALIDARG when stop < start or start < 0.
    HRESULT SetStartStop(REFERENCE_TIME start, REFERENCE_TIME stop);
    HRESULT GetStartStop(REFERENCE_TIME *start, REFERENCE_TIME *stop) const;

    // Transitions and effects: which effect renders them. E_INVALIDARG for an effect the
    // render engine does not know (KnownEffect).
    HRESULT SetSubObjectGUID(const GUID &effect);
    HRESULT GetSubObjectGUID(GUID *effect) const;
    HRESULT SetPropertySetter(std::shared_ptr<PropertySetter> setter);
    std::shared_ptr<PropertySetter> GetPropertySetter() const { return m_setter; }

    // Groups: output media type (video: FORMAT_VideoInfo with a non-zero size; audio: any
    // format) and output frame rate (video groups, > 0).
    HRESULT SetMediaType(const AM_MEDIA_TYPE &type);
    HRESULT GetMediaType(AM_MEDIA_TYPE *type) const;
    HRESULT SetOutputFPS(double fps);
    HRESULT GetOutputFPS(double *fps) const;
    // Groups: preview mode is only recorded. Our render engine writes every frame whatever it
    // says (a render is always to a file), so nothing reads it; it is kept so a build that
    // turns it off before rendering still reads the same.
    HRESULT SetPreviewMode(bool preview);
    HRESULT GetPreviewMode(bool *preview) const;

    // Groups: tracks. priority -1 (or past the end) inserts after every track; later tracks
    // lie on top of earlier ones. A track can be in one group only.
    HRESULT VTrackInsBefore(const std::shared_ptr<TimelineNode> &track, long priority);
    HRESULT VTrackGetCount(long *count) const;
    HRESULT GetVTrack(std::shared_ptr<TimelineNode> *track, long priority) const;

    // Sources: media start and stop within the file (E_INVALIDARG when stop < start or
    // start < 0), the file (UTF-8 path, not empty) and the stretch mode (RESIZEF_*).
    HRESULT SetMediaTimes(REFERENCE_TIME start, REFERENCE_TIME stop);
    HRESULT GetMediaTimes(REFERENCE_TIME *start, REFERENCE_TIME *stop) const;
    HRESULT SetMediaName(const std::string &path);
    HRESULT GetMediaName(std::string *path) const;
    HRESULT SetStretchMode(int mode);
    HRESULT GetStretchMode(int *mode) const;

    // Tracks: their source clips, in the order added.
    HRESULT SrcAdd(const std::shared_ptr<TimelineNode> &source);
    const std::vector<std::shared_ptr<TimelineNode>> &Sources() const { return m_sources; }

    // Tracks and groups can hold transitions: S_OK, else E_NOINTERFACE.
    HRESULT QueryTransable() const;
    HRESULT TransAdd(const std::shared_ptr<TimelineNode> &transition);
    const std::vector<std::shared_ptr<TimelineNode>> &Transitions() const { return m_transitions; }

    const std::vector<std::shared_ptr<TimelineNode>> &Tracks() const { return m_tracks; }

private:
    friend class Timeline;
    explicit TimelineNode(TIMELINE_MAJOR_TYPE type)
        : m_type(type)
    {
    }
    bool Is(int types) const { return (m_type & types) != 0; }

    TIMELINE_MAJOR_TYPE m_type;
    bool m_placed = false; // already inside a group, track or timeline
    REFERENCE_TIME m_start = 0;
    REFERENCE_TIME m_stop = 0;
    GUID m_effect;
    std::shared_ptr<PropertySetter> m_setter;
    bool m_hasMediaType = false;
    AM_MEDIA_TYPE m_mediaType;
    double m_fps = 15.0;
    bool m_preview = true;
    std::vector<std::shared_ptr<TimelineNode>> m_tracks;
    REFERENCE_TIME m_mediaStart = 0;
    REFERENCE_TIME m_mediaStop = 0;
    std::string m_mediaName;
    int m_stretchMode = RESIZEF_STRETCH;
    std::vector<std::shared_ptr<TimelineNode>> m_sources;
    std::vector<std::shared_ptr<TimelineNode>> m_transitions;
};

class Timeline
{
public:
    static HRESULT Create(std::shared_ptr<Timeline> *timeline);

    // E_INVALIDARG for a type other than those above.
    HRESULT CreateEmptyNode(std::shared_ptr<TimelineNode> *node, TIMELINE_MAJOR_TYPE type);
    // Groups are numbered in the order added. E_INVALIDARG for a node that is not a group, has
    // no media type or was added already.
    HRESULT AddGroup(const std::shared_ptr<TimelineNode> &group);
    HRESULT GetGroupCount(long *count) const;
    HRESULT GetGroup(std::shared_ptr<TimelineNode> *group, long index) const;

    // Where a missing file went, as the user answers it: an existing file, or nothing.
    using LocateFile = std::function<std::optional<std::string>(const std::string &missing)>;
    // Checks (SFN_VALIDATEF_CHECK) that every source's file exists. With SFN_VALIDATEF_POPUP
    // and SFN_VALIDATEF_REPLACE, locate is asked for each missing file, and every clip of it
    // then plays the file found; with POPUP alone the missing ones are reported.
    // S_OK when all exist in the end; else HRESULT_FILE_NOT_FOUND, with MissingSources
    // listing them.
    HRESULT ValidateSourceNames(long flags, const LocateFile &locate = {});
    const std::vector<std::string> &MissingSources() const { return m_missing; }

    // The whole edit's length: the latest stop of any source or transition.
    REFERENCE_TIME Duration() const;

private:
    Timeline() = default;
    std::vector<std::shared_ptr<TimelineNode>> m_groups;
    std::vector<std::string> m_missing;
};

// Whether the render engine can render a transition or effect of this id.
bool KnownEffect(const GUID &effect);
// The SMPTE wipe: its pattern is the "MaskNum" parameter (default 1, a left-to-right bar).
extern const GUID CLSID_SMPTEWipe;

} // namespace media
