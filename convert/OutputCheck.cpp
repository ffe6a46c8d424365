#include "convert/OutputCheck.h"

#include "media/probe/StreamReadBack.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

std::string Join(const std::string &a, const std::string &b)
{
    return a.empty() ? b : a + "; " + b;
}

} // namespace

long long FramesIn(REFERENCE_TIME length, int rateNum, int rateDen)
{
    if (length <= 0 || rateNum <= 0 || rateDen <= 0)
        return 0;
    // In 128-bit arithmetic: hours of 100-ns units times a rate numerator overflow 64 bits.
    const __int128 units = static_cast<__int128>(length + 1) * rateNum;
    return static_cast<long long>(units / (static_cast<__int128>(UNITS) * rateDen));
}

REFERENCE_TIME FrameTime(long long frames, int rateNum, int rateDen)
{
    if (rateNum <= 0 || rateDen <= 0)
        return 0;
    const __int128 units = static_cast<__int128>(frames) * UNITS * rateDen;
    return static_cast<REFERENCE_TIME>(units / rateNum);
}

std::string SecondsText(REFERENCE_TIME t)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(t) / UNITS);
    return text;
}

namespace {

// What the file should hold: a frame's length, where the picture and the sound end, and the
// picture's frames.
struct Wanted
{
    REFERENCE_TIME frame;
    REFERENCE_TIME videoEnd;
    REFERENCE_TIME soundEnd;
    long long frames;
};

// One written stream against what was wanted: its figures, and any difference.
void CheckStream(const media::WrittenStream &s, const Wanted &w, OutputCheckResult *result,
                 std::string *differences, std::string *figures)
{
    const char *what = s.video ? "the video" : "the sound";
    const REFERENCE_TIME end = std::max<REFERENCE_TIME>(s.end, 0);
    result->written = std::max(result->written, end);
    std::string figure = std::string(what) + " " + SecondsText(end);
    // A frame, and the whole milliseconds ASF stamps in: a stop cuts on the frame grid
    // from zero, which a section from a mark may straddle by up to a frame.
    REFERENCE_TIME tolerance = w.frame + 20000;
    if (s.video) {
        result->frames = static_cast<long long>(s.packets);
        figure += ", " + std::to_string(s.packets) + " frames, first at "
                  + SecondsText(std::max<REFERENCE_TIME>(s.first, 0));
    } else {
        // Sound is coded in packets (WMA's are 46 ms) and ends on a packet's edge. A
        // decoder gives each packet's sound one packet late, so a WMA stream is stamped a
        // packet early and its last stamp ends up to two packets before the sound does.
        if (s.packets > 1 && s.first >= 0 && s.end > s.first)
            tolerance = std::max(tolerance, 2 * (s.end - s.first) / REFERENCE_TIME(s.packets));
    }
    *figures = Join(*figures, figure);
    const REFERENCE_TIME want = s.video ? w.videoEnd : w.soundEnd;
    if (s.end < 0 || std::llabs(s.end - want) > tolerance)
        *differences = Join(*differences, std::string(what) + " lasts " + SecondsText(end)
                                              + " instead of " + SecondsText(want));
    if (s.video && std::llabs(static_cast<long long>(s.packets) - w.frames) > 1)
        *differences = Join(*differences, "the video holds " + std::to_string(s.packets)
                                              + " frames instead of " + std::to_string(w.frames));
    // A picture missing inside the file leaves a step of two frames or more, which the
    // count alone allows at either end.
    if (s.video && s.longestStep > w.frame + w.frame / 2)
        *differences = Join(*differences, "the video skips " + SecondsText(s.longestStep)
                                              + " after " + SecondsText(s.longestStepAt));
    if (s.video && (s.first < 0 || s.first > w.frame))
        *differences = Join(*differences, "the first picture is at "
                                              + SecondsText(std::max<REFERENCE_TIME>(s.first, 0))
                                              + " instead of 0.00 s");
}

} // namespace

OutputCheckResult CheckWrittenFile(const std::string &path, const OutputExpectation &expected)
{
    OutputCheckResult result;
    media::WrittenFile file;
    std::string error;
    if (!media::ReadBackStreams(path, &file, &error)) {
        result.differences = error;
        return result;
    }
    result.readable = true;
    const REFERENCE_TIME frame = FrameTime(1, expected.rateNum, expected.rateDen) + 1;
    // What the render engine writes: whole frames of the grid, up to where a source ended;
    // sound that ended by itself ends where it did, to the sample.
    auto expectedEnd = [&](REFERENCE_TIME sourceEnd, bool sound) {
        if (sound && sourceEnd >= 0 && sourceEnd < expected.length)
            return sourceEnd;
        const REFERENCE_TIME length
            = sourceEnd >= 0 ? std::min(sourceEnd, expected.length) : expected.length;
        const long long frames = FramesIn(length, expected.rateNum, expected.rateDen);
        return frames > 0 ? FrameTime(frames, expected.rateNum, expected.rateDen) : length;
    };
    const REFERENCE_TIME videoEnd = expectedEnd(expected.videoSourceEnd, false);
    const REFERENCE_TIME soundEnd = expectedEnd(expected.soundSourceEnd, true);
    const Wanted wanted{frame, videoEnd, soundEnd,
                        FramesIn(videoEnd, expected.rateNum, expected.rateDen)};

    std::string differences;
    std::string figures;
    int videos = 0, sounds = 0;
    for (const media::WrittenStream &s : file.streams) {
        if (!s.video && !s.audio)
            continue;
        ++(s.video ? videos : sounds);
        CheckStream(s, wanted, &result, &differences, &figures);
    }
    if (videos != 1)
        differences = Join(differences, videos == 0 ? std::string("no video stream was written")
                                                    : std::to_string(videos) + " video streams");
    if (sounds != (expected.sound ? 1 : 0))
        differences = Join(differences, sounds == 0 ? std::string("no sound stream was written")
                                                    : std::to_string(sounds) + " sound streams"
                                                          + (expected.sound ? ""
                                                                            : " where the "
                                                                              "source has "
                                                                              "none"));
    result.figures = figures;
    result.differences = differences;
    result.matches = differences.empty();
    return result;
}
