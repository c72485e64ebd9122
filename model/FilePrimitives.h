#pragma once

// The system calls a safe save stands on, for FileSafety.cpp alone. Each
// system has one file of them (posix/, win32/), chosen by CMake; the rules of
// a save are written once, on top of these. Paths are UTF-8 everywhere; a
// failed call leaves errno as the POSIX call would, since the rules test it.

#include <cstddef>
#include <functional>
#include <string>

#include <sys/types.h>

namespace filesafety::sys {

// What a name or an open file is: the little of stat that the rules ask about.
struct Facts {
    bool regular = false;
    mode_t mode = 0; // the permission bits; on Windows 0444 when read-only, else 0666
    unsigned long long links = 1;
    unsigned long long device = 0, index = 0; // together: which file it is
    // What a replacement takes over besides the mode, in each system's terms:
    // the owner and group on POSIX, the attributes on Windows.
    unsigned long owner = 0, group = 0, attributes = 0;
};

// ---- Names -------------------------------------------------------------------

bool IsSeparator(char c);
bool IsAbsolute(const std::string &path);

// Whether at is a symbolic link, and if so the text it holds; false when
// neither can be told. A missing name is no link.
bool ReadLink(const std::string &at, bool &isLink, std::string &next);

// ---- What is there -----------------------------------------------------------

bool ExamineOpen(int fd, Facts &facts);
// follow false examines a symbolic link itself.
bool ExaminePath(const std::string &path, Facts &facts, bool follow);
long long FileSize(int fd);

// The user may open the file for writing, or for reading, as the system
// would let him: its mode or access list, its read-only flag.
bool MayOpen(const std::string &path, bool write);

// The file belongs to the user this program runs as.
bool OwnedByUs(const std::string &path, const Facts &facts);

long CurrentPid();
bool ProcessRuns(long pid);

// ---- Open files ----------------------------------------------------------------

// For reading, without blocking on a FIFO and without holding up a writer.
int OpenForReading(const std::string &path);
// A new file, never one that exists, never readable by more people than mode
// allows, not even before its permissions are set.
int CreateNew(const std::string &path, mode_t mode);
// An existing file, never through a symbolic link.
int OpenForWriting(const std::string &path);

long long ReadSome(int fd, void *data, std::size_t size);
long long WriteSome(int fd, const void *data, std::size_t size);
long long Position(int fd);
bool TruncateOpen(int fd, long long end);
bool SyncOpen(int fd);
bool CloseOpen(int fd);

// False when the process may not make the open file as long as it already is
// (a file-size limit, what a full disk looks like to a process).
bool FitsSizeLimit(int fd);

// ---- Permissions ------------------------------------------------------------------

// Gives the open replacement what it takes over from the file it replaces
// besides the mode; false only where the system cannot do that.
bool TakeOver(int fd, const Facts &existing);
// The mode as far as it can be set on an open file: all of it on POSIX,
// nothing on Windows, where a read-only file could no longer be written.
bool SetModeOpen(int fd, mode_t mode);
// The rest, once the file is written and closed: Windows makes a file whose
// mode has no write bit read-only.
bool ApplyReadOnly(const std::string &path, mode_t mode);
// Lets a rename replace the read-only file at path: POSIX asks only the
// folder, Windows has to take the file's read-only flag away first.
bool AllowReplacing(const std::string &path);

// ---- Names in folders -------------------------------------------------------------

// Renames from over to in one step, durable once it returns where the system
// offers that. replacing says that to exists.
bool RenameOver(const std::string &from, const std::string &to, bool replacing);
bool Remove(const std::string &path);
bool SyncFolder(const std::string &dir);

// Removes the regular files of this user in folder whose names stale
// accepts; links, folders and anyone else's files stay.
void RemoveOwnFiles(const std::string &folder, const std::function<bool(const std::string &name)> &stale);

} // namespace filesafety::sys
