#include "Execute.h"

#include <sys/stat.h>

#include <QFile>
#include <QWidget>

#include "DesktopEntries.h"
#include "Dialogs.h"
#include "LaunchPaths.h"
#include "Launcher.h"

QWidget *LaunchOwner = nullptr;

namespace {

bool IsDirectory(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A file is there when its modification time can be read; a folder is not a
// file to open or run.
bool IsFile(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool Report(const platform::LaunchResult &r, const QString &caption, const QString &file,
            QWidget *owner = LaunchOwner)
{
    if (!r.ok)
        ShowLaunchError(owner, caption, file, r.error);
    return r.ok;
}

// A program or document must be there before anything is asked to open it.
bool FileThere(QWidget *owner, const QString &path)
{
    if (IsFile(path))
        return true;
    forms::Warn(owner, path + " does not exist!", QStringLiteral("Execute File"));
    return false;
}

// What an application or game link starts: a desktop entry's application as
// the desktop's menu would (in the entry's own Path), any other file as a
// program in directory.
bool StartApplication(const QString &target, const QString &directory)
{
    if (platform::IsDesktopEntryPath(target))
        return Report(platform::Launch().StartDesktopEntry(target), QStringLiteral("Error executing command"),
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
    const platform::LaunchResult r = platform::IsDesktopEntryPath(program) && arguments.isEmpty()
                                         ? platform::Launch().StartDesktopEntry(program)
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
