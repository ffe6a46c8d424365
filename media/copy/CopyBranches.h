#pragma once

#include "media/copy/CopyJoints.h"
#include "media/copy/MarkSeek.h"
#include "media/copy/PacketScan.h"
#include "media/core/GstHandles.h"

#include <memory>
#include <mutex>

// The pieces of a section-copy graph: the router that hands the source's picture packets to
// the re-encoded head, the copy and the tail; the sound's window; the stamps the writer sees.
namespace media {

// What the probes of one copy graph share. Lives as long as the pipeline.
struct CopyState
{
    std::shared_ptr<const CopyJoints> joints;
    std::mutex mutex;
    // The demuxer's segments, under segmentMutex (read by the branches' threads).
    std::mutex segmentMutex;
    GstSegment videoSegment{};
    GstSegment audioSegment{};
    gint64 StreamTime(bool picture, GstClockTime t)
    {
        std::lock_guard lock(segmentMutex);
        return StreamTimeOf(picture ? videoSegment : audioSegment, t);
    }
    std::size_t packet = 0;  // the next picture packet's index in decode order
    gint64 base = 0;         // ns: written stamps are stream time - origin + base
    gst::Element headSource; // appsrc of the head's (or encoded picture's) decoder, if any
    gst::Element tailSource;
    gst::Element soundSource; // appsrc of the sound's decoder when the sound is encoded
    gst::Pad soundInput;      // what the sound pad is linked to
    bool soundEnded = false;
    // Reading from the key frame before the mark: the seek, and each stream's view of it.
    std::shared_ptr<MarkSeek> seek = std::make_shared<MarkSeek>();
    SeekGate videoGate;
    SeekGate audioGate;
    gst::Pad copyInput; // the copy branch's first sink pad, if any
    bool copyEnded = false;
    bool headEnded = false;
    bool tailEnded = false;
};

// Routes the packets of the source's picture pad (from the demuxer's parser).
void RoutePictures(GstPad *pad, const std::shared_ptr<CopyState> &state);

// Passes the sound packets from the one holding the origin to the end, then ends the stream.
void WindowSound(GstPad *pad, const std::shared_ptr<CopyState> &state);

// Keeps decoded pictures or sound presented in [from, to) (stream time of the source).
void TrimDecoded(GstPad *pad, const std::shared_ptr<CopyState> &state, gint64 from, gint64 to,
                 bool sound);

// Restamps what enters the writer through pad: one segment, stamps from the origin, decode
// times from the plan for the picture; one caps event (later ones describe the same stream).
void StampForWriter(GstPad *pad, const std::shared_ptr<CopyState> &state, bool picture);

// An appsrc the router pushes packets of caps into (from the demuxer's thread).
gst::Element MakePacketSource(const char *name, bool bounded);

// The re-encoding encoder for a head or tail in the source's codec, set for near-lossless
// pictures with no reordering; with the caps its output must have.
gst::Element MakeHeadEncoder(const std::string &factory, const std::string &sourceCaps,
                             gst::Caps *outputCaps);

// A parser for a coded stream of caps that writes parameter sets in-band at every key frame;
// identity when none is needed.
gst::Element MakeParser(const std::string &caps, bool inBand);

} // namespace media
