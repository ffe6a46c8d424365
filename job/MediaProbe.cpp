#include "job/MediaProbe.h"

#include "job/InputFile.h"
#include "media/copy/SectionCopy.h"
#include "media/playback/PlaybackGraph.h"
#include "media/probe/AviFrames.h"
#include "media/probe/FrameTimes.h"
#include "media/probe/Mp4Lengths.h"
#include "media/probe/StreamReadBack.h"
#include "media/render/SourceDiscovery.h"
#include "platform/Report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace {

bool StepFailed(platform::Problem problem)
{
    platform::Say(problem);
    return false;
}

std::string Seconds(REFERENCE_TIME t)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", double(t) / UNITS);
    return text;
}

// GStreamer's AVI demuxer takes an AVI's length from its index and plays only the pictures the
// index lists: a damaged index would give a short output that looks complete. False after a
// message when the data holds more pictures than the index lists.
bool CheckAviIndex(const std::string &path, REFERENCE_TIME stop)
{
    const auto avi = media::CountAviFrames(path);
    if (!avi || avi->frameNs <= 0 || avi->frames <= 0)
        return true;
    const REFERENCE_TIME frame = avi->frameNs / 100;
    const REFERENCE_TIME held = avi->frames * frame;
    if (held <= stop + frame)
        return true;
    platform::Say(platform::Problem::AviIndexShort, {Seconds(stop), Seconds(held)});
    return false;
}

// Fewer bits a second than a video is stored in (a still picture in H.264 takes about 15,000):
// a header claiming a length the file's size spreads thinner than this may have a damaged
// length field or stamp, and the streams are measured.
constexpr double kLeastBitsPerSecond = 8000;

// Whether an MP4's movie length is far beyond its longest track's (a damaged field), which the
// demuxer reports as the file's.
bool MovieBeyondTracks(const std::string &path)
{
    const auto mp4 = media::ReadMp4Lengths(path);
    return mp4 && mp4->longestTrackNs > 0
           && mp4->movieNs > mp4->longestTrackNs + mp4->longestTrackNs / 2 + 1000000000;
}

// The length the file's streams hold when its header claims one its size could not fill (2,067
// s for 3 s of content once made the window's end mark, and a conversion of the whole file,
// that long) or an MP4's tracks contradict; the claimed length otherwise. The streams are
// measured with one demux pass.
REFERENCE_TIME PlausibleLength(const std::string &path, REFERENCE_TIME claimed)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || claimed <= 0)
        return claimed;
    if (double(size) * 8 / (double(claimed) / UNITS) >= kLeastBitsPerSecond
        && !MovieBeyondTracks(path))
        return claimed;
    media::WrittenFile file;
    std::string why;
    if (!media::ReadBackStreams(path, &file, &why, std::chrono::seconds(60)))
        return claimed;
    REFERENCE_TIME held = 0;
    for (const media::WrittenStream &stream : file.streams)
        if (stream.video || stream.audio)
            held = std::max(held, stream.end);
    // Containers round and pad their lengths; only a claim far beyond the streams is replaced.
    return held > 0 && held * 2 < claimed ? held : claimed;
}

} // namespace

double FrameRateFromTimePerFrame(double secondsPerFrame)
{
    if (!(secondsPerFrame > 0) || !std::isfinite(secondsPerFrame))
        return kUnknownFrameRateFallback;
    // Through 100-ns units and back, as the rate has always been computed.
    const double rate = (10000000.0 / secondsPerFrame) / 10000000.0;
    // Rates beyond any real video come from broken headers.
    if (!std::isfinite(rate) || rate > 1000.0)
        return kUnknownFrameRateFallback;
    return rate;
}

bool RunMediaProbe(const std::string &path, MediaProbeResult *result)
{
    std::unique_ptr<media::PlaybackGraph> graph;
    if (FAILED(media::PlaybackGraph::Create(&graph)))
        return StepFailed(platform::Problem::ProbeGraph);

    if (FAILED(graph->RenderFile(path))) {
        // Where the system refused the file, its reason is told: no decoder would help.
        const InputFileCheck check = InspectInputFile(path);
        platform::Say(platform::Problem::NotReadable,
                      {path, !check.ok && check.systemReason ? check.reason : std::string()});
        return false;
    }

    if (FAILED(graph->QuerySeeking()))
        return StepFailed(platform::Problem::NoSeeking);
    if (FAILED(graph->GetStopPosition(&result->stopPosition)))
        return StepFailed(platform::Problem::NoLength);
    if (!CheckAviIndex(path, result->stopPosition))
        return false;
    result->stopPosition = PlausibleLength(path, result->stopPosition);

    if (FAILED(graph->QueryBasicVideo()))
        return StepFailed(platform::Problem::NoPicture);
    int width = 0;
    int height = 0;
    if (FAILED(graph->GetVideoSize(&width, &height)))
        return StepFailed(platform::Problem::NoVideoDecoder);
    result->sourceWidth = width;
    result->sourceHeight = height;
    result->haveSize = true;

    double secondsPerFrame = 0;
    if (FAILED(graph->GetAvgTimePerFrame(&secondsPerFrame)))
        return StepFailed(platform::Problem::NoFrameRate);
    result->sourceFrameRate = FrameRateFromTimePerFrame(secondsPerFrame);
    result->haveFrameRate = true;
    return true;
}

namespace {

// What a discovery or a parse said of the file, before the checks every probe makes.
struct StatedFacts
{
    REFERENCE_TIME length = 0;
    int width = 0;
    int height = 0;
    media::FrameRate rate;
};

bool CheckStatedFacts(const std::string &path, const StatedFacts &facts, MediaProbeResult *result)
{
    if (!CheckAviIndex(path, facts.length))
        return false;
    result->stopPosition = PlausibleLength(path, facts.length);
    result->sourceWidth = facts.width;
    result->sourceHeight = facts.height;
    result->haveSize = true;
    // Declared rates can be a demuxer's default: the frames' stamps say what the file holds.
    const media::FrameRate rate = media::MeasureFrameRate(path, facts.rate);
    result->sourceFrameRate
        = FrameRateFromTimePerFrame(rate.Valid() ? static_cast<double>(rate.den) / rate.num : 0.0);
    result->haveFrameRate = true;
    return true;
}

// The parsers' facts, when they are whole: a picture stream with a size and a length. A
// picture no installed decoder reads is left to the probe that plays, which says so.
bool ParsedFacts(const media::SourceStreams &streams, StatedFacts *facts, bool needDecoder)
{
    if (streams.videoCaps.empty() || streams.width <= 0 || streams.height <= 0
        || streams.lengthNs <= 0 || !streams.exactLength
        || (needDecoder && !media::DecoderFor(streams.videoCaps)))
        return false;
    facts->length = streams.lengthNs / 100;
    facts->width = streams.width;
    facts->height = streams.height;
    facts->rate = {streams.rateNum, streams.rateDen};
    return true;
}

} // namespace

bool ProbeForConversion(const std::string &path, MediaProbeResult *result)
{
    media::DiscoveredSource discovered;
    if (!media::DiscoverSource(path, &discovered)) {
        if (discovered.unreadable.empty())
            return RunMediaProbe(path, result);
        platform::Say(platform::Problem::FrontEndFailed, {discovered.unreadable});
        return false;
    }
    StatedFacts facts;
    facts.length = discovered.lengthNs / 100;
    facts.width = discovered.width;
    facts.height = discovered.height;
    facts.rate = {discovered.rateNum, discovered.rateDen};
    return CheckStatedFacts(path, facts, result);
}

bool ProbeForCopy(const std::string &path, MediaProbeResult *result, media::SourceStreams *streams)
{
    std::string error;
    StatedFacts facts;
    if (!media::ReadSourceStreams(path, streams, &error) || !ParsedFacts(*streams, &facts, false))
        return ProbeForConversion(path, result);
    return CheckStatedFacts(path, facts, result);
}

bool ProbeWithoutDecoding(const std::string &path, MediaProbeResult *result)
{
    media::SourceStreams streams;
    std::string error;
    StatedFacts facts;
    if (!media::ReadSourceStreams(path, &streams, &error) || !ParsedFacts(streams, &facts, true))
        return RunMediaProbe(path, result);
    return CheckStatedFacts(path, facts, result);
}
