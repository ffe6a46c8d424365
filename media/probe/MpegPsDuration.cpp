#include "media/probe/MpegPsDuration.h"

#include "media/probe/MpegStamps.h"

namespace media {

std::optional<std::int64_t> MpegPsDuration(const std::string &path, std::int64_t frameNs)
{
    return FileStampSpan(path, &ProgramStreamStamps, frameNs);
}

} // namespace media
