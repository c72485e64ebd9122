// KVUI_Config.dat: loading, saving and the default configuration's file side.

#include "Kvguiglobals.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <algorithm>
#include <functional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static_assert(std::endian::native == std::endian::little,
              "the configuration file is a little-endian memory image");

namespace {

constexpr int kVersionAppearance = 97;
constexpr int kVersionWindowsColours = 102;
constexpr int kVersionGameSection = 108;
constexpr int kVersionClock = 115;
constexpr int kVersionButtonSection = 116;

// The version is stored as a float; a garbled file may hold NaN or a value far
// outside int's range, whose conversion would be undefined.
int TruncatedVersion(float version)
{
    if (std::isnan(version))
        return 0;
    if (version >= 1e9f)
        return 1000000000;
    if (version <= -1e9f)
        return -1000000000;
    return static_cast<int>(version);
}

bool IsRegularFile(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A regular file opened for reading, or -1; a FIFO or device under the
// configuration's name must not block or feed the loader.
int OpenRegularFile(const std::string &path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool ReadUpTo(const std::string &path, std::vector<unsigned char> &out, std::size_t limit)
{
    int fd = OpenRegularFile(path);
    if (fd < 0)
        return false;
    out.resize(limit);
    std::size_t got = 0;
    while (got < limit) {
        ssize_t n = ::read(fd, out.data() + got, limit - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    out.resize(got);
    return true;
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

std::string DirectoryOf(const std::string &path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Opens a fresh temporary file beside target; the kernel applies the umask to
// its mode, as it would for a file created in place.
int CreateTemporaryBeside(const std::string &target, std::string &tmpPath)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmpPath = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        int fd = ::open(tmpPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            // The replacement keeps the permissions the user gave the file.
            struct stat st;
            if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                ::fchmod(fd, st.st_mode & 07777);
            return fd;
        }
        if (errno != EEXIST)
            return fd;
    }
    return -1;
}

template <std::size_t N> void Terminate(char (&field)[N])
{
    field[N - 1] = '\0';
}

} // namespace

namespace {

// Finishes a temporary file written beside target: flushed to disk, then
// renamed over target. On any failure the temporary goes and target stays.
bool CommitTemporary(int fd, const std::string &tmp, const std::string &target, bool written)
{
    bool ok = written && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    // Make the rename itself durable; the data is already safe either way.
    int dirFd = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

} // namespace

bool WriteFileAtomically(const std::string &path, const void *const *blocks, const std::size_t *sizes,
                         int count)
{
    std::string tmp;
    int fd = CreateTemporaryBeside(path, tmp);
    if (fd < 0)
        return false;
    bool ok = true;
    for (int i = 0; ok && i < count; ++i)
        ok = WriteAll(fd, blocks[i], sizes[i]);
    return CommitTemporary(fd, tmp, path, ok);
}

bool CopyFileAtomically(const std::string &from, const std::string &to)
{
    int in = OpenRegularFile(from);
    if (in < 0)
        return false;
    std::string tmp;
    int out = CreateTemporaryBeside(to, tmp);
    if (out < 0) {
        ::close(in);
        return false;
    }
    std::vector<unsigned char> buffer(1 << 16);
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(n))) {
            ok = false;
            break;
        }
    }
    ::close(in);
    return CommitTemporary(out, tmp, to, ok);
}

namespace {

// A bool byte other than 0 or 1 is read as true rather than left as an
// invalid bool; the byte is reached as a byte, never as a bool.
void NormaliseBool(bool &b)
{
    auto *byte = reinterpret_cast<unsigned char *>(&b);
    *byte = *byte != 0;
}

} // namespace

void KVUIOperationClass::LoadBlocks(const std::function<std::size_t(void *, std::size_t)> &read)
{
    ResetPersistedState();

    // The blocks are read in file order straight into the model, as a stream
    // reads: a short read keeps what the rest of its block held and ends the
    // reading, so whatever a short file lacks keeps its value.
    bool more = true;
    auto block = [&](void *dst, std::size_t n) {
        if (more)
            more = read(dst, n) == n;
        return more;
    };
    block(&header, sizeof header);
    block(categories, sizeof categories);
    block(&settings, sizeof settings);
    block(&savedSettings, sizeof savedSettings);
    for (CategoryRecord &cat : categories) {
        NormaliseBool(cat.lockedOpen);
        NormaliseBool(cat.expanded);
    }
    for (WindowSettings *ws : {&settings, &savedSettings})
        for (bool *b :
             {&ws->dockWindow, &ws->autoAlpha, &ws->mouseOverSectionResize, &ws->alwaysOnTop, &ws->autoMode})
            NormaliseBool(*b);

    auto flag = [&](bool &b) {
        unsigned char byte = b;
        block(&byte, 1);
        b = byte != 0;
    };
    const int v = TruncatedVersion(header.version);
    if (v >= kVersionAppearance)
        block(&appearance, sizeof appearance);
    else
        SetDefaultAppearance();
    if (v >= kVersionWindowsColours)
        flag(useWindowsColours);
    if (v >= kVersionGameSection)
        flag(gameSectionOpen);
    if (v >= kVersionClock) {
        flag(clockVisible);
        block(&clockLeft, sizeof clockLeft);
        block(&clockTop, sizeof clockTop);
    } else {
        clockVisible = false;
        clockLeft = screenWidth / 2;
        clockTop = screenHeight / 2;
    }
    if (v >= kVersionButtonSection)
        flag(buttonSectionOpen);

    // Every text must end inside its field, whatever the file held; padding is
    // ignored on reading and written as zero.
    Terminate(header.title);
    Terminate(header.credit);
    Terminate(header.description);
    Terminate(appearance.titleFont);
    Terminate(appearance.headingsFont);
    Terminate(appearance.linksFont);
    std::memset(appearance.pad, 0, sizeof appearance.pad);
    std::memset(settings.pad, 0, sizeof settings.pad);
    std::memset(savedSettings.pad, 0, sizeof savedSettings.pad);
    for (CategoryRecord &cat : categories) {
        Terminate(cat.name);
        Terminate(cat.description);
        std::memset(cat.pad, 0, sizeof cat.pad);
        for (LinkRecord &link : cat.links) {
            Terminate(link.name);
            Terminate(link.path);
            std::memset(link.pad, 0, sizeof link.pad);
        }
    }
}

void KVUIOperationClass::LoadFromBytes(const unsigned char *data, std::size_t size)
{
    std::size_t at = 0;
    LoadBlocks([&](void *dst, std::size_t n) {
        const std::size_t got = std::min(n, size - at);
        std::memcpy(dst, data + at, got);
        at += got;
        return got;
    });
}

namespace {

// The length a file of version v has when it holds every field of its version.
std::size_t RequiredLength(int v)
{
    using namespace ConfigLayout;
    if (v < kVersionAppearance)
        return kAppearance;
    if (v < kVersionWindowsColours)
        return kUseWindowsColours;
    if (v < kVersionGameSection)
        return kGameSectionOpen;
    if (v < kVersionClock)
        return kClockVisible;
    if (v < kVersionButtonSection)
        return kButtonSectionOpen;
    return kFileSize;
}

// A file that can be read and holds all that its version asks for.
bool IsCompleteConfiguration(const std::string &path)
{
    int fd = OpenRegularFile(path);
    if (fd < 0)
        return false;
    struct stat st;
    FileHeader header;
    const bool complete =
        ::fstat(fd, &st) == 0 && ::read(fd, &header, sizeof header) == sizeof header &&
        static_cast<std::size_t>(st.st_size) >= RequiredLength(TruncatedVersion(header.version));
    ::close(fd);
    return complete;
}

} // namespace

bool KVUIOperationClass::LoadConfiguration()
{
    ResetPersistedState();
    // A configuration that is cut short or cannot be read would load as an
    // empty launcher, and the next save would make that loss final: the
    // backup is taken instead while it is whole.
    const std::string config = GetConfigPath(), old = GetOldConfigPath();
    std::string path;
    if (IsCompleteConfiguration(config))
        path = config;
    else if (IsCompleteConfiguration(old))
        path = old;
    else if (IsRegularFile(config))
        path = config;
    else if (IsRegularFile(old))
        path = old;
    else
        return false;
    // A file that exists but cannot be read loads as the reset state.
    int fd = OpenRegularFile(path);
    LoadBlocks([fd](void *dst, std::size_t n) {
        std::size_t got = 0;
        while (fd >= 0 && got < n) {
            ssize_t r = ::read(fd, static_cast<unsigned char *>(dst) + got, n - got);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            got += static_cast<std::size_t>(r);
        }
        return got;
    });
    if (fd >= 0)
        ::close(fd);
    return true;
}

bool KVUIOperationClass::FileStillHolds(const void *const *blocks, const std::size_t *sizes, int count) const
{
    // Reading 2 MB back from the page cache costs a fraction of writing and
    // syncing it, and needs no memory of what was written last.
    std::size_t total = 0;
    for (int i = 0; i < count; ++i)
        total += sizes[i];
    int fd = OpenRegularFile(GetConfigPath());
    if (fd < 0)
        return false;
    struct stat st;
    bool same = ::fstat(fd, &st) == 0 && static_cast<std::size_t>(st.st_size) == total;
    unsigned char chunk[1 << 16];
    for (int i = 0; same && i < count; ++i) {
        const auto *want = static_cast<const unsigned char *>(blocks[i]);
        std::size_t at = 0;
        while (same && at < sizes[i]) {
            ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, sizes[i] - at));
            if (n < 0 && errno == EINTR)
                continue;
            same = n > 0 && std::memcmp(chunk, want + at, static_cast<std::size_t>(n)) == 0;
            at += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
    }
    ::close(fd);
    return same;
}

bool KVUIOperationClass::SaveConfiguration()
{
    header.version = static_cast<float>(GetVersionNumber());
    // The blocks go out as they lie in memory; only the short tail, whose
    // ints are not aligned in the file, is laid out here.
    unsigned char tail[12];
    tail[0] = useWindowsColours;
    tail[1] = gameSectionOpen;
    tail[2] = clockVisible;
    std::memcpy(tail + 3, &clockLeft, 4);
    std::memcpy(tail + 7, &clockTop, 4);
    tail[11] = buttonSectionOpen;
    const void *blocks[] = {&header, categories, &settings, &savedSettings, &appearance, tail};
    const std::size_t sizes[] = {sizeof header,        sizeof categories, sizeof settings,
                                 sizeof savedSettings, sizeof appearance, sizeof tail};
    static_assert(sizeof header + sizeof categories + 2 * sizeof(WindowSettings) + sizeof(Appearance) +
                      sizeof tail ==
                  ConfigLayout::kFileSize);
    // Nothing changed since the file was read or written, and nobody else
    // has touched it: it already holds exactly these bytes.
    if (FileStillHolds(blocks, sizes, 6))
        return true;
    return WriteFileAtomically(GetConfigPath(), blocks, sizes, 6);
}

bool KVUIOperationClass::BackupConfiguration()
{
    // A real copy: a second name for the same file would share any damage
    // another program does to it in place. A damaged file never replaces a
    // backup that may be the last whole copy.
    const std::string config = GetConfigPath();
    if (!IsCompleteConfiguration(config))
        return false;
    return CopyFileAtomically(config, GetOldConfigPath());
}

void KVUIOperationClass::ReadIniFile()
{
    std::vector<unsigned char> bytes;
    if (!IsRegularFile(GetIniPath()) || !ReadUpTo(GetIniPath(), bytes, 1 << 20))
        return;
    std::string text(bytes.begin(), bytes.end());
    bool found = false;
    bool value = ReadIniBool(text, "Debug", "DebugMode", false, &found);
    if (found)
        debugMode = value;
}
