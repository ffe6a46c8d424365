#pragma once

#include "platform/Status.h"

#include <string>

// Every conversion checks what it wrote: the file is read back (a demux pass, no decoding) and
// each stream is compared with what was asked. A difference of more than one frame is a fault.

// What a written file should hold.
struct OutputExpectation
{
    REFERENCE_TIME length = 0; // the section, or where a stop ended it (100-ns units)
    int rateNum = 25;          // the video's frame rate
    int rateDen = 1;
    bool sound = false; // a sound stream was written
    // Where a stream's source ended by itself before length (a sound track shorter than the
    // picture), 100-ns units; -1 when it did not.
    REFERENCE_TIME videoSourceEnd = -1;
    REFERENCE_TIME soundSourceEnd = -1;
};

// What the check found.
struct OutputCheckResult
{
    bool readable = false;      // the file could be read back
    bool matches = false;       // every figure within one frame of what was asked
    std::string differences;    // "the video lasts 15.40 s instead of 120.00 s; ..."
    std::string figures;        // what the file holds, for messages
    REFERENCE_TIME written = 0; // how much the file holds (its longest stream), 100-ns units
    long long frames = 0;       // video frames in the file
};

// Frames of a section of length on the rate's grid (rounded down, within 100 ns counting as
// reaching the next frame), as the render engine places them.
long long FramesIn(REFERENCE_TIME length, int rateNum, int rateDen);
// Where frame n starts, 100-ns units (rounded down).
REFERENCE_TIME FrameTime(long long frames, int rateNum, int rateDen);

// Reads path back and compares it with what was asked.
OutputCheckResult CheckWrittenFile(const std::string &path, const OutputExpectation &expected);

// Seconds with two decimals, "15.40 s".
std::string SecondsText(REFERENCE_TIME t);
