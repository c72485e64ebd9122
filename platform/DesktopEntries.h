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

// Reads the application entry at path; nothing when the file cannot be read,
// is not an application, or its TryExec program is missing.
std::optional<DesktopEntry> ReadDesktopEntry(const QString &path);

// The applications installed for this user, read from the XDG data folders
// (the user's own first, hiding system entries of the same id), leaving out
// Hidden and NoDisplay entries and those OnlyShowIn / NotShowIn keep off the
// current desktop. Sorted by name, without regard to case.
std::vector<DesktopEntry> InstalledApplications();

} // namespace platform
