// KVUI_Config.dat: loading, saving and the default configuration's file side.

#include "Kvguiglobals.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <algorithm>
#include <functional>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "FileSafety.h"

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

bool ReadUpTo(const std::string &path, std::vector<unsigned char> &out, std::size_t limit)
{
    int fd = filesafety::OpenRegularFile(path);
    if (fd < 0)
        return false;
    out.resize(limit);
    out.resize(filesafety::ReadFull(fd, out.data(), limit));
    ::close(fd);
    return true;
}

template <std::size_t N> void Terminate(char (&field)[N])
{
    field[N - 1] = '\0';
}

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
        clockLeft = clockDefaultLeft;
        clockTop = clockDefaultTop;
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

// Every version this program or an older one can have written. Zero is what a
// file zero-filled by a crash reads as, and a version above ours is as likely
// garbage as the work of a newer program: neither makes a file whole.
bool IsPlausibleVersion(float version)
{
    const int v = TruncatedVersion(version);
    return v >= 1 && v <= KVUIOperationClass::GetVersionNumber();
}

enum class FileState {
    Missing,    // no regular file under the name
    Unreadable, // there is one, but it could not be read
    Damaged,    // readable, but cut short or with a version no program wrote
    Complete,   // holds every field its plausible version asks for
};

FileState ExamineConfiguration(const std::string &path)
{
    const filesafety::Kind kind = filesafety::KindOf(path);
    if (kind == filesafety::Kind::None)
        return errno == ENOENT || errno == ENOTDIR ? FileState::Missing : FileState::Unreadable;
    if (kind != filesafety::Kind::Regular)
        return FileState::Missing;
    int fd = filesafety::OpenRegularFile(path);
    if (fd < 0)
        return FileState::Unreadable;
    FileHeader header;
    const ssize_t got = ::read(fd, &header, sizeof header);
    const long long size = filesafety::FileSize(fd);
    ::close(fd);
    if (got < 0 || size < 0)
        return FileState::Unreadable;
    const bool complete = got == sizeof header && IsPlausibleVersion(header.version) &&
                          static_cast<std::size_t>(size) >= RequiredLength(TruncatedVersion(header.version));
    return complete ? FileState::Complete : FileState::Damaged;
}

} // namespace

bool KVUIOperationClass::LoadFromFile(const std::string &path)
{
    int fd = filesafety::OpenRegularFile(path);
    bool readError = fd < 0;
    LoadBlocks([fd, &readError](void *dst, std::size_t n) {
        return fd >= 0 ? filesafety::ReadFull(fd, dst, n, &readError) : 0;
    });
    if (fd >= 0)
        ::close(fd);
    return !readError;
}

void KVUIOperationClass::RemoveStaleTemporaries()
{
    filesafety::RemoveStaleTemporaries(GetConfigPath());
    filesafety::RemoveStaleTemporaries(GetOldConfigPath());
}

bool KVUIOperationClass::LoadConfiguration()
{
    ResetPersistedState();
    m_keepConfigFile = false;
    // Without a folder the paths would name the file system's root.
    if (directory.empty())
        return false;
    RemoveStaleTemporaries();
    // A configuration that is cut short or cannot be read would load as an
    // empty launcher, and the next save would make that loss final: the
    // backup is taken instead while it is whole.
    const std::string config = GetConfigPath(), old = GetOldConfigPath();
    const FileState configState = ExamineConfiguration(config);
    const FileState oldState =
        configState == FileState::Complete ? FileState::Missing : ExamineConfiguration(old);
    // A file that could not be read may still hold the user's whole setup; what
    // this run shows instead must never be written over it.
    m_keepConfigFile = configState == FileState::Unreadable;
    std::string path;
    if (configState == FileState::Complete)
        path = config;
    else if (oldState == FileState::Complete)
        path = old;
    else if (configState == FileState::Damaged)
        path = config;
    else if (oldState == FileState::Damaged)
        path = old;
    else // a file that exists but cannot be read loads as the reset state
        return configState != FileState::Missing || oldState != FileState::Missing;
    if (!LoadFromFile(path) && path == config)
        m_keepConfigFile = true;
    return true;
}

bool KVUIOperationClass::FileStillHolds(const void *const *blocks, const std::size_t *sizes, int count) const
{
    // Reading 2 MB back from the page cache costs a fraction of writing and
    // syncing it, and needs no memory of what was written last.
    std::size_t total = 0;
    for (int i = 0; i < count; ++i)
        total += sizes[i];
    int fd = filesafety::OpenRegularFile(GetConfigPath());
    if (fd < 0)
        return false;
    const long long size = filesafety::FileSize(fd);
    bool same = size >= 0 && static_cast<std::size_t>(size) == total;
    unsigned char chunk[1 << 16];
    for (int i = 0; same && i < count; ++i) {
        const auto *want = static_cast<const unsigned char *>(blocks[i]);
        for (std::size_t at = 0; same && at < sizes[i];) {
            const std::size_t n = std::min(sizeof chunk, sizes[i] - at);
            same = filesafety::ReadFull(fd, chunk, n) == n && std::memcmp(chunk, want + at, n) == 0;
            at += n;
        }
    }
    ::close(fd);
    return same;
}

bool KVUIOperationClass::MayWriteFiles()
{
    if (directory.empty()) {
        lastSaveError = "there is no configuration folder";
        return false;
    }
    if (m_keepConfigFile) {
        lastSaveError = GetConfigPath() + " could not be read at start and is left as it is";
        return false;
    }
    return true;
}

bool KVUIOperationClass::SaveConfiguration()
{
    header.version = static_cast<float>(GetVersionNumber());
    if (!MayWriteFiles())
        return false;
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
    lastSaveError.clear();
    // Nothing changed since the file was read or written, and nobody else
    // has touched it: it already holds exactly these bytes.
    if (FileStillHolds(blocks, sizes, 6))
        return true;
    const auto produce = [&](int fd) {
        for (int i = 0; i < 6; ++i)
            if (!filesafety::WriteAll(fd, blocks[i], sizes[i]))
                return false;
        return true;
    };
    return filesafety::ReplaceContents(GetConfigPath(), produce, std::nullopt, lastSaveError);
}

bool KVUIOperationClass::BackupConfiguration()
{
    // A real copy: a second name for the same file would share any damage
    // another program does to it in place. A damaged file never replaces a
    // backup that may be the last whole copy.
    if (!MayWriteFiles())
        return false;
    const std::string config = GetConfigPath();
    if (ExamineConfiguration(config) != FileState::Complete) {
        lastSaveError = config + " is missing or not whole; the backup is kept";
        return false;
    }
    lastSaveError.clear();
    // Whatever lies past the last field is no part of the configuration: a
    // file grown to any size costs no more to back up than a whole one.
    return filesafety::CopyContents(config, GetOldConfigPath(), ConfigLayout::kFileSize, lastSaveError);
}

void KVUIOperationClass::ReadIniFile()
{
    std::vector<unsigned char> bytes;
    if (!ReadUpTo(GetIniPath(), bytes, 1 << 20))
        return;
    std::string text(bytes.begin(), bytes.end());
    bool found = false;
    bool value = ReadIniBool(text, "Debug", "DebugMode", false, &found);
    if (found)
        debugMode = value;
    // Preferences are 0 or 1; anything else, or no key, is the default.
    std::string preference;
    linkIcons = ReadIniValue(text, "Preferences", "LinkIcons", preference) && preference == "1";
}
