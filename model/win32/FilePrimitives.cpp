// The system calls of a safe save on Windows: the same steps as on POSIX,
// under Win32's names. UTF-8 paths become UTF-16 for the W calls.

#include "FilePrimitives.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <aclapi.h>
#include <winioctl.h>

namespace filesafety::sys {

namespace {

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

// The layout of a symbolic link's reparse data, as FSCTL_GET_REPARSE_POINT
// returns it.
struct SymbolicLinkData {
    ULONG tag;
    USHORT dataLength, reserved;
    USHORT substituteOffset, substituteLength, printOffset, printLength;
    ULONG flags;
    WCHAR buffer[1];
};

// The user's own file: owned by the user, or by the owner the user's
// token gives new files (an administrator's files belong to the group).
bool OwnedByToken(const std::string &path)
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

} // namespace

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

bool IsAbsolute(const std::string &path)
{
    return (path.size() >= 2 && path[1] == ':') || (!path.empty() && IsSeparator(path[0]));
}

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

long long FileSize(int fd)
{
    LARGE_INTEGER size;
    return ::GetFileSizeEx(HandleOf(fd), &size) ? size.QuadPart : -1;
}

// The access list and the read-only flag both have their say.
bool MayOpen(const std::string &path, bool write)
{
    HANDLE h = OpenHandle(path, write ? GENERIC_WRITE : GENERIC_READ, FILE_FLAG_OPEN_REPARSE_POINT);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(h);
    return true;
}

bool OwnedByUs(const std::string &path, const Facts &)
{
    return OwnedByToken(path);
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

// Others may read, write, rename or remove it while it is open, as on POSIX:
// a reader never holds up a save.
int OpenForReading(const std::string &path)
{
    return DescriptorOf(OpenHandle(path, GENERIC_READ, FILE_ATTRIBUTE_NORMAL), _O_RDONLY);
}

// A new file, never one that exists; Windows has no umask: the folder's
// access list decides who may read it, and the mode only whether it is
// read-only, which ApplyReadOnly sets once the file is in place.
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

long long ReadSome(int fd, void *data, std::size_t size)
{
    return ::_read(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}

long long WriteSome(int fd, const void *data, std::size_t size)
{
    return ::_write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
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

bool SyncOpen(int fd)
{
    return Win32(::FlushFileBuffers(HandleOf(fd)));
}

bool CloseOpen(int fd)
{
    return ::_close(fd) == 0;
}

// Windows has no file-size limit per process.
bool FitsSizeLimit(int)
{
    return true;
}

// The attributes a user gives a file (hidden, say) go over to its
// replacement; ReplaceFileW hands the access list over, and the read-only
// flag comes with ApplyReadOnly.
bool TakeOver(int fd, const Facts &existing)
{
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if ((existing.attributes & kKept) == 0)
        return true;
    FILE_BASIC_INFO basic{}; // times left at zero stay as they are
    basic.FileAttributes = static_cast<DWORD>(existing.attributes) & kKept;
    return Win32(::SetFileInformationByHandle(HandleOf(fd), FileBasicInfo, &basic, sizeof basic));
}

bool SetModeOpen(int, mode_t)
{
    return true;
}

// A file whose mode has no write bit is made read-only, after it is
// written: Windows keeps even its owner from writing to a read-only file.
bool ApplyReadOnly(const std::string &path, mode_t mode)
{
    if ((mode & 0222) != 0)
        return true;
    const std::wstring wide = Wide(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    return Win32(attributes != INVALID_FILE_ATTRIBUTES &&
                 ::SetFileAttributesW(wide.c_str(), attributes | FILE_ATTRIBUTE_READONLY));
}

// Neither ReplaceFileW nor a move replaces a read-only file.
bool AllowReplacing(const std::string &path)
{
    const std::wstring wide = Wide(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    return Win32(attributes != INVALID_FILE_ATTRIBUTES &&
                 ((attributes & FILE_ATTRIBUTE_READONLY) == 0 ||
                  ::SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)));
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

bool Remove(const std::string &path)
{
    const std::wstring wide = Wide(path);
    return Win32(::DeleteFileW(wide.c_str()));
}

void RemoveOwnFiles(const std::string &folder, const std::function<bool(const std::string &name)> &stale)
{
    const std::wstring pattern = Wide(folder + "/*");
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW(pattern.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = Narrow(entry.cFileName);
        if (!stale(name))
            continue;
        if (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        const std::string path = folder + "/" + name;
        if (OwnedByToken(path))
            Remove(path);
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
}

} // namespace filesafety::sys
