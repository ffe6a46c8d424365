#pragma once

#include <gst/gst.h>

#include <string>
#include <vector>

// The packets of a source's first picture and sound streams as its demuxer and parser give
// them, in decode order, without decoding anything.
namespace media {

struct ScannedPacket
{
    gint64 pts = -1; // ns, stream time (the source's own clock from its start); -1 unknown
    gint64 dts = -1;
    gint64 duration = -1;
    bool key = false;
    bool clean = false; // a key frame a decode can start at and a copy be joined to (an IDR)
};

struct ScannedStream
{
    std::string caps; // parsed caps as text; empty when the source has no such stream
    std::vector<ScannedPacket> packets;
    bool reachedEnd = false; // the stream ended before the scan's limit
};

struct SourceScan
{
    ScannedStream video;
    ScannedStream audio;
    gint64 lengthNs = -1; // the demuxer's length of the file; -1 unknown
    std::string demuxer;  // the demuxer's factory name; empty for an elementary stream
};

// Reads the source until every picture with a presentation time before untilNs has gone by
// (0: only the caps and the first packets). False with a reason when the source is unreadable.
// With seekNs >= 0 the reading starts at the key frame at or before that time (see MarkSeek).
bool ScanSource(const std::string &path, gint64 untilNs, SourceScan *scan, std::string *error,
                gint64 seekNs = -1);

// Stream time of t in segment, signed (a decode time may lie before the stream's start).
gint64 StreamTimeOf(const GstSegment &segment, GstClockTime t);

} // namespace media
