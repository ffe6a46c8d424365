#pragma once

#include "platform/Status.h"

#include <string>

// The media platform layer: the only code that talks to GStreamer. Everything above it sees
// graphs with HRESULT-style steps, positions in 100-ns units and posted graph events.
namespace media {

// What a caller needs started: playback graphs only, or the editing services as well.
enum class MediaServices { Playback, All };

// Starts GStreamer (and the editing services, for All) once per process. On failure returns
// false and, when given, the reason.
bool InitializeMediaPlatform(std::string *error = nullptr,
                             MediaServices services = MediaServices::All);

// Binds the decoders' libraries ahead, on a thread of its own, for a caller about to decode
// pictures (a preview, a conversion); a probe or a copy that decodes nothing does not pay for
// them. Starts GStreamer when it has not started.
void PrepareDecoders();

// Hands the memory a finished job freed back to the system. A job's threads free pictures and
// buffers in heaps the allocator otherwise keeps for later; between the files of a batch that
// would let the resident size creep up from file to file.
void ReleaseFreedMemory();

// Graph event codes.
constexpr long EC_COMPLETE = 0x01;
constexpr long EC_USERABORT = 0x02;
constexpr long EC_ERRORABORT = 0x03;

} // namespace media
