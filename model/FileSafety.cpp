// The rules of a safe save, the same on every system. The system calls they
// stand on are in FilePrimitives.h, one file of them per system.

#include "FileSafety.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "FilePrimitives.h"

namespace filesafety {

using namespace sys;

namespace {

// The kernel's own limit on a chain of symbolic links.
constexpr int kMaxLinkHops = 40;

StepObserver *g_observer = nullptr;

// ---- Reporting ----------------------------------------------------------------

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

// ---- Names ----------------------------------------------------------------------

std::size_t LastSeparator(const std::string &path)
{
    for (std::size_t i = path.size(); i-- > 0;)
        if (IsSeparator(path[i]))
            return i;
    return std::string::npos;
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

// ---- When a file may be replaced ----------------------------------------------------

bool ReadOnly(const Facts &facts)
{
    return (facts.mode & 0222) == 0;
}

bool RefuseReadOnly(const std::string &target, std::string &error)
{
    error = target + " is read-only";
    return false;
}

// A file nobody may write was made read-only on purpose, which holds for root
// too, whom the kernel lets write anything. A copy the program keeps for
// itself is the exception: it is ours, and a read-only one that an earlier
// run left behind is renewed all the same. A file we cannot read may hold
// what we never saw, so it is not replaced either.
bool MayReplace(const std::string &target, const Facts &facts, bool ownCopy, std::string &error)
{
    if (!facts.regular) {
        error = target + " is not a regular file";
        return false;
    }
    if (ReadOnly(facts) && !(ownCopy && OwnedByUs(target, facts)))
        return RefuseReadOnly(target, error);
    if (!ReadOnly(facts) && !MayOpen(target, true))
        return Fail(error, target + " may not be written");
    if (!MayOpen(target, false))
        return Fail(error, target + " cannot be read");
    return true;
}

// ---- Replacing: a temporary beside the target, renamed over it ----------------------

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

// The replacement takes over what the file it replaces had: its owner and
// group (or its attributes) and its permissions, unless mode says otherwise.
bool PrepareTemporary(int fd, const Facts *existing, std::optional<mode_t> mode)
{
    if (existing) {
        if (!TakeOver(fd, *existing))
            return false;
        if (!mode)
            mode = existing->mode;
    }
    return !mode || SetModeOpen(fd, *mode);
}

// Renames tmp over target, where replaced is what is there, if anything. A
// read-only file there is our own copy, which MayReplace let through; Windows
// would not replace it as it is.
bool RenameInto(const std::string &tmp, const std::string &target, const Facts *replaced)
{
    if (replaced && ReadOnly(*replaced) && !AllowReplacing(target))
        return false;
    return RenameOver(tmp, target, replaced != nullptr);
}

// Finishes a temporary file written beside target: flushed to disk, then
// renamed over target. On any failure the temporary goes and target stays.
bool CommitTemporary(int fd, const std::string &tmp, const std::string &target, const Facts *replaced,
                     bool written, std::string &error)
{
    Report(Step::Write, tmp, written);
    bool ok = written && Report(Step::SyncFile, tmp, SyncOpen(fd));
    ok = Report(Step::Close, tmp, CloseOpen(fd)) && ok;
    ok = ok && Report(Step::Rename, tmp, RenameInto(tmp, target, replaced), &target);
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

// ---- Writing in place -------------------------------------------------------------

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
    // Cut off part way by a file-size limit the file would be half new and
    // half old. A file is rewritten at much its own size, so a limit below
    // that refuses at once.
    if (ok && !FitsSizeLimit(fd)) {
        Report(Step::Close, target, CloseOpen(fd));
        errno = EFBIG;
        return Fail(error, "could not write " + target + " in place");
    }
    // The new contents must never sit in a file wider open than asked for.
    ok = ok && (!mode || SetModeOpen(fd, *mode));
    ok = ok && Report(Step::Write, target, produce(fd));
    const long long end = ok ? Position(fd) : -1;
    ok = end >= 0 && Report(Step::Truncate, target, TruncateOpen(fd, end)) &&
         Report(Step::SyncFile, target, SyncOpen(fd));
    ok = Report(Step::Close, target, CloseOpen(fd)) && ok;
    ok = ok && (!mode || ApplyReadOnly(target, *mode));
    return ok || Fail(error, "could not write " + target + " in place");
}

// ---- The save: a replacement where it can, the file rewritten in place where it must ----

// ReplaceContents, and for ownCopy a file the program keeps for itself (see
// MayReplace).
bool Replace(const std::string &path, const Producer &produce, std::optional<mode_t> mode, std::string &error,
             bool keepHardLinks, bool ownCopy)
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
    if (exists && !MayReplace(target, facts, ownCopy, error))
        return false;
    // Only a rename renews our own read-only copy: written in place it would
    // first have to be made writable, under every name it has.
    const auto inPlace = [&] {
        return ReadOnly(facts) ? RefuseReadOnly(target, error) : WriteInPlace(target, produce, mode, error);
    };
    if (exists && facts.links > 1 && keepHardLinks)
        return inPlace();
    std::string tmp;
    int fd = CreateTemporaryBeside(target, tmp, mode ? *mode : exists ? facts.mode : 0666);
    if (fd < 0 && exists && (errno == EACCES || errno == EPERM))
        return inPlace(); // a read-only folder
    if (fd < 0)
        return Fail(error, "could not create a temporary file beside " + target);
    Report(Step::CreateTemporary, tmp, true);
    if (!PrepareTemporary(fd, exists ? &facts : nullptr, mode)) {
        Fail(error, "could not set the permissions of " + tmp);
        Report(Step::Close, tmp, CloseOpen(fd));
        Report(Step::Remove, tmp, Remove(tmp));
        return false;
    }
    if (!CommitTemporary(fd, tmp, target, exists ? &facts : nullptr, produce(fd), error))
        return false;
    if (mode && !ApplyReadOnly(target, *mode))
        return Fail(error, "could not make " + target + " read-only");
    return true;
}

// ---- Copying ----------------------------------------------------------------------

// Copies from in to out until in ends or limit bytes are copied.
bool CopyStream(int in, int out, std::size_t limit)
{
    unsigned char buffer[1 << 16];
    while (limit > 0) {
        const long long n = ReadSome(in, buffer, std::min(sizeof buffer, limit));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        if (!WriteAll(out, buffer, static_cast<std::size_t>(n)))
            return false;
        limit -= static_cast<std::size_t>(n);
    }
    return true;
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
    int fd = OpenForReading(path);
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
    return sys::FileSize(fd);
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
    return Replace(path, produce, mode, error, keepHardLinks, false);
}

bool CopyContents(const std::string &from, const std::string &to, std::size_t limit, std::string &error)
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
    // The copy is ours: never wider open to others than the source, and a
    // copy the user narrowed stays as narrow, but its owner may always write
    // it, so that the next copy renews it. A copy that is a second name of
    // the source (an older version made it so) becomes a file of its own: a
    // copy onto itself would leave no copy at all.
    mode_t mode = source.mode;
    bool sameFile = false;
    Facts old;
    if (const std::string target = FinalTarget(to); !target.empty() && ExaminePath(target, old, true)) {
        sameFile = old.device == source.device && old.index == source.index;
        if (!sameFile && old.regular)
            mode &= old.mode;
    }
    mode |= 0200;
    const bool ok = Replace(
        to, [in, limit](int out) { return CopyStream(in, out, limit); }, mode, error, !sameFile, true);
    CloseOpen(in);
    return ok;
}

void RemoveStaleTemporaries(const std::string &path)
{
    const std::string target = FinalTarget(path);
    if (target.empty())
        return;
    const std::string prefix = NameOf(target) + ".tmp";
    RemoveOwnFiles(DirectoryOf(target), [&prefix](const std::string &name) {
        const long owner = TemporaryOwner(name, prefix);
        // Our own pid is a save in progress, never a stale one.
        return owner > 0 && owner != CurrentPid() && !ProcessRuns(owner);
    });
}

} // namespace filesafety
