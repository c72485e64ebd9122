#include "Execute.h"

#include <sys/stat.h>

#include <QFile>
#include <QWidget>

#include "DesktopEntries.h"
#include "Dialogs.h"
#include "LaunchPaths.h"
#include "Launcher.h"
#include "LocalFiles.h"

QWidget *LaunchOwner = nullptr;

namespace {

bool IsDirectory(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Report(const platform::LaunchResult &r, const QString &caption, const QString &file,
            QWidget *owner = LaunchOwner)
{
    if (!r.ok)
        ShowLaunchError(owner, caption, file, r.error);
    return r.ok;
}

// A program or document must be there before anything is asked to open it,
// and be a file: a FIFO, a socket or a device is never opened, as whatever
// opened it could wait on it for good.
bool FileThere(QWidget *owner, const QString &path)
{
    const platform::FileKind kind = platform::KindOfFile(path);
    if (const QString special = platform::DescribeSpecialFile(kind); !special.isEmpty()) {
        forms::Warn(owner, path + " is " + special + ", not a file or folder that can be opened.",
                    QStringLiteral("Execute File"));
        return false;
    }
    if (kind == platform::FileKind::Regular)
        return true;
    forms::Warn(owner, path + " does not exist!", QStringLiteral("Execute File"));
    return false;
}

// A desktop entry from elsewhere than the applications folders starts only
// once the user has made it executable: anyone can leave a file named
// "Invoice.pdf.desktop" with a document's name and icon and any command.
bool EntryTrusted(QWidget *owner, const QString &entry)
{
    if (platform::IsTrustedDesktopEntry(entry))
        return true;
    forms::Warn(owner,
                "\"" + entry +
                    "\" was not started: it is a desktop entry from outside the applications folders, and it is "
                    "not marked as trusted. Such a file can run any command under any name.\n\nIf you trust it, "
                    "make it executable (chmod +x \"" +
                    entry + "\") and try again.",
                QStringLiteral("Untrusted Desktop Entry"));
    return false;
}

// What an application or game link starts: a desktop entry's application as
// the desktop's menu would (in the entry's own Path), any other file as a
// program in directory.
bool StartApplication(const QString &target, const QString &directory)
{
    if (platform::IsDesktopEntryPath(target))
        return EntryTrusted(LaunchOwner, target) && Report(platform::Launch().StartDesktopEntry(target), QStringLiteral("Error executing command"),
                      target);
    return ExecuteCommand(target, directory);
}

} // namespace

void ShowLaunchError(QWidget *owner, const QString &caption, const QString &file, const QString &systemText)
{
    forms::Warn(owner, "Trying to open \"" + file + "\"\n" + systemText, caption);
}

bool OpenDocument(const QString &path)
{
    return Report(platform::Launch().OpenPath(path), QStringLiteral("Error opening document"), path);
}

bool OpenUrl(const QString &url)
{
    const QString uri = QString::fromStdString(UrlForOpening(url.toStdString()));
    return Report(platform::Launch().OpenUri(uri), QStringLiteral("Error opening URL"), url);
}

bool OpenFolder(const QString &path)
{
    return Report(platform::Launch().OpenPath(path), QStringLiteral("Error opening folder"), path);
}

bool ExecuteCommand(const QString &command, const QString &directory)
{
    return Report(platform::Launch().Spawn(command, directory), QStringLiteral("Error executing command"),
                  command);
}

bool StartProgram(QWidget *owner, const QString &program, const QStringList &arguments,
                  const QString &directory)
{
    if (!FileThere(owner, program))
        return false;
    // A desktop entry on its own starts its application, as a link to it does.
    const bool entry = platform::IsDesktopEntryPath(program) && arguments.isEmpty();
    if (entry && !EntryTrusted(owner, program))
        return false;
    const platform::LaunchResult r = entry ? platform::Launch().StartDesktopEntry(program)
                                           : platform::Launch().Spawn(program, arguments, directory);
    return Report(r, QStringLiteral("Error executing command"), program, owner);
}

void OpenLink(int type, const QString &target)
{
    switch (type) {
    case 0: // Applications
    case 3: // Files
    case 4: // Games
        if (!FileThere(LaunchOwner, target))
            return;
        break;
    case 2: // Directories
        if (!IsDirectory(target)) {
            forms::Warn(LaunchOwner, target + " does not exist!", QStringLiteral("Open Folder"));
            return;
        }
        break;
    default:
        break;
    }
    const QString directory = QString::fromStdString(DirectoryOfTarget(target.toStdString()));
    switch (type) {
    case 0:
        StartApplication(target, directory);
        break;
    case 1:
        OpenUrl(target);
        break;
    case 2:
        OpenFolder(target);
        break;
    case 3:
        OpenDocument(target);
        break;
    case 4:
        if (LaunchOwner)
            LaunchOwner->hide();
        StartApplication(target, directory);
        break;
    default: // Multiple, or a value no version writes: nothing to launch
        break;
    }
}
