#pragma once

// Starting programs and handing documents, folders and web addresses to the
// desktop's default applications.

#include <QString>
#include <QStringList>

namespace platform {

struct LaunchResult {
    bool ok = false;
    QString error; // the system's own text when !ok
};

class Launcher {
  public:
    virtual ~Launcher() = default;
    // Opens a web address with the user's default handler for its scheme.
    virtual LaunchResult OpenUri(const QString &uri) = 0;
    // Opens a local file or folder with its default application.
    virtual LaunchResult OpenPath(const QString &path) = 0;
    // Starts program as it is (no shell, no PATH search; a relative name is
    // taken from the launcher's own folder) with arguments, each handed over
    // as one word however it reads, in workingDir, or in the launcher's own
    // folder when that is empty. The process is not tracked and leaves no
    // zombie behind.
    virtual LaunchResult Spawn(const QString &program, const QStringList &arguments,
                               const QString &workingDir) = 0;
    // Starts the application a desktop entry ("*.desktop") describes, with no
    // files, as the desktop's own menu would: its Exec line with the field
    // codes handled, in its Path, in a terminal when it asks for one. The
    // error is the system's text, or says why the entry cannot be started
    // when it cannot be read, is no application, or its TryExec program is
    // missing. The process leaves no zombie behind.
    virtual LaunchResult StartDesktopEntry(const QString &path) = 0;
    // A program with no arguments, as a link starts it.
    LaunchResult Spawn(const QString &program, const QString &workingDir)
    {
        return Spawn(program, {}, workingDir);
    }
};

Launcher &Launch();

} // namespace platform
