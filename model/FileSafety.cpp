#include "FileSafety.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <climits>
#include <cstring>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include <aclapi.h>
#include <winioctl.h>
#else
#include <csignal>
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

// The rules of a save are written once, below the two sets of system calls
// they stand on: POSIX, and Win32 where the same steps have other names.
// Paths are UTF-8 everywhere; Windows gets them as UTF-16 for its W calls.

namespace filesafety {

namespace {

// The kernel's own limit on a chain of symbolic links.
constexpr int kMaxLinkHops = 40;

StepObserver *g_observer = nullptr;

// What a name or an open file is: the little of stat that the rules ask about.
struct Facts {
    bool regular = false;
    mode_t mode = 0; // the permission bits; on Windows 0444 when read-only, else 0666
    unsigned long long links = 1;
    unsigned long long device = 0, index = 0; // together: which file it is
#ifdef _WIN32
    DWORD attributes = 0;
#else
    uid_t uid = 0;
    gid_t gid = 0;
#endif
};

bool IsSeparator(char c)
{
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

std::size_t LastSeparator(const std::string &path)
{
#ifdef _WIN32
    return path.find_last_of("/\\");
#else
    return path.rfind('/');
#endif
}

std::string DirectoryOf(const std::string &path)
{
    std::size_t slash = LastSeparator(path);
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string NameOf(const std::string &path)
{
    std::size_t slash = LastSeparator(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsAbsolute(const std::string &path)
{
#ifdef _WIN32
    if (path.size() >= 2 && path[1] == ':')
        return true;
#endif
    return !path.empty() && IsSeparator(path[0]);
}

#ifdef _WIN32

// ---- Win32 ----------------------------------------------------------------

std::wstring Wide(const std::string &utf8)
{
    if (utf8.empty() || utf8.size() > INT_MAX)
        return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                        static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                          wide.data(), n);
    return wide;
}

std::string Narrow(const wchar_t *wide, int length = -1)
{
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return {};
    std::string utf8(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide, length, utf8.data(), n, nullptr, nullptr);
    if (length < 0)
        utf8.pop_back(); // the terminating NUL
    return utf8;
}

// The rules test errno, as the POSIX calls leave it; a failed Win32 call
// leaves the nearest errno to its own code.
int ErrnoOf(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_PRIVILEGE_NOT_HELD:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_CANT_RESOLVE_FILENAME:
        return ELOOP;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
    case ERROR_DIRECTORY:
        return EINVAL;
    default:
        return EIO;
    }
}

bool Win32(bool ok)
{
    if (!ok)
        errno = ErrnoOf(::GetLastError());
    return ok;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE OpenHandle(const std::string &path, DWORD access, DWORD flags)
{
    const std::wstring wide = Wide(path);
    HANDLE h = ::CreateFileW(wide.c_str(), access, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
    Win32(h != INVALID_HANDLE_VALUE);
    return h;
}

// A descriptor over a handle, which then belongs to the descriptor; -1 and
// the handle closed when there is none.
int DescriptorOf(HANDLE h, int flags)
{
    if (h == INVALID_HANDLE_VALUE)
        return -1;
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), flags | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(h);
        errno = EMFILE;
    }
    return fd;
}

HANDLE HandleOf(int fd)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

bool FactsOfHandle(HANDLE h, Facts &facts)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!Win32(::GetFileInformationByHandle(h, &info)))
        return false;
    // Only a symbolic link is a link; other reparse points (a cloud file's
    // placeholder, say) are the file itself.
    FILE_ATTRIBUTE_TAG_INFO tag{};
    const bool link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                      ::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) &&
                      tag.ReparseTag == IO_REPARSE_TAG_SYMLINK;
    facts.regular =
        ::GetFileType(h) == FILE_TYPE_DISK && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !link;
    facts.mode = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    facts.attributes = info.dwFileAttributes;
    facts.links = info.nNumberOfLinks;
    facts.device = info.dwVolumeSerialNumber;
    facts.index = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool ExamineOpen(int fd, Facts &facts)
{
    return FactsOfHandle(HandleOf(fd), facts);
}

bool ExaminePath(const std::string &path, Facts &facts, bool follow)
{
    HANDLE h = OpenHandle(path, FILE_READ_ATTRIBUTES,
                          FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT));
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = FactsOfHandle(h, facts);
    ::CloseHandle(h);
    return ok;
}

// The layout of a symbolic link's reparse data, as FSCTL_GET_REPARSE_POINT
// returns it.
struct SymbolicLinkData {
    ULONG tag;
    USHORT dataLength, reserved;
    USHORT substituteOffset, substituteLength, printOffset, printLength;
    ULONG flags;
    WCHAR buffer[1];
};

// Whether at is a symbolic link, and if so the text it holds; false when
// neither can be told.
bool ReadLink(const std::string &at, bool &isLink, std::string &next)
{
    isLink = false;
    HANDLE h =
        OpenHandle(at, FILE_READ_ATTRIBUTES, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
    if (h == INVALID_HANDLE_VALUE)
        return true; // a missing name is the end of the chain
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) ||
        !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || tag.ReparseTag != IO_REPARSE_TAG_SYMLINK) {
        ::CloseHandle(h);
        return true;
    }
    isLink = true;
    std::vector<unsigned char> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD got = 0;
    const bool read = ::DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                                        static_cast<DWORD>(data.size()), &got, nullptr);
    ::CloseHandle(h);
    if (!read || got < sizeof(SymbolicLinkData))
        return false;
    const auto *link = reinterpret_cast<const SymbolicLinkData *>(data.data());
    const std::size_t room = (got - offsetof(SymbolicLinkData, buffer)) / sizeof(WCHAR);
    const bool print = link->printLength > 0;
    const std::size_t offset = (print ? link->printOffset : link->substituteOffset) / sizeof(WCHAR);
    const std::size_t length = (print ? link->printLength : link->substituteLength) / sizeof(WCHAR);
    if (length == 0 || offset + length > room)
        return false;
    std::wstring text(link->buffer + offset, length);
    if (text.rfind(L"\\??\\", 0) == 0)
        text.erase(0, 4);
    next = Narrow(text.c_str(), static_cast<int>(text.size()));
    return !next.empty();
}

// The user may open the file in this way: its access list and its
// read-only flag both allow it.
bool MayOpen(const std::string &path, bool write)
{
    HANDLE h = OpenHandle(path, write ? GENERIC_WRITE : GENERIC_READ, FILE_FLAG_OPEN_REPARSE_POINT);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(h);
    return true;
}

long CurrentPid()
{
    return static_cast<long>(::GetCurrentProcessId());
}

bool ProcessRuns(long pid)
{
    HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!h)
        return ::GetLastError() == ERROR_ACCESS_DENIED; // someone else's, and running
    const bool runs = ::WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    ::CloseHandle(h);
    return runs;
}

// A new file, never one that exists; Windows has no umask: the folder's
// access list decides who may read it, and the mode only whether it is
// read-only, which ApplyMode sets once the file is in place.
int CreateNew(const std::string &path, mode_t)
{
    const std::wstring wide = Wide(path);
    HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                             CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    Win32(h != INVALID_HANDLE_VALUE);
    return DescriptorOf(h, _O_WRONLY);
}

int OpenForWriting(const std::string &path)
{
    return DescriptorOf(OpenHandle(path, GENERIC_WRITE, FILE_FLAG_OPEN_REPARSE_POINT), _O_WRONLY);
}

bool SyncOpen(int fd)
{
    return Win32(::FlushFileBuffers(HandleOf(fd)));
}

bool CloseOpen(int fd)
{
    return ::_close(fd) == 0;
}

long long Position(int fd)
{
    return ::_lseeki64(fd, 0, SEEK_CUR);
}

bool TruncateOpen(int fd, long long end)
{
    const errno_t code = ::_chsize_s(fd, end);
    if (code != 0)
        errno = code;
    return code == 0;
}

bool Remove(const std::string &path)
{
    const std::wstring wide = Wide(path);
    return Win32(::DeleteFileW(wide.c_str()));
}

// ReplaceFileW swaps the new file in under the old name in one step and
// hands it the old one's attributes and access list; with nothing to
// replace, a move that returns only once it is on disk does the same.
bool RenameOver(const std::string &from, const std::string &to, bool replacing)
{
    const std::wstring source = Wide(from), target = Wide(to);
    if (replacing) {
        // It takes no write-through flag; the folder is flushed after it.
        if (::ReplaceFileW(target.c_str(), source.c_str(), nullptr,
                           REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr))
            return true;
        // The old file went meanwhile, or was removed without the new one
        // taking its name: either way the name is free for a move.
        const DWORD code = ::GetLastError();
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
            ::SetLastError(code);
            return Win32(false);
        }
    }
    return Win32(
        ::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

bool SyncFolder(const std::string &dir)
{
    HANDLE h = OpenHandle(dir, GENERIC_READ | GENERIC_WRITE, FILE_FLAG_BACKUP_SEMANTICS);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool synced = Win32(::FlushFileBuffers(h));
    ::CloseHandle(h);
    return synced;
}

// A file whose mode has no write bit is made read-only, after it is
// written: Windows keeps even its owner from writing to a read-only file.
bool ApplyMode(const std::string &path, std::optional<mode_t> mode)
{
    if (!mode || (*mode & 0222) != 0)
        return true;
    const std::wstring wide = Wide(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    return Win32(attributes != INVALID_FILE_ATTRIBUTES &&
                 ::SetFileAttributesW(wide.c_str(), attributes | FILE_ATTRIBUTE_READONLY));
}

long long ReadSome(int fd, void *data, std::size_t size)
{
    return ::_read(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}

long long WriteSome(int fd, const void *data, std::size_t size)
{
    return ::_write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}

// The user's own file: owned by the user, or by the owner the user's
// token gives new files (an administrator's files belong to the group).
bool OwnedByUs(const std::string &path)
{
    const std::wstring wide = Wide(path);
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    bool ours = false;
    HANDLE token = nullptr;
    if (owner && ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        for (TOKEN_INFORMATION_CLASS which : {TokenUser, TokenOwner}) {
            DWORD size = 0;
            ::GetTokenInformation(token, which, nullptr, 0, &size);
            std::vector<unsigned char> info(size);
            if (size == 0 || !::GetTokenInformation(token, which, info.data(), size, &size))
                continue;
            const PSID sid = which == TokenUser ? reinterpret_cast<TOKEN_USER *>(info.data())->User.Sid
                                                : reinterpret_cast<TOKEN_OWNER *>(info.data())->Owner;
            ours = ours || ::EqualSid(owner, sid);
        }
        ::CloseHandle(token);
    }
    ::LocalFree(descriptor);
    return ours;
}

#else

// ---- POSIX ----------------------------------------------------------------

void FactsOfStat(const struct stat &st, Facts &facts)
{
    facts.regular = S_ISREG(st.st_mode);
    facts.mode = st.st_mode & 0777;
    facts.links = st.st_nlink;
    facts.device = st.st_dev;
    facts.index = st.st_ino;
    facts.uid = st.st_uid;
    facts.gid = st.st_gid;
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

bool MayOpen(const std::string &path, bool write)
{
    return ::faccessat(AT_FDCWD, path.c_str(), write ? W_OK : R_OK, AT_EACCESS) == 0;
}

long CurrentPid()
{
    return static_cast<long>(::getpid());
}

bool ProcessRuns(long pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Created with mode less the umask, so that it is never readable by more
// people than the file will be, not even for the moment before its
// permissions are set.
int CreateNew(const std::string &path, mode_t mode)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
}

int OpenForWriting(const std::string &path)
{
    return ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
}

bool SyncOpen(int fd)
{
    return ::fsync(fd) == 0;
}

bool CloseOpen(int fd)
{
    return ::close(fd) == 0;
}

long long Position(int fd)
{
    return ::lseek(fd, 0, SEEK_CUR);
}

bool TruncateOpen(int fd, long long end)
{
    return ::ftruncate(fd, static_cast<off_t>(end)) == 0;
}

bool Remove(const std::string &path)
{
    return ::unlink(path.c_str()) == 0;
}

bool RenameOver(const std::string &from, const std::string &to, bool)
{
    return ::rename(from.c_str(), to.c_str()) == 0;
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

long long ReadSome(int fd, void *data, std::size_t size)
{
    return ::read(fd, data, size);
}

long long WriteSome(int fd, const void *data, std::size_t size)
{
    return ::write(fd, data, size);
}

#endif

// ---- The rules, the same on every system ----------------------------------

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

std::string TemporaryName(const std::string &target, long pid, int attempt)
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
long TemporaryOwner(std::string_view name, const std::string &prefix)
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
    return pid;
}

// Opens a fresh temporary file beside target, never one that is there.
int CreateTemporaryBeside(const std::string &target, std::string &tmp, mode_t mode)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmp = TemporaryName(target, CurrentPid(), attempt);
        int fd = CreateNew(tmp, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// The replacement takes over the file's owner, group and permissions. Only
// root may give a file away; anyone else's replacement keeps them as owner.
// On Windows it takes over the file's attributes (hidden, say); ReplaceFileW
// hands the access list over, and the read-only flag comes with ApplyMode.
bool PrepareTemporary([[maybe_unused]] int fd, [[maybe_unused]] const Facts *existing,
                      [[maybe_unused]] std::optional<mode_t> mode)
{
#ifdef _WIN32
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (!existing || (existing->attributes & kKept) == 0)
        return true;
    FILE_BASIC_INFO basic{}; // times left at zero stay as they are
    basic.FileAttributes = existing->attributes & kKept;
    return Win32(::SetFileInformationByHandle(HandleOf(fd), FileBasicInfo, &basic, sizeof basic));
#else
    if (existing) {
        [[maybe_unused]] const bool kept = ::fchown(fd, existing->uid, existing->gid) == 0 ||
                                           ::fchown(fd, static_cast<uid_t>(-1), existing->gid) == 0;
        if (!mode)
            mode = existing->mode;
    }
    return !mode || ::fchmod(fd, *mode) == 0;
#endif
}

// A file nobody may write was made read-only on purpose, which holds for root
// too, whom the kernel lets write anything. A file we cannot read may hold
// what we never saw, so it is not replaced either.
bool MayReplace(const std::string &target, const Facts &facts, std::string &error)
{
    if (!facts.regular) {
        error = target + " is not a regular file";
        return false;
    }
    if ((facts.mode & 0222) == 0) {
        error = target + " is read-only";
        return false;
    }
    if (!MayOpen(target, true))
        return Fail(error, target + " may not be written");
    if (!MayOpen(target, false))
        return Fail(error, target + " cannot be read");
    return true;
}

// Finishes a temporary file written beside target: flushed to disk, then
// renamed over target. On any failure the temporary goes and target stays.
bool CommitTemporary(int fd, const std::string &tmp, const std::string &target, bool replacing, bool written,
                     std::string &error)
{
    Report(Step::Write, tmp, written);
    bool ok = written && Report(Step::SyncFile, tmp, SyncOpen(fd));
    ok = Report(Step::Close, tmp, CloseOpen(fd)) && ok;
    ok = ok && Report(Step::Rename, tmp, RenameOver(tmp, target, replacing), &target);
    if (!ok) {
        Fail(error, "could not write " + target);
        Report(Step::Remove, tmp, Remove(tmp));
        return false;
    }
    // Make the rename itself durable; the data is already safe either way.
    const std::string dir = DirectoryOf(target);
    Report(Step::SyncFolder, dir, SyncFolder(dir));
    return true;
}

// Not atomic: a crash half way leaves a damaged file. It is used only where a
// replacement would lose every change or cut the file off from its other names.
bool WriteInPlace(const std::string &target, const Producer &produce, std::optional<mode_t> mode,
                  std::string &error)
{
    int fd = OpenForWriting(target);
    if (!Report(Step::OpenInPlace, target, fd >= 0))
        return Fail(error, "could not open " + target);
    Facts facts;
    bool ok = ExamineOpen(fd, facts) && facts.regular;
#ifndef _WIN32
    // Cut off part way by the file-size limit (what a full disk looks like
    // to a process) the file would be half new and half old. A file is
    // rewritten at much its own size, so a limit below that refuses at once.
    struct stat st;
    struct rlimit limit;
    if (ok && ::fstat(fd, &st) == 0 && ::getrlimit(RLIMIT_FSIZE, &limit) == 0 &&
        limit.rlim_cur != RLIM_INFINITY && static_cast<rlim_t>(st.st_size) > limit.rlim_cur) {
        Report(Step::Close, target, CloseOpen(fd));
        errno = EFBIG;
        return Fail(error, "could not write " + target + " in place");
    }
    // The new contents must never sit in a file wider open than asked for.
    ok = ok && (!mode || ::fchmod(fd, *mode) == 0);
#endif
    ok = ok && Report(Step::Write, target, produce(fd));
    const long long end = ok ? Position(fd) : -1;
    ok = end >= 0 && Report(Step::Truncate, target, TruncateOpen(fd, end)) &&
         Report(Step::SyncFile, target, SyncOpen(fd));
    ok = Report(Step::Close, target, CloseOpen(fd)) && ok;
#ifdef _WIN32
    ok = ok && ApplyMode(target, mode);
#endif
    return ok || Fail(error, "could not write " + target + " in place");
}

bool CopyStream(int in, int out)
{
    unsigned char buffer[1 << 16];
    for (;;) {
        const long long n = ReadSome(in, buffer, sizeof buffer);
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
#ifdef _WIN32
    // Others may read, write, rename or remove it while it is open, as on
    // POSIX: a reader never holds up a save.
    int fd = DescriptorOf(OpenHandle(path, GENERIC_READ, FILE_ATTRIBUTE_NORMAL), _O_RDONLY);
#else
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
#endif
    if (fd < 0)
        return -1;
    Facts facts;
    if (!ExamineOpen(fd, facts) || !facts.regular) {
        CloseOpen(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

bool WriteAll(int fd, const void *data, std::size_t size)
{
    auto *p = static_cast<const unsigned char *>(data);
    while (size > 0) {
        const long long n = WriteSome(fd, p, size);
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
        const long long n = ReadSome(fd, p + got, size - got);
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
        bool isLink = false;
        std::string next;
        if (!ReadLink(at, isLink, next))
            return {};
        if (!isLink)
            return at;
        if (IsAbsolute(next))
            at = next;
        else if (const std::string dir = DirectoryOf(at); dir.size() == 1 && IsSeparator(dir[0]))
            at = dir + next;
        else
            at = dir + "/" + next;
    }
    errno = ELOOP;
    return {};
}

long long FileSize(int fd)
{
#ifdef _WIN32
    LARGE_INTEGER size;
    return ::GetFileSizeEx(HandleOf(fd), &size) ? size.QuadPart : -1;
#else
    struct stat st;
    return ::fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
#endif
}

Kind KindOf(const std::string &path)
{
    Facts facts;
    if (!ExaminePath(path, facts, true))
        return Kind::None;
    return facts.regular ? Kind::Regular : Kind::Other;
}

bool CloseFile(int fd)
{
    return CloseOpen(fd);
}

bool ReplaceContents(const std::string &path, const Producer &produce, std::optional<mode_t> mode,
                     std::string &error, bool keepHardLinks)
{
    // The temporary goes beside the real target, so that the rename replaces
    // the file a link names and leaves the link itself as the user made it.
    const std::string target = FinalTarget(path);
    if (target.empty())
        return Fail(error, "could not follow the links at " + path);
    Facts facts;
    const bool exists = ExaminePath(target, facts, false);
    if (!exists && errno != ENOENT)
        return Fail(error, "could not examine " + target);
    if (exists && !MayReplace(target, facts, error))
        return false;
    if (exists && facts.links > 1 && keepHardLinks)
        return WriteInPlace(target, produce, mode, error);
    std::string tmp;
    int fd = CreateTemporaryBeside(target, tmp, mode ? *mode : exists ? facts.mode : 0666);
    if (fd < 0 && exists && (errno == EACCES || errno == EPERM))
        return WriteInPlace(target, produce, mode, error); // a read-only folder with a writable file
    if (fd < 0)
        return Fail(error, "could not create a temporary file beside " + target);
    Report(Step::CreateTemporary, tmp, true);
    if (!PrepareTemporary(fd, exists ? &facts : nullptr, mode)) {
        Fail(error, "could not set the permissions of " + tmp);
        Report(Step::Close, tmp, CloseOpen(fd));
        Report(Step::Remove, tmp, Remove(tmp));
        return false;
    }
    if (!CommitTemporary(fd, tmp, target, exists, produce(fd), error))
        return false;
#ifdef _WIN32
    if (!ApplyMode(target, mode))
        return Fail(error, "could not make " + target + " read-only");
#endif
    return true;
}

bool CopyContents(const std::string &from, const std::string &to, std::string &error)
{
    int in = OpenRegularFile(from);
    if (in < 0)
        return Fail(error, "could not read " + from);
    Facts source;
    if (!ExamineOpen(in, source)) {
        Fail(error, "could not examine " + from);
        CloseOpen(in);
        return false;
    }
    // A backup the user narrowed stays as narrow. A backup that is a second
    // name of the source (an older version made it so) becomes a file of its
    // own: a copy onto itself would leave no copy at all.
    mode_t mode = source.mode;
    bool sameFile = false;
    Facts old;
    if (const std::string target = FinalTarget(to); !target.empty() && ExaminePath(target, old, true)) {
        sameFile = old.device == source.device && old.index == source.index;
        if (!sameFile && old.regular)
            mode &= old.mode;
    }
    const bool ok = ReplaceContents(
        to, [in](int out) { return CopyStream(in, out); }, mode, error, !sameFile);
    CloseOpen(in);
    return ok;
}

void RemoveStaleTemporaries(const std::string &path)
{
    const std::string target = FinalTarget(path);
    if (target.empty())
        return;
    const std::string folder = DirectoryOf(target);
    const std::string prefix = NameOf(target) + ".tmp";
#ifdef _WIN32
    const std::wstring pattern = Wide(folder + "/" + prefix + "*");
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW(pattern.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = Narrow(entry.cFileName);
        const long owner = TemporaryOwner(name, prefix);
        // Our own pid is a save in progress, never a stale one.
        if (owner <= 0 || owner == CurrentPid() || ProcessRuns(owner))
            continue;
        if (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        const std::string stale = folder + "/" + name;
        if (OwnedByUs(stale))
            Remove(stale);
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
#else
    DIR *dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const long owner = TemporaryOwner(entry->d_name, prefix);
        // Our own pid is a save in progress, never a stale one.
        if (owner <= 0 || owner == CurrentPid() || ProcessRuns(owner))
            continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == ::geteuid())
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
#endif
}

} // namespace filesafety
