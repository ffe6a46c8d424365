#include "convert/OutputFile.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kPrefix[] = ".clipwright-";
const char kSuffix[] = ".part";
// A temporary younger than this may be between its creation and its lock.
constexpr std::time_t kCreationGraceSeconds = 2;

std::string FolderOf(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Join(const std::string &folder, const std::string &name)
{
    return folder == "/" ? "/" + name : folder + "/" + name;
}

std::string RandomTag()
{
    static const char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937 generator(std::random_device{}() ^ static_cast<unsigned>(getpid()));
    std::string tag;
    for (int i = 0; i < 6; ++i)
        tag += kDigits[generator() % (sizeof kDigits - 1)];
    return tag;
}

std::string KindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISFIFO(mode))
        return "a named pipe (FIFO)";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

bool Exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

void SyncFolder(const std::string &folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd); // best effort: some file systems cannot sync a folder
        close(fd);
    }
}

} // namespace

std::string OutputFile::Refusal(const std::string &target)
{
    struct stat st;
    if (stat(target.c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    const std::string kind = KindOf(st.st_mode);
    return "The output file " + target + " is " + kind
           + (kind == "not a regular file" ? "" : ", not a regular file")
           + "; only a regular file is replaced.";
}

bool OutputFile::IsTemporaryName(const std::string &name)
{
    const std::size_t prefix = sizeof kPrefix - 1, suffix = sizeof kSuffix - 1;
    return name.size() > prefix + suffix && name.compare(0, prefix, kPrefix) == 0
           && name.compare(name.size() - suffix, suffix, kSuffix) == 0;
}

int OutputFile::RemoveStaleTemporaries(const std::string &folder)
{
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return 0;
    int removed = 0;
    const std::time_t now = std::time(nullptr);
    while (const dirent *entry = readdir(dir)) {
        if (!IsTemporaryName(entry->d_name))
            continue;
        const std::string path = Join(folder, entry->d_name);
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat st;
        // A lock that can be taken has no living owner.
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && now - st.st_mtime >= kCreationGraceSeconds
            && flock(fd, LOCK_EX | LOCK_NB) == 0 && unlink(path.c_str()) == 0)
            ++removed;
        close(fd);
    }
    closedir(dir);
    return removed;
}

// A link to a file: the link stays, the file it names is replaced. A link to a file that does
// not exist yet names where the new one goes.
static std::string FollowLinks(std::string target)
{
    struct stat st;
    for (int links = 0; links < 40 && lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
         ++links) {
        if (char *real = realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
            break;
        }
        char named[4096];
        const ssize_t size = readlink(target.c_str(), named, sizeof named - 1);
        if (size <= 0)
            break;
        const std::string next(named, std::size_t(size));
        target = next[0] == '/' ? next : Join(FolderOf(target), next);
    }
    return target;
}

// Room for the prefix, tag and suffix within a name's 255 bytes, cut between UTF-8 sequences.
static std::string ShortenedName(std::string name)
{
    if (name.size() <= 200)
        return name;
    name.resize(200);
    while (!name.empty() && (static_cast<unsigned char>(name.back()) & 0xC0) == 0x80)
        name.pop_back(); // not inside a UTF-8 sequence
    if (!name.empty() && (static_cast<unsigned char>(name.back()) & 0x80))
        name.pop_back();
    return name;
}

std::unique_ptr<OutputFile> OutputFile::Create(const std::string &target, bool replace,
                                               std::string *error)
{
    std::unique_ptr<OutputFile> file(new OutputFile);
    file->m_replace = replace;
    file->m_target = target;
    file->m_target = FollowLinks(target);
    struct stat st;
    const std::string folder = FolderOf(file->m_target);
    RemoveStaleTemporaries(folder);

    const std::string name = ShortenedName(NameOf(file->m_target));
    int fd = -1;
    int lastError = 0;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        file->m_temporary = Join(folder, kPrefix + name + "-" + RandomTag() + kSuffix);
        fd = open(file->m_temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        lastError = errno;
        if (fd < 0 && lastError != EEXIST)
            break;
    }
    if (fd < 0) {
        if (error)
            *error = "A temporary file could not be made in " + folder + ": "
                     + std::strerror(lastError) + ".";
        file->m_temporary.clear();
        return nullptr;
    }
    file->m_lock = fd;
    flock(fd, LOCK_EX | LOCK_NB);
    // A replaced file keeps its permissions (and its owner, where we may give it).
    if (replace && stat(file->m_target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        file->m_keptMode = int(st.st_mode & 07777);
        file->m_keptOwner = int(st.st_uid);
        file->m_keptGroup = int(st.st_gid);
    }
    return file;
}

OutputFile::~OutputFile()
{
    Discard();
}

void OutputFile::Discard()
{
    if (!m_committed && !m_temporary.empty())
        unlink(m_temporary.c_str());
    m_temporary.clear();
    if (m_lock >= 0)
        close(m_lock);
    m_lock = -1;
}

void OutputFile::StartWriteback()
{
    if (m_lock >= 0 && !m_committed)
        sync_file_range(m_lock, 0, 0, SYNC_FILE_RANGE_WRITE);
}

bool OutputFile::Commit(std::string *error)
{
    auto fail = [&](const std::string &text) {
        if (error)
            *error = text;
        Discard();
        return false;
    };
    if (m_committed)
        return true;
    if (m_temporary.empty())
        return fail("The output file " + m_target + " was not written.");
    // The new file is on the disk before it takes the old one's name.
    if (fsync(m_lock) != 0 && errno != EINVAL && errno != EROFS)
        return fail("The output file " + m_target
                    + " could not be written to the disk: " + std::strerror(errno) + ".");
    if (const std::string refusal = Refusal(m_target); !refusal.empty())
        return fail(refusal);
    if (m_keptMode >= 0) {
        fchmod(m_lock, mode_t(m_keptMode));
        if (fchown(m_lock, uid_t(m_keptOwner), gid_t(m_keptGroup)) != 0) {
            // Only the owner's own files, or root, can keep it; not an error.
        }
    }
    int result = 0;
    if (m_replace) {
        result = rename(m_temporary.c_str(), m_target.c_str());
    } else {
        result = renameat2(AT_FDCWD, m_temporary.c_str(), AT_FDCWD, m_target.c_str(),
                           RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without the no-replace rename.
            errno = EEXIST;
            result = Exists(m_target) ? -1 : rename(m_temporary.c_str(), m_target.c_str());
        }
        if (result != 0 && errno == EEXIST)
            return fail("The output file " + m_target
                        + " appeared during the conversion and was not replaced.");
    }
    if (result != 0)
        return fail("The output file " + m_target
                    + " could not be put in place: " + std::strerror(errno) + ".");
    m_committed = true;
    SyncFolder(FolderOf(m_target));
    Discard(); // releases the lock; the file is now the target
    return true;
}
