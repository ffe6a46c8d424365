#include "convert/TimelineBuilder.h"

#include "convert/TransitionTable.h"
#include "media/output/CaptureGraphBuilder.h"
#include "media/render/RenderEngine.h"
#include "platform/Report.h"

#include <algorithm>
#include <cstdlib>
#include <new>

using namespace media;

namespace {

// A step of building the timeline failed; the step is named as after "Could not".
HRESULT Report(const char *step, HRESULT hr)
{
    platform::Say(platform::Problem::TimelineStep, {step});
    return hr;
}

int PhotoCount(const ConversionJob &dlg)
{
    return std::clamp(dlg.m_nPhotoCount, 0, kMaxPhotoItems);
}

REFERENCE_TIME ClipLength(const ConversionJob &dlg)
{
    const Section section = dlg.MarkedSection();
    return section.length > 0 ? section.length : section.end - section.start;
}

// The media file of the video group's first clip.
std::string FirstClipFile(const Timeline &timeline)
{
    std::shared_ptr<TimelineNode> group;
    if (FAILED(timeline.GetGroup(&group, 0)))
        return {};
    for (const auto &track : group->Tracks()) {
        for (const auto &source : track->Sources()) {
            std::string path;
            source->GetMediaName(&path);
            return path;
        }
    }
    return {};
}

} // namespace

bool HasPicture(const Timeline &timeline)
{
    std::shared_ptr<TimelineNode> group;
    if (FAILED(timeline.GetGroup(&group, 0)))
        return false;
    for (const auto &track : group->Tracks()) {
        for (const auto &source : track->Sources()) {
            REFERENCE_TIME start = 0, stop = 0;
            source->GetStartStop(&start, &stop);
            if (stop > start)
                return true;
        }
    }
    return false;
}

HRESULT BuildTimeline(ConversionJob &dlg, std::shared_ptr<Timeline> &result, bool withSound,
                      const Timeline::LocateFile &locate)
{
    result.reset();
    std::shared_ptr<Timeline> timeline;
    HRESULT hr = Timeline::Create(&timeline);
    if (FAILED(hr)) {
        platform::Say(platform::Problem::TimelineNotCreated);
        return hr;
    }
    result = timeline;

    dlg.m_llTotalDuration = 0;
    for (int i = 0; i < PhotoCount(dlg); ++i)
        dlg.m_llTotalDuration += dlg.m_llPhotoDuration[i];

    if (dlg.m_nPhotoCount > 0)
        AddVideoGroup(dlg, *timeline);
    if (withSound && dlg.m_nMusicCount > 0)
        AddAudioGroup(dlg, *timeline);

    // Tells the user about clip files that have gone since they were chosen and lets them be
    // located; the timeline names those still missing.
    const std::string before = FirstClipFile(*timeline);
    timeline->ValidateSourceNames(SFN_VALIDATEF_CHECK | SFN_VALIDATEF_POPUP | SFN_VALIDATEF_REPLACE,
                                  locate);
    // A file located again is the job's file from now on, and its sound, which could not be
    // measured while it was missing, is taken too.
    const std::string after = FirstClipFile(*timeline);
    if (!before.empty() && after != before) {
        for (int i = 0; i < PhotoCount(dlg); ++i)
            if (dlg.m_szPhotoFile[i] == before)
                dlg.m_szPhotoFile[i] = after;
        const bool soundWasMissing = dlg.m_nMusicCount > 0 && dlg.m_szMusicFile[0] == before;
        if (dlg.m_nMusicCount > 0 && dlg.m_szMusicFile[0] == before)
            dlg.m_szMusicFile[0] = after;
        long groups = 0;
        timeline->GetGroupCount(&groups);
        if (soundWasMissing && groups < 2 && FileHasSound(after))
            AddAudioGroup(dlg, *timeline);
    }
    return S_OK;
}

HRESULT AddVideoGroup(ConversionJob &dlg, Timeline &timeline)
{
    std::shared_ptr<TimelineNode> group;
    HRESULT hr = timeline.CreateEmptyNode(&group, TIMELINE_MAJOR_TYPE_GROUP);
    if (FAILED(hr))
        return Report("create empty node", hr);

    AM_MEDIA_TYPE mtGroup;
    try {
        mtGroup.majortype = MEDIATYPE_Video;
        mtGroup.subtype = MEDIASUBTYPE_RGB24;
        mtGroup.bFixedSizeSamples = true;
        mtGroup.bTemporalCompression = false;
        mtGroup.formattype = FORMAT_VideoInfo;
        VIDEOINFOHEADER vih;
        vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        vih.bmiHeader.biWidth = dlg.m_nOutputWidth;
        vih.bmiHeader.biHeight = dlg.m_nOutputHeight;
        vih.bmiHeader.biPlanes = 1;
        vih.bmiHeader.biBitCount = 24;
        vih.bmiHeader.biCompression = BI_RGB;
        // Rows are padded to 4 bytes.
        std::int64_t rowBytes = (std::int64_t(dlg.m_nOutputWidth) * 24 + 31) / 32 * 4;
        std::int64_t size = rowBytes * std::abs(std::int64_t(dlg.m_nOutputHeight));
        vih.bmiHeader.biSizeImage = static_cast<std::uint32_t>(size);
        mtGroup.lSampleSize = vih.bmiHeader.biSizeImage;
        mtGroup.SetVideoInfo(vih);
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }

    hr = group->SetMediaType(mtGroup);
    if (FAILED(hr))
        return Report("pVideoGroup->SetMediaType(&mtGroup)", hr);
    hr = group->SetOutputFPS(dlg.m_dOutputFrameRate);
    if (FAILED(hr))
        return Report("SetOutputFPS", hr);
    hr = timeline.AddGroup(group);
    if (FAILED(hr))
        return Report("add video group", hr);

    for (int i = 0; i < PhotoCount(dlg); ++i) {
        dlg.m_llTransitionDuration[i] = 0;
        AddItemTrack(dlg, timeline, *group, dlg.m_szPhotoFile[i], 0, i);
    }
    return S_OK;
}

HRESULT AddItemTrack(ConversionJob &dlg, Timeline &timeline, TimelineNode &videoGroup,
                     const std::string &path, long transitionMilliseconds, int index)
{
    std::shared_ptr<TimelineNode> track;
    HRESULT hr = timeline.CreateEmptyNode(&track, TIMELINE_MAJOR_TYPE_TRACK);
    if (FAILED(hr))
        return Report("create empty track", hr);
    hr = videoGroup.VTrackInsBefore(track, -1);
    if (FAILED(hr))
        return Report("insert track", hr);

    std::shared_ptr<TimelineNode> source;
    hr = timeline.CreateEmptyNode(&source, TIMELINE_MAJOR_TYPE_SOURCE);
    if (FAILED(hr))
        return Report("create the timeline source", hr);
    const REFERENCE_TIME length = ClipLength(dlg);
    HRESULT steps[] = {
        source->SetStartStop(0, length),
        source->SetMediaTimes(dlg.m_llStartTime, dlg.m_llStartTime + length),
        source->SetMediaName(path),
        source->SetStretchMode(dlg.m_nStretchMode),
    };
    if (std::any_of(std::begin(steps), std::end(steps), [](HRESULT s) { return FAILED(s); }))
        return Report("configure media source", E_FAIL);
    hr = track->SrcAdd(source);
    if (FAILED(hr))
        return Report("add source to track", hr);

    REFERENCE_TIME transition = REFERENCE_TIME(transitionMilliseconds) * 10000;
    if (length - transition < 0) {
        platform::Say(platform::Problem::TransitionTooLong);
        return S_OK;
    }
    transition = std::min(transition, dlg.m_llTotalDuration);
    return AddItemTransition(dlg, timeline, *track, 0, transition, index);
}

HRESULT AddItemTransition(ConversionJob &dlg, Timeline &timeline, TimelineNode &track,
                          REFERENCE_TIME start, REFERENCE_TIME stop, int index)
{
    if (index < 0 || index >= kMaxPhotoItems)
        return E_INVALIDARG;
    const int type = dlg.m_nTransitionType[index];
    if (type == 0)
        return S_OK;

    std::shared_ptr<TimelineNode> transition;
    HRESULT hr = timeline.CreateEmptyNode(&transition, TIMELINE_MAJOR_TYPE_TRANSITION);
    if (FAILED(hr))
        return Report("CreateEmptyNode TIMELINE_MAJOR_TYPE_TRANSITION", hr);

    const TransitionRow row = TransitionForType(type);
    GUID effect;
    hr = GuidFromString(row.clsid, &effect) ? transition->SetSubObjectGUID(effect) : E_INVALIDARG;
    if (FAILED(hr))
        return Report("SetSubObjectGUID", hr);
    hr = transition->SetStartStop(start, stop);
    if (FAILED(hr))
        return Report("SetStartStop(TLTranStart, TLTranStop);", hr);
    hr = track.QueryTransable();
    if (FAILED(hr))
        return Report("get *pTransable", hr);
    hr = track.TransAdd(transition);
    if (FAILED(hr))
        return Report("TransAdd(pTransObj)", hr);

    if (type >= 17 && type <= 46) {
        std::shared_ptr<PropertySetter> setter;
        hr = PropertySetter::Create(&setter);
        if (SUCCEEDED(hr))
            hr = setter->AddProp("MaskNum", {{0, std::int32_t(*row.maskNum), DEXTERF_JUMP}});
        if (SUCCEEDED(hr))
            hr = transition->SetPropertySetter(setter);
        if (FAILED(hr))
            return Report("SetPropertySetter", hr);
    }
    return S_OK;
}

HRESULT AddAudioGroup(ConversionJob &dlg, Timeline &timeline)
{
    std::shared_ptr<TimelineNode> group;
    HRESULT hr = timeline.CreateEmptyNode(&group, TIMELINE_MAJOR_TYPE_GROUP);
    if (FAILED(hr))
        return Report("create pAudioGroupObj", hr);
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Audio;
    type.bFixedSizeSamples = true;
    type.lSampleSize = 1;
    hr = group->SetMediaType(type);
    if (FAILED(hr))
        return Report("set AudioGroupType", hr);
    hr = timeline.AddGroup(group);
    if (FAILED(hr))
        return Report("add audio group", hr);
    return AddSoundTrack(dlg, timeline, *group, dlg.m_szMusicFile[0]);
}

HRESULT AddSoundTrack(ConversionJob &dlg, Timeline &timeline, TimelineNode &audioGroup,
                      const std::string &path)
{
    std::shared_ptr<TimelineNode> track;
    HRESULT hr = timeline.CreateEmptyNode(&track, TIMELINE_MAJOR_TYPE_TRACK);
    if (FAILED(hr))
        return Report("create pTrack3Obj", hr);
    hr = audioGroup.VTrackInsBefore(track, -1);
    if (FAILED(hr))
        return Report("insert pTrack3Obj", hr);
    std::shared_ptr<TimelineNode> source;
    hr = timeline.CreateEmptyNode(&source, TIMELINE_MAJOR_TYPE_SOURCE);
    if (FAILED(hr))
        return Report("create the pSource3Obj", hr);
    source->SetStartStop(0, ClipLength(dlg));
    hr = source->SetMediaTimes(dlg.m_llStartTime, dlg.m_llStartTime + ClipLength(dlg));
    if (FAILED(hr))
        return Report("set audio start and eng time!", hr);
    hr = source->SetMediaName(path);
    if (FAILED(hr))
        return Report("configure pSource3Src", hr);
    hr = track->SrcAdd(source);
    if (FAILED(hr))
        return Report("add pSource3Obj to track", hr);
    return S_OK;
}
