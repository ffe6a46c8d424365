#include "job/InputFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

InputFileCheck Refused(std::string reason, bool system)
{
    return {false, std::move(reason), system};
}

} // namespace

InputFileCheck InspectInputFile(const std::string &path)
{
    struct stat info = {};
    if (stat(path.c_str(), &info) != 0) {
        const int error = errno;
        // A link that leads nowhere reads "No such file or directory"; say which it is.
        struct stat link = {};
        if (error == ENOENT && lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
            return Refused("No such file or directory (a symbolic link to a missing file)", true);
        return Refused(std::strerror(error), true);
    }
    if (S_ISDIR(info.st_mode))
        return Refused(std::strerror(EISDIR), true);
    if (!S_ISREG(info.st_mode))
        return Refused("not a regular file (a pipe, socket or device); give a video file", false);
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Refused(std::strerror(errno), true);
    close(fd);
    if (info.st_size == 0)
        return Refused("the file is empty", false);
    return {};
}
