#pragma once

// The freedesktop desktop entries ("*.desktop") of installed applications:
// reading one, and listing those the desktop's own menu would show.

#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

namespace platform {

struct DesktopEntry {
    QString file;           // absolute path of the entry
    QString name;           // its name in the user's language
    QString icon;           // a theme icon name or an absolute path; empty when none
    QStringList categories; // the Categories key, in the entry's order
};

// A path that names a desktop entry: it ends in ".desktop".
bool IsDesktopEntryPath(const QString &path);

// Reads the application entry at path; nothing when the file cannot be read
// (a FIFO, a device or a socket is never opened), is not an application, or
// its TryExec program is missing.
std::optional<DesktopEntry> ReadDesktopEntry(const QString &path);

// The bytes of the desktop entry at path, when it is a regular file of a
// sensible size; why, when given, says otherwise why not.
std::optional<QByteArray> ReadDesktopEntryBytes(const QString &path, QString *why = nullptr);

// The folders installed applications' entries live in: the user's own
// ($XDG_DATA_HOME/applications) first, then $XDG_DATA_DIRS/*/applications.
QStringList ApplicationFolders();

// Whether the desktop entry at path may start its program. An entry from the
// applications folders may; any other must be executable, as the user makes
// an entry they trust (a file left in the downloads could name anything and
// run any command).
bool IsTrustedDesktopEntry(const QString &path);

// The applications installed for this user, read from the XDG data folders
// (the user's own first, hiding system entries of the same id), leaving out
// Hidden and NoDisplay entries and those OnlyShowIn / NotShowIn keep off the
// current desktop. Sorted by name, without regard to case.
std::vector<DesktopEntry> InstalledApplications();

} // namespace platform
