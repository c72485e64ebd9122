#pragma once

// Reading local files without ever waiting on them: a FIFO, a socket or a
// device under a name the launcher reads (a desktop entry, an icon, a dropped
// file) must not block it or feed it endless bytes. Each read opens without
// blocking and takes regular files only, checked on the open descriptor.

#include <optional>

#include <QByteArray>
#include <QString>

namespace platform {

// What a name leads to, followed through symbolic links.
enum class FileKind { Missing, Regular, Directory, Fifo, Socket, Device, Other };
FileKind KindOfFile(const QString &path);

// "a FIFO (named pipe)", "a socket", "a device": what the user is told a
// special file is; empty for missing, regular files and folders.
QString DescribeSpecialFile(FileKind kind);

// The contents of the regular file at path, when it holds at most limit
// bytes. Nothing when it is missing, not a regular file, larger, or cannot
// be read; why, when given, then says which in a short phrase.
std::optional<QByteArray> ReadRegularFile(const QString &path, qint64 limit, QString *why = nullptr);

// Whether the file at path may be run by this user (an execute bit that
// applies to them).
bool IsExecutableFile(const QString &path);

} // namespace platform
