#include "media/copy/CopyJoints.h"
#include "media/copy/MarkSeek.h"
#include "media/copy/PacketScan.h"
#include "media/copy/SectionCopy.h"

#include "media/core/Diagnostics.h"
#include "media/core/GstHandles.h"

#include <algorithm>
#include <limits>

#define GST_CAT_DEFAULT cw_copy_debug

namespace media {

namespace {

using Packets = std::vector<ScannedPacket>;
constexpr gint64 kSlack = GST_MSECOND; // marks and stamps rounded to 100 ns meet within this

// The last key frame presented at or before t (the first key frame when none is); with clean,
// only key frames a decode can start at.
std::size_t KeyAtOrBefore(const Packets &packets, gint64 t, bool clean = false)
{
    std::size_t found = packets.size();
    std::size_t first = packets.size();
    for (std::size_t i = 0; i < packets.size(); ++i) {
        if (!(clean ? packets[i].clean : packets[i].key))
            continue;
        if (first == packets.size())
            first = i;
        if (packets[i].pts <= t + kSlack)
            found = i;
    }
    return found < packets.size() ? found : first < packets.size() ? first : 0;
}

// The first packet after `from` in decode order presented after it (past its leading pictures).
std::size_t PastLeading(const Packets &packets, std::size_t from)
{
    std::size_t i = from + 1;
    while (i < packets.size() && packets[i].pts < packets[from].pts)
        ++i;
    return i;
}

// The longest run of packets from `from` that holds every picture presented before some time
// and none at or after the end: where a copy can stop exactly. Sets *next to the first picture
// time the run lacks.
std::size_t CompleteRun(const Packets &packets, std::size_t from, gint64 end, gint64 *next)
{
    const std::size_t n = packets.size();
    std::vector<gint64> suffixMin(n + 1, std::numeric_limits<gint64>::max());
    for (std::size_t i = n; i-- > from;)
        suffixMin[i] = std::min(suffixMin[i + 1], packets[i].pts);
    std::size_t best = from;
    gint64 highest = std::numeric_limits<gint64>::min();
    for (std::size_t j = from; j < n; ++j) {
        if (packets[j].pts >= end - kSlack)
            break;
        highest = std::max(highest, packets[j].pts);
        if (highest < suffixMin[j + 1])
            best = j + 1;
    }
    *next = best < n ? std::min(suffixMin[best], end) : end;
    return best;
}

gint64 FrameDuration(const std::string &caps, const Packets &packets)
{
    gst::Caps parsed(gst_caps_from_string(caps.c_str()));
    int num = 0, den = 1;
    if (parsed && gst_caps_get_size(parsed.get()) > 0
        && gst_structure_get_fraction(gst_caps_get_structure(parsed.get(), 0), "framerate", &num,
                                      &den)
        && num > 0 && den > 0)
        return gint64(gst_util_uint64_scale(GST_SECOND, den, num));
    for (const ScannedPacket &p : packets)
        if (p.duration > 0)
            return p.duration;
    return 40 * GST_MSECOND;
}

// Presentation times within [from, to) of packets [first, last), in presentation order.
std::vector<gint64> Presented(const Packets &packets, std::size_t first, std::size_t last,
                              gint64 from, gint64 to)
{
    std::vector<gint64> times;
    for (std::size_t i = first; i < last && i < packets.size(); ++i)
        if (packets[i].pts >= from - kSlack && packets[i].pts < to - kSlack)
            times.push_back(packets[i].pts);
    std::sort(times.begin(), times.end());
    return times;
}

// Decode times for the written packets: their presentation times in order, all moved back by
// the least amount that keeps every packet decoded at or before it is shown.
void AssignDecodeTimes(const Packets &packets, CopyJoints *j)
{
    std::vector<gint64> order = Presented(packets, j->headFeedFrom, j->headFeedEnd, j->origin,
                                          j->HasHead() ? j->headUntil : j->origin);
    j->headFrames = int(order.size());
    j->copyTimes.clear();
    for (std::size_t i = j->copyFrom; i < j->copyEnd; ++i) {
        const bool kept = packets[i].pts >= j->dropBefore - kSlack;
        j->copyTimes.push_back(kept ? packets[i].pts : -1);
        if (!kept)
            continue;
        order.push_back(packets[i].pts);
        ++j->copiedFrames;
        j->framesAfterEnd += packets[i].pts >= j->end - kSlack ? 1 : 0;
    }
    if (j->HasTail()) {
        const std::vector<gint64> tail
            = Presented(packets, j->tailFeedFrom, j->feedEnd, j->tailFrom, j->end);
        j->tailFrames = int(tail.size());
        order.insert(order.end(), tail.begin(), tail.end());
    }
    std::vector<gint64> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    gint64 shift = 0;
    for (std::size_t i = 0; i < order.size(); ++i)
        shift = std::max(shift, sorted[i] - order[i]);
    j->decodeTimes.clear();
    for (gint64 t : sorted)
        j->decodeTimes.push_back(t - shift);
    GST_INFO("decode times moved back %" GST_STIME_FORMAT " for %zu packets", GST_STIME_ARGS(shift),
             order.size());
}

// The exact path: a head from the mark to the next key frame, a copy, a tail.
void ExactJoints(const Packets &packets, gint64 start, CopyJoints *j)
{
    const std::size_t k0 = KeyAtOrBefore(packets, start, true);
    j->origin = start;
    std::size_t k1 = k0;
    if (packets[k0].pts < start - kSlack) {
        k1 = k0 + 1;
        while (k1 < packets.size() && !(packets[k1].clean && packets[k1].pts > start))
            ++k1;
        j->headFeedFrom = k0;
        j->headUntil = k1 < packets.size() ? std::min(packets[k1].pts, j->end) : j->end;
        j->headFeedEnd = k1 < packets.size() && packets[k1].pts < j->end ? PastLeading(packets, k1)
                                                                         : packets.size();
    } else {
        j->headUntil = j->origin;
    }
    if (k1 >= packets.size() || packets[k1].pts >= j->end - kSlack) {
        j->copyFrom = j->copyEnd = j->tailFeedFrom = j->feedEnd = packets.size();
        j->tailFrom = j->end;
        return;
    }
    j->copyFrom = k1;
    j->dropBefore = packets[k1].pts;
    j->copyEnd = CompleteRun(packets, k1, j->end, &j->tailFrom);
    j->tailFeedFrom = j->copyFrom;
    for (std::size_t i = j->copyFrom; i < j->copyEnd; ++i)
        if (packets[i].clean)
            j->tailFeedFrom = i;
    j->feedEnd = packets.size();
}

// The key-frame path: from the key frame at or before the mark, in decode order up to the last
// packet presented before the end (anchors shown later come along).
void KeyFrameJoints(const Packets &packets, gint64 start, CopyJoints *j)
{
    const std::size_t k0 = KeyAtOrBefore(packets, start);
    j->origin = std::min(packets[k0].pts, start);
    j->headUntil = j->origin;
    j->copyFrom = k0;
    j->dropBefore = packets[k0].pts;
    j->copyEnd = k0;
    for (std::size_t i = k0; i < packets.size(); ++i)
        if (packets[i].pts < j->end - kSlack)
            j->copyEnd = i + 1;
    j->tailFrom = j->end;
    j->tailFeedFrom = j->feedEnd = j->copyEnd;
}

} // namespace

namespace {

// Decoding from the key frame before the mark for a picture that is encoded anew.
void EncodeJoints(const Packets &packets, gint64 start, CopyJoints *j)
{
    j->origin = start;
    j->headFeedFrom = KeyAtOrBefore(packets, start);
    j->headFeedEnd = packets.size();
    j->headUntil = j->end;
    j->copyFrom = j->copyEnd = j->tailFeedFrom = j->feedEnd = packets.size();
    j->tailFrom = j->end;
}

gint64 AudioFrom(const Packets &packets, gint64 origin)
{
    gint64 from = packets.empty() ? origin : packets.front().pts;
    for (const ScannedPacket &p : packets)
        if (p.pts <= origin + kSlack)
            from = std::max(from, p.pts);
    return from;
}

// Why the writer cannot take a copied stream; empty when it can.
std::string Refusal(const SectionCopyRequest &request, const SourceScan &scan)
{
    const std::string container = ContainerName(request.muxer);
    if (request.video == StreamWay::Copy && !scan.video.caps.empty()
        && !WriterTakes(request.muxer, scan.video.caps))
        return container + " cannot hold " + CodecName(scan.video.caps)
               + " pictures copied from the source.";
    if (request.audio == StreamWay::Copy && !scan.audio.caps.empty()
        && !WriterTakes(request.muxer, scan.audio.caps))
        return container + " cannot hold " + CodecName(scan.audio.caps)
               + " sound copied from the source.";
    return {};
}

void LogJoints(const CopyJoints &j)
{
    GST_INFO("picture from %" GST_STIME_FORMAT
             " (%s, encoder %s): head %d pictures up to %" GST_STIME_FORMAT
             ", %d copied (packets %zu-%zu), tail %d from %" GST_STIME_FORMAT
             ", %d past the end; sound from %" GST_STIME_FORMAT,
             GST_STIME_ARGS(j.origin), j.exact ? "exact" : "from a key frame",
             j.encoder.empty() ? "none" : j.encoder.c_str(), j.headFrames,
             GST_STIME_ARGS(j.headUntil), j.copiedFrames, j.copyFrom, j.copyEnd, j.tailFrames,
             GST_STIME_ARGS(j.tailFrom), j.framesAfterEnd, GST_STIME_ARGS(j.audioFrom));
}

// Joints for the picture as the request wants it.
void PlanPicture(const SectionCopyRequest &request, const SourceScan &scan, CopyJoints *j,
                 SectionCopyPlan *plan)
{
    const Packets &packets = scan.video.packets;
    const gint64 start = request.start * 100;
    j->frameDuration = FrameDuration(scan.video.caps, packets);
    if (request.video == StreamWay::Encode) {
        EncodeJoints(packets, start, j);
        return;
    }
    j->encoder = HeadEncoderFor(scan.video.caps);
    j->exact = !j->encoder.empty();
    if (j->exact)
        ExactJoints(packets, start, j);
    else
        KeyFrameJoints(packets, start, j);
    AssignDecodeTimes(packets, j);
    plan->exact = j->exact;
    plan->framesBeforeMark = int(Presented(packets, 0, packets.size(), j->origin, start).size());
    plan->headFrames = j->headFrames;
    plan->tailFrames = j->tailFrames;
    plan->copiedFrames = j->copiedFrames;
    plan->videoCodec = CodecName(scan.video.caps);
}

constexpr gint64 kUnreadable = -2;

// Scans the source from the key frame before the mark when the mark is far enough in, else
// (or when that reading holds no key frame at or before the mark) from its start. Returns
// where it was read from (-1: the start), kUnreadable with error set when it cannot be read.
gint64 ScanFrom(const SectionCopyRequest &request, SourceScan *scan, std::string *error)
{
    const gint64 start = request.start * 100;
    if (start >= kSeekFrom) {
        if (!ScanSource(request.input, request.end * 100, scan, error, start))
            return kUnreadable;
        const Packets &v = scan->video.packets;
        const bool soundOnly = scan->video.caps.empty() && !scan->audio.packets.empty();
        if (soundOnly || std::any_of(v.begin(), v.end(), [&](const ScannedPacket &p) {
                return p.clean && p.pts <= start + kSlack;
            }))
            return start;
        GST_INFO("no key frame at or before the mark after seeking; reading from the start");
        *scan = SourceScan{};
    }
    return ScanSource(request.input, request.end * 100, scan, error) ? -1 : kUnreadable;
}

} // namespace

std::string HeadEncoderFor(const std::string &caps)
{
    static const struct
    {
        const char *media;
        const char *encoder;
    } kEncoders[] = {{"video/x-h264", "x264enc"},
                     {"video/x-h265", "x265enc"},
                     {"video/x-vp8", "vp8enc"},
                     {"video/x-vp9", "vp9enc"}};
    for (const auto &entry : kEncoders) {
        if (caps.rfind(entry.media, 0) != 0)
            continue;
        gst::Object<GstElementFactory> factory(gst_element_factory_find(entry.encoder));
        return factory ? entry.encoder : "";
    }
    return {};
}

HRESULT PlanSectionCopy(const SectionCopyRequest &request, SectionCopyPlan *plan)
{
    if (!plan)
        return E_POINTER;
    *plan = SectionCopyPlan{};
    if (request.end <= request.start || request.start < 0) {
        plan->refusal = "The section is empty.";
        return E_INVALIDARG;
    }
    SourceScan scan;
    std::string error;
    const gint64 seek = ScanFrom(request, &scan, &error);
    if (seek == kUnreadable) {
        plan->refusal = error;
        return E_FAIL;
    }
    plan->refusal = Refusal(request, scan);
    if (!plan->refusal.empty()) {
        GST_INFO("refused: %s", plan->refusal.c_str());
        return E_FAIL;
    }
    auto joints = std::make_shared<CopyJoints>();
    joints->seekTarget = seek;
    joints->end = request.end * 100;
    joints->origin = request.start * 100;
    const bool picture = request.video != StreamWay::Leave && !scan.video.packets.empty();
    if (picture
        && !std::any_of(scan.video.packets.begin(), scan.video.packets.end(),
                        [&](const ScannedPacket &p) { return p.pts < joints->end; })) {
        plan->refusal = "The section lies past the source's last picture.";
        return E_FAIL;
    }
    if (picture)
        PlanPicture(request, scan, joints.get(), plan);
    if (request.audio == StreamWay::Copy && !scan.audio.caps.empty()) {
        joints->audioFrom = AudioFrom(scan.audio.packets, joints->origin);
        plan->audioCodec = CodecName(scan.audio.caps);
    } else if (request.audio == StreamWay::Encode && !scan.audio.caps.empty()) {
        joints->audioFrom = joints->origin;
    }
    joints->videoCaps = picture ? scan.video.caps : std::string();
    joints->audioCaps = request.audio != StreamWay::Leave ? scan.audio.caps : std::string();
    plan->videoStart = joints->origin / 100;
    // What the output holds, to the end of its last picture: the source may end before the end
    // mark, a key frame off the mark's frame grid ends a part of a frame past it, and on the
    // key-frame path pictures shown after the end that earlier ones are decoded from are
    // written too.
    gint64 last = joints->end;
    if (picture) {
        last = joints->origin;
        for (const ScannedPacket &p : scan.video.packets)
            if (p.pts >= joints->origin - kSlack && p.pts < joints->end - kSlack)
                last = std::max(last, p.pts + joints->frameDuration);
        last += joints->framesAfterEnd * joints->frameDuration;
    }
    plan->length = (last - joints->origin) / 100;
    LogJoints(*joints);
    plan->joints = std::move(joints);
    return S_OK;
}

} // namespace media
