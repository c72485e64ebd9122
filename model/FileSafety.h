#pragma once

// Writing files the user owns without ever losing or hijacking them: a reader
// sees either the old bytes or all of the new ones, saves go through symbolic
// and hard links to the file they name, and a file the user may not write or
// could not read is left as it is.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include <sys/types.h>

namespace filesafety {

// A regular file opened for reading, or -1 with errno set; a FIFO or device
// under a configuration's name must not block or feed the loader.
int OpenRegularFile(const std::string &path);

// What lies under a name, followed through symbolic links: nothing (errno
// says why), a regular file, or something else (a folder, a device).
enum class Kind { None, Regular, Other };
Kind KindOf(const std::string &path);

// The size of the open file fd, or -1.
long long FileSize(int fd);

// Closes a descriptor these functions opened; false when the close failed.
bool CloseFile(int fd);

bool WriteAll(int fd, const void *data, std::size_t size);
// Reads until size bytes are in or the file ends; the count read. error, when
// given, becomes true on a read error (the count says how far it got).
std::size_t ReadFull(int fd, void *data, std::size_t size, bool *error = nullptr);

// The name a chain of symbolic links starting at path ends at: path itself
// when it is no link, the missing name a dangling link points to, and empty
// when the chain loops or runs too long.
std::string FinalTarget(const std::string &path);

// Writes a file's whole new contents from the start of fd; false on failure.
using Producer = std::function<bool(int fd)>;

// Gives the file at path (followed through symbolic links) the contents that
// produce writes. Normally a temporary file beside the real target is written,
// flushed and renamed over it. A file with other hard links, or in a folder
// where no temporary can be made, is rewritten in place instead, so that every
// name sees the save. An existing file that is not regular, may not be written
// or cannot be read is never touched. mode, when given, is the permission bits
// the file ends with; otherwise an existing file keeps its own and a new one
// gets the umask's. On failure error says why. keepHardLinks false replaces
// even a file with other names, which then keep the old contents.
// On Windows a mode only tells whether the file ends read-only (no write
// bit), and a replaced file's attributes and access list are kept.
bool ReplaceContents(const std::string &path, const Producer &produce, std::optional<mode_t> mode,
                     std::string &error, bool keepHardLinks = true);

// A byte copy of the regular file from, its first limit bytes at the most,
// over to, by ReplaceContents. The copy is the program's own file: its owner
// may always write it, others never get more than the source or the copy it
// replaces gives them, and an earlier copy of ours is renewed even where it
// was left read-only (by a rename only: in a read-only folder it stays).
bool CopyContents(const std::string &from, const std::string &to, std::size_t limit, std::string &error);

// The file-system steps of a save, reported as they finish to an observer a
// test installs; a save is only as safe as the order of these steps.
enum class Step {
    CreateTemporary, // path: the temporary beside the target
    OpenInPlace,     // path: the target, rewritten in place
    Write,           // the producer finished writing into path
    Truncate,        // path cut to the length just written
    SyncFile,        // fsync of path's data
    Close,           // path's descriptor closed
    Rename,          // path renamed over to
    SyncFolder,      // fsync of the folder path
    Remove,          // path removed after a failure
};

struct StepObserver {
    virtual ~StepObserver() = default;
    // to is empty except for Rename; ok tells whether the call succeeded.
    virtual void Done(Step step, const std::string &path, const std::string &to, bool ok) = 0;
};

// Installs the observer every later save reports to, or none (nullptr, the
// default); returns the one installed before. Not for use while a save runs.
StepObserver *SetStepObserver(StepObserver *observer);

// Removes the temporary files that a save of path killed half way left beside
// its real target: regular files of this user, named exactly as
// ReplaceContents names them, whose process no longer runs.
void RemoveStaleTemporaries(const std::string &path);

} // namespace filesafety
