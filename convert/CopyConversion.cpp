#include "convert/CopyConversion.h"

#include "media/output/ConversionGraph.h"
#include "platform/Report.h"
#include "settings/CompressorChoices.h"
#include "settings/OutputContainers.h"

#include <QLoggingCategory>

#include <cstdio>

Q_DECLARE_LOGGING_CATEGORY(lcConvert)

namespace {

const char *WayName(media::StreamWay way)
{
    switch (way) {
    case media::StreamWay::Leave:
        return "left out";
    case media::StreamWay::Copy:
        return "copied";
    case media::StreamWay::Encode:
        return "encoded";
    }
    return "";
}

// How a category's stream is written: copied, or encoded by the bound encoder (or, where the
// writer encodes nothing itself and none is bound, by the container's usual one).
media::StreamWay WayOf(ConversionJob &dlg, CompressorCategory category, media::Filter *encoder)
{
    if (dlg.Copies(category))
        return media::StreamWay::Copy;
    if (dlg.UseCompressor(category) == 1) {
        *encoder = dlg.Compressor(category);
        return media::StreamWay::Encode;
    }
    const OutputContainer *container = FindContainer(dlg.m_nOutputFormat);
    const auto &usual
        = category == CompressorCategory::Video ? container->usualVideo : container->usualAudio;
    if (container->encodesRawStreams && !usual.empty() && !usual.front().empty())
        *encoder = BindCompressorFactory(category, usual.front());
    return media::StreamWay::Encode;
}

media::SectionCopyRequest RequestOf(ConversionJob &dlg, const Conversion &conversion,
                                    bool withSound)
{
    media::SectionCopyRequest request;
    request.input = dlg.m_szPhotoFile[0];
    request.output = conversion.WritePath(dlg);
    request.muxer = FindContainer(dlg.m_nOutputFormat)->muxer;
    request.start = dlg.m_llStartTime;
    request.end = dlg.m_llEndTime;
    request.video = WayOf(dlg, CompressorCategory::Video, &request.videoEncoder);
    request.audio = withSound ? WayOf(dlg, CompressorCategory::Audio, &request.audioEncoder)
                              : media::StreamWay::Leave;
    request.width = dlg.m_nOutputWidth;
    request.height = dlg.m_nOutputHeight;
    request.frameRate = dlg.m_dOutputFrameRate;
    request.stretchMode = dlg.m_nStretchMode;
    return request;
}

} // namespace

std::string KeyFrameNote(REFERENCE_TIME before, int frames)
{
    char text[128];
    std::snprintf(text, sizeof text, "starts %.2f s (%d frame%s) before the mark, at a key frame",
                  before / 1e7, frames, frames == 1 ? "" : "s");
    return text;
}

bool StartCopy(ConversionJob &dlg, Conversion &conversion, bool withSound)
{
    const media::SectionCopyRequest request = RequestOf(dlg, conversion, withSound);
    media::SectionCopyPlan plan;
    if (FAILED(media::PlanSectionCopy(request, &plan)) || !plan.refusal.empty()) {
        platform::Say(platform::Problem::CopyRefused,
                      {plan.refusal.empty() ? "The section of " + request.input
                                                  + " cannot be copied: it cannot be read."
                                            : plan.refusal});
        return false;
    }
    if (!plan.exact
        && !conversion.Host().CopyFromKeyFrame(request.start - plan.videoStart,
                                               plan.framesBeforeMark))
        return false;
    if (request.video == media::StreamWay::Copy) {
        // What is written, for the check and the "Done" line.
        dlg.m_nOutputWidth = dlg.m_nSourceWidth;
        dlg.m_nOutputHeight = dlg.m_nSourceHeight;
        dlg.m_dOutputFrameRate = dlg.m_dSourceFrameRate;
    }
    qCInfo(lcConvert,
           "copying %s from %.3f s to %.3f s into %s (%s): picture %s (%s), sound %s (%s); "
           "picture from %.3f s%s, %.3f s in all",
           request.input.c_str(), request.start / 1e7, request.end / 1e7, request.output.c_str(),
           FormatName(dlg.m_nOutputFormat), WayName(request.video), plan.videoCodec.c_str(),
           WayName(request.audio), plan.audioCodec.c_str(), plan.videoStart / 1e7,
           plan.exact ? " (exact)" : " (a key frame)", plan.length / 1e7);
    std::shared_ptr<media::ConversionGraph> graph;
    if (FAILED(media::BuildSectionCopy(request, plan, &graph)) || !graph) {
        platform::Say(platform::Problem::CopyRefused,
                      {"The copy of " + request.input + " could not be built."});
        return false;
    }
    conversion.m_copied
        = Conversion::CopiedSection{plan.length, request.audio != media::StreamWay::Leave};
    return SUCCEEDED(RunConversionGraph(dlg, conversion, graph));
}
