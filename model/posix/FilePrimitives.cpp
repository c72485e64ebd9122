// The system calls of a safe save on POSIX.

#include "FilePrimitives.h"

#include <cerrno>
#include <climits>
#include <csignal>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace filesafety::sys {

namespace {

void FactsOfStat(const struct stat &st, Facts &facts)
{
    facts.regular = S_ISREG(st.st_mode);
    facts.mode = st.st_mode & 0777;
    facts.links = st.st_nlink;
    facts.device = st.st_dev;
    facts.index = st.st_ino;
    facts.owner = st.st_uid;
    facts.group = st.st_gid;
}

} // namespace

bool IsSeparator(char c)
{
    return c == '/';
}

bool IsAbsolute(const std::string &path)
{
    return !path.empty() && IsSeparator(path[0]);
}

bool ReadLink(const std::string &at, bool &isLink, std::string &next)
{
    struct stat st;
    isLink = ::lstat(at.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    if (!isLink)
        return true;
    char text[PATH_MAX];
    const ssize_t n = ::readlink(at.c_str(), text, sizeof text);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof text)
        return false;
    next.assign(text, static_cast<std::size_t>(n));
    return true;
}

bool ExamineOpen(int fd, Facts &facts)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return false;
    FactsOfStat(st, facts);
    return true;
}

bool ExaminePath(const std::string &path, Facts &facts, bool follow)
{
    struct stat st;
    if ((follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0)
        return false;
    FactsOfStat(st, facts);
    return true;
}

long long FileSize(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

bool MayOpen(const std::string &path, bool write)
{
    return ::faccessat(AT_FDCWD, path.c_str(), write ? W_OK : R_OK, AT_EACCESS) == 0;
}

bool OwnedByUs(const std::string &, const Facts &facts)
{
    return facts.owner == ::geteuid();
}

long CurrentPid()
{
    return static_cast<long>(::getpid());
}

bool ProcessRuns(long pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

int OpenForReading(const std::string &path)
{
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

// Created with mode less the umask.
int CreateNew(const std::string &path, mode_t mode)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
}

int OpenForWriting(const std::string &path)
{
    return ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
}

long long ReadSome(int fd, void *data, std::size_t size)
{
    return ::read(fd, data, size);
}

long long WriteSome(int fd, const void *data, std::size_t size)
{
    return ::write(fd, data, size);
}

long long Position(int fd)
{
    return ::lseek(fd, 0, SEEK_CUR);
}

bool TruncateOpen(int fd, long long end)
{
    return ::ftruncate(fd, static_cast<off_t>(end)) == 0;
}

bool SyncOpen(int fd)
{
    return ::fsync(fd) == 0;
}

bool CloseOpen(int fd)
{
    return ::close(fd) == 0;
}

bool FitsSizeLimit(int fd)
{
    struct stat st;
    struct rlimit limit;
    return ::fstat(fd, &st) != 0 || ::getrlimit(RLIMIT_FSIZE, &limit) != 0 ||
           limit.rlim_cur == RLIM_INFINITY || static_cast<rlim_t>(st.st_size) <= limit.rlim_cur;
}

// Only root may give a file away; anyone else's replacement keeps them as
// owner and takes over the group where they may.
bool TakeOver(int fd, const Facts &existing)
{
    const auto uid = static_cast<uid_t>(existing.owner);
    const auto gid = static_cast<gid_t>(existing.group);
    [[maybe_unused]] const bool kept =
        ::fchown(fd, uid, gid) == 0 || ::fchown(fd, static_cast<uid_t>(-1), gid) == 0;
    return true;
}

bool SetModeOpen(int fd, mode_t mode)
{
    return ::fchmod(fd, mode) == 0;
}

bool ApplyReadOnly(const std::string &, mode_t)
{
    return true;
}

bool AllowReplacing(const std::string &)
{
    return true;
}

bool RenameOver(const std::string &from, const std::string &to, bool)
{
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool Remove(const std::string &path)
{
    return ::unlink(path.c_str()) == 0;
}

bool SyncFolder(const std::string &dir)
{
    int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool synced = false;
    if (dirFd >= 0) {
        synced = ::fsync(dirFd) == 0;
        ::close(dirFd);
    }
    return synced;
}

void RemoveOwnFiles(const std::string &folder, const std::function<bool(const std::string &name)> &stale)
{
    DIR *dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        if (!stale(entry->d_name))
            continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == ::geteuid())
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

} // namespace filesafety::sys
