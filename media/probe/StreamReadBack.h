#pragma once

#include "platform/Status.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// What a written file holds, read back with one demux pass: the container is parsed and every
// stream's packets are counted and timed, nothing is decoded. Used to check each conversion's
// output against what was asked.
namespace media {

struct WrittenStream
{
    bool video = false;
    bool audio = false;
    std::string type;          // media type, e.g. "video/x-h264"
    REFERENCE_TIME first = -1; // 100-ns units: the earliest presentation time; -1 none
    REFERENCE_TIME end = -1;   // 100-ns units: where the last packet ends; -1 none
    std::uint64_t packets = 0; // frames for a video stream
    // 100-ns units: the longest step between two pictures in presentation order, and where it
    // starts; -1 when unknown (not a video stream, or a packet without a stamp).
    REFERENCE_TIME longestStep = -1;
    REFERENCE_TIME longestStepAt = -1;
};

struct WrittenFile
{
    std::vector<WrittenStream> streams;
};

// Reads path's streams. False with *error (why, without the path) when the file cannot be read
// to its end within the timeout.
bool ReadBackStreams(const std::string &path, WrittenFile *file, std::string *error,
                     std::chrono::milliseconds timeout = std::chrono::seconds(120));

} // namespace media
