#include "media/probe/MpegTsDuration.h"

#include "media/probe/MpegStamps.h"

namespace media {

std::optional<std::int64_t> MpegTsDuration(const std::string &path, std::int64_t frameNs)
{
    return FileStampSpan(path, &TransportStreamStamps, frameNs);
}

} // namespace media
