#include "convert/media/MpegPsDuration.h"

#include "convert/media/MpegStamps.h"

namespace media {

std::optional<std::int64_t> MpegPsDuration(const std::string &path, std::int64_t frameNs)
{
    return FileStampSpan(path, &ProgramStreamStamps, frameNs);
}

} // namespace media
