#include "FileSafety.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace filesafety {

namespace {

// The kernel's own limit on a chain of symbolic links.
constexpr int kMaxLinkHops = 40;

StepObserver *g_observer = nullptr;

// Tells the observer, if one is installed, that a step finished, and passes
// ok on so that the step's result can still be used where it is reported.
// The observer never disturbs the errno a failure message is made from.
bool Report(Step step, const std::string &path, bool ok, const std::string *to = nullptr)
{
    if (g_observer) [[unlikely]] {
        const int code = errno;
        g_observer->Done(step, path, to ? *to : std::string(), ok);
        errno = code;
    }
    return ok;
}

bool Fail(std::string &error, const std::string &what)
{
    const int code = errno;
    error = what + ": " + std::strerror(code);
    return false;
}

std::string DirectoryOf(const std::string &path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string &path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TemporaryName(const std::string &target, pid_t pid, int attempt)
{
    return target + ".tmp" + std::to_string(pid) + "-" + std::to_string(attempt);
}

// Reads a run of decimal digits from the front of text; false when there is
// none or it is too long to be a pid or an attempt number.
bool TakeNumber(std::string_view &text, long &value)
{
    std::size_t n = 0;
    value = 0;
    while (n < text.size() && text[n] >= '0' && text[n] <= '9') {
        if (++n > 9)
            return false;
        value = value * 10 + (text[n - 1] - '0');
    }
    text.remove_prefix(n);
    return n > 0;
}

// The pid in name when it is exactly prefix + pid + "-" + attempt, else 0.
pid_t TemporaryOwner(std::string_view name, const std::string &prefix)
{
    if (name.substr(0, prefix.size()) != prefix)
        return 0;
    name.remove_prefix(prefix.size());
    long pid = 0, attempt = 0;
    if (!TakeNumber(name, pid) || name.empty() || name[0] != '-')
        return 0;
    name.remove_prefix(1);
    if (!TakeNumber(name, attempt) || !name.empty())
        return 0;
    return static_cast<pid_t>(pid);
}

bool ProcessRuns(pid_t pid)
{
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

// Opens a fresh temporary file beside target, created with mode less the
// umask, so that it is never readable by more people than the file will be,
// not even for the moment before its permissions are set.
int CreateTemporaryBeside(const std::string &target, std::string &tmp, mode_t mode)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmp = TemporaryName(target, ::getpid(), attempt);
        int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// The replacement takes over the file's owner, group and permissions. Only
// root may give a file away; anyone else's replacement keeps them as owner.
bool PrepareTemporary(int fd, const struct stat *existing, std::optional<mode_t> mode)
{
    if (existing) {
        [[maybe_unused]] const bool kept = ::fchown(fd, existing->st_uid, existing->st_gid) == 0 ||
                                           ::fchown(fd, static_cast<uid_t>(-1), existing->st_gid) == 0;
        if (!mode)
            mode = existing->st_mode & 0777;
    }
    return !mode || ::fchmod(fd, *mode) == 0;
}

// A file nobody may write was made read-only on purpose, which holds for root
// too, whom the kernel lets write anything. A file we cannot read may hold
// what we never saw, so it is not replaced either.
bool MayReplace(const std::string &target, const struct stat &st, std::string &error)
{
    if (!S_ISREG(st.st_mode)) {
        error = target + " is not a regular file";
        return false;
    }
    if ((st.st_mode & 0222) == 0) {
        error = target + " is read-only";
        return false;
    }
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return Fail(error, target + " may not be written");
    if (::faccessat(AT_FDCWD, target.c_str(), R_OK, AT_EACCESS) != 0)
        return Fail(error, target + " cannot be read");
    return true;
}

void SyncDirectory(const std::string &dir)
{
    int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool synced = false;
    if (dirFd >= 0) {
        synced = ::fsync(dirFd) == 0;
        ::close(dirFd);
    }
    Report(Step::SyncFolder, dir, synced);
}

// Finishes a temporary file written beside target: flushed to disk, then
// renamed over target. On any failure the temporary goes and target stays.
bool CommitTemporary(int fd, const std::string &tmp, const std::string &target, bool written,
                     std::string &error)
{
    Report(Step::Write, tmp, written);
    bool ok = written && Report(Step::SyncFile, tmp, ::fsync(fd) == 0);
    ok = Report(Step::Close, tmp, ::close(fd) == 0) && ok;
    ok = ok && Report(Step::Rename, tmp, ::rename(tmp.c_str(), target.c_str()) == 0, &target);
    if (!ok) {
        Fail(error, "could not write " + target);
        Report(Step::Remove, tmp, ::unlink(tmp.c_str()) == 0);
        return false;
    }
    // Make the rename itself durable; the data is already safe either way.
    SyncDirectory(DirectoryOf(target));
    return true;
}

// Not atomic: a crash half way leaves a damaged file. It is used only where a
// replacement would lose every change or cut the file off from its other names.
bool WriteInPlace(const std::string &target, const Producer &produce, std::optional<mode_t> mode,
                  std::string &error)
{
    int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (!Report(Step::OpenInPlace, target, fd >= 0))
        return Fail(error, "could not open " + target);
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    // Cut off part way by the file-size limit (what a full disk looks like
    // to a process) the file would be half new and half old. A file is
    // rewritten at much its own size, so a limit below that refuses at once.
    struct rlimit limit;
    if (ok && ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<rlim_t>(st.st_size) > limit.rlim_cur) {
        Report(Step::Close, target, ::close(fd) == 0);
        errno = EFBIG;
        return Fail(error, "could not write " + target + " in place");
    }
    // The new contents must never sit in a file wider open than asked for.
    ok = ok && (!mode || ::fchmod(fd, *mode) == 0);
    ok = ok && Report(Step::Write, target, produce(fd));
    const off_t end = ok ? ::lseek(fd, 0, SEEK_CUR) : -1;
    ok = end >= 0 && Report(Step::Truncate, target, ::ftruncate(fd, end) == 0) &&
         Report(Step::SyncFile, target, ::fsync(fd) == 0);
    ok = Report(Step::Close, target, ::close(fd) == 0) && ok;
    return ok || Fail(error, "could not write " + target + " in place");
}

bool CopyStream(int in, int out)
{
    unsigned char buffer[1 << 16];
    for (;;) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        if (!WriteAll(out, buffer, static_cast<std::size_t>(n)))
            return false;
    }
}

} // namespace

StepObserver *SetStepObserver(StepObserver *observer)
{
    StepObserver *previous = g_observer;
    g_observer = observer;
    return previous;
}

int OpenRegularFile(const std::string &path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

bool WriteAll(int fd, const void *data, std::size_t size)
{
    auto *p = static_cast<const unsigned char *>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::size_t ReadFull(int fd, void *data, std::size_t size, bool *error)
{
    auto *p = static_cast<unsigned char *>(data);
    std::size_t got = 0;
    while (got < size) {
        ssize_t n = ::read(fd, p + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && error)
            *error = true;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

std::string FinalTarget(const std::string &path)
{
    std::string at = path;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat st;
        if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return at;
        char text[PATH_MAX];
        const ssize_t n = ::readlink(at.c_str(), text, sizeof text);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof text)
            return {};
        const std::string next(text, static_cast<std::size_t>(n));
        if (next[0] == '/')
            at = next;
        else
            at = (DirectoryOf(at) == "/" ? "" : DirectoryOf(at)) + "/" + next;
    }
    errno = ELOOP;
    return {};
}

bool ReplaceContents(const std::string &path, const Producer &produce, std::optional<mode_t> mode,
                     std::string &error, bool keepHardLinks)
{
    // The temporary goes beside the real target, so that the rename replaces
    // the file a link names and leaves the link itself as the user made it.
    const std::string target = FinalTarget(path);
    if (target.empty())
        return Fail(error, "could not follow the links at " + path);
    struct stat st;
    const bool exists = ::lstat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT)
        return Fail(error, "could not examine " + target);
    if (exists && !MayReplace(target, st, error))
        return false;
    if (exists && st.st_nlink > 1 && keepHardLinks)
        return WriteInPlace(target, produce, mode, error);
    std::string tmp;
    int fd = CreateTemporaryBeside(target, tmp, mode ? *mode : exists ? st.st_mode & 0777 : 0666);
    if (fd < 0 && exists && (errno == EACCES || errno == EPERM))
        return WriteInPlace(target, produce, mode, error); // a read-only folder with a writable file
    if (fd < 0)
        return Fail(error, "could not create a temporary file beside " + target);
    Report(Step::CreateTemporary, tmp, true);
    if (!PrepareTemporary(fd, exists ? &st : nullptr, mode)) {
        Fail(error, "could not set the permissions of " + tmp);
        Report(Step::Close, tmp, ::close(fd) == 0);
        Report(Step::Remove, tmp, ::unlink(tmp.c_str()) == 0);
        return false;
    }
    return CommitTemporary(fd, tmp, target, produce(fd), error);
}

bool CopyContents(const std::string &from, const std::string &to, std::string &error)
{
    int in = OpenRegularFile(from);
    if (in < 0)
        return Fail(error, "could not read " + from);
    struct stat st;
    if (::fstat(in, &st) != 0) {
        Fail(error, "could not examine " + from);
        ::close(in);
        return false;
    }
    // A backup the user narrowed stays as narrow. A backup that is a second
    // name of the source (an older version made it so) becomes a file of its
    // own: a copy onto itself would leave no copy at all.
    mode_t mode = st.st_mode & 0777;
    bool sameFile = false;
    struct stat old;
    if (const std::string target = FinalTarget(to); !target.empty() && ::stat(target.c_str(), &old) == 0) {
        sameFile = old.st_dev == st.st_dev && old.st_ino == st.st_ino;
        if (!sameFile && S_ISREG(old.st_mode))
            mode &= old.st_mode & 0777;
    }
    const bool ok = ReplaceContents(
        to, [in](int out) { return CopyStream(in, out); }, mode, error, !sameFile);
    ::close(in);
    return ok;
}

void RemoveStaleTemporaries(const std::string &path)
{
    const std::string target = FinalTarget(path);
    if (target.empty())
        return;
    DIR *dir = ::opendir(DirectoryOf(target).c_str());
    if (!dir)
        return;
    const std::string prefix = NameOf(target) + ".tmp";
    while (const dirent *entry = ::readdir(dir)) {
        const pid_t owner = TemporaryOwner(entry->d_name, prefix);
        // Our own pid is a save in progress, never a stale one.
        if (owner <= 0 || owner == ::getpid() || ProcessRuns(owner))
            continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == ::geteuid())
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

} // namespace filesafety
