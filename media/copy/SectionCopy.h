#pragma once

#include "media/core/Filter.h"
#include "platform/Status.h"

#include <cstdint>
#include <memory>
#include <string>

// Writes a section of a file without decoding what can be kept as it is: copied packets, with
// the pictures from the start mark to the next key frame re-encoded in the source's own codec
// where an encoder for it is installed (H.264, H.265, VP8, VP9), else starting at the key frame
// at or before the mark.
namespace media {

class ConversionGraph;
struct CopyJoints;

// The source's first picture and sound streams as a writer would take them (parsed caps, as
// text); empty for a stream the source lacks.
struct SourceStreams
{
    std::string videoCaps;
    std::string audioCaps;
    // What the demuxer and parsers say without decoding: the length (ns, -1 unknown), and the
    // picture's size and rate (0 unknown; a rate of 0/1 is a stream that states none).
    std::int64_t lengthNs = -1;
    int width = 0;
    int height = 0;
    int rateNum = 0;
    int rateDen = 1;
    bool exactLength = false; // the length is the container's own, not an estimate
};

// Reads what the source holds without decoding it. False with a reason when it cannot be read.
bool ReadSourceStreams(const std::string &path, SourceStreams *streams, std::string *error);

// Whether the writer (muxer factory) takes the stream as it is (caps as above).
bool WriterTakes(const std::string &muxer, const std::string &caps);

// Whether an installed decoder takes the stream (caps as above), from the registry alone.
bool DecoderFor(const std::string &caps);

// "H.264", "MPEG-2 video", "AAC" ...: the codec of caps as a user names it.
std::string CodecName(const std::string &caps);

// "MP4", "MKV", "AVI", "Ogg", "WMV/ASF" ...: the container a writer (muxer factory) writes, as
// users name it; the factory's own name for one it does not know.
std::string ContainerName(const std::string &muxer);

enum class StreamWay {
    Leave,  // not written
    Copy,   // packets as they are (a smart head where the codec allows)
    Encode, // decoded and encoded by the given encoder
};

struct SectionCopyRequest
{
    std::string input;
    std::string output; // the file the writer writes
    std::string muxer;  // the writer's factory
    REFERENCE_TIME start = 0; // the marks, 100-ns units from the source's start
    REFERENCE_TIME end = 0;
    StreamWay video = StreamWay::Copy;
    StreamWay audio = StreamWay::Copy;
    // For StreamWay::Encode: the bound, configured encoders. A picture that is encoded gets the
    // frame size, rate and resize mode below (0 = the source's); a copied one keeps the source's.
    Filter videoEncoder;
    Filter audioEncoder;
    int width = 0;
    int height = 0;
    double frameRate = 0;
    int stretchMode = 0;
};

struct SectionCopyPlan
{
    // Non-empty when the copy cannot be done; names the container and the codec.
    std::string refusal;
    // Where the written picture starts in the source: the mark when exact, else the key frame
    // at or before it.
    REFERENCE_TIME videoStart = 0;
    bool exact = true;
    int framesBeforeMark = 0;    // pictures between videoStart and the mark
    REFERENCE_TIME length = 0;   // what the output will hold
    std::string videoCodec;      // CodecName of the copied streams
    std::string audioCodec;
    // Pictures re-encoded at the start (mark to next key frame) and at the end (those a copy
    // cannot end on exactly), and copied as they are.
    int headFrames = 0;
    int tailFrames = 0;
    int copiedFrames = 0;
    // The joints the graph is built on; set by PlanSectionCopy.
    std::shared_ptr<const CopyJoints> joints;
};

// Decides how the section is written before anything starts.
HRESULT PlanSectionCopy(const SectionCopyRequest &request, SectionCopyPlan *plan);

// The running graph that writes it: its events, written position and stop are those of every
// conversion graph (a stop leaves a complete file).
HRESULT BuildSectionCopy(const SectionCopyRequest &request, const SectionCopyPlan &plan,
                         std::shared_ptr<ConversionGraph> *graph);

} // namespace media
