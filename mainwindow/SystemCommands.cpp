#include "SystemCommands.h"

#include <QWidget>

#include "DebugFormUnit.h"
#include "Dialogs.h"
#include "Platform.h"
#include "RunDialogUnit.h"
#include "SystemServices.h"

void ConnectToInternet(QWidget *owner)
{
    const platform::ServiceResult r = platform::Networking().Connect();
    if (r.ok)
        return;
    WriteFaultLine("no internet connection: " + r.error);
    forms::Warn(owner, QStringLiteral("Error opening internet connection!"),
                QStringLiteral("Internet Connection"));
}

void OpenRunDialog(QWidget *owner)
{
    TRunDialog::Open(owner);
}

void ShowDesktop()
{
    if (!platform::Windows().ShowDesktop())
        WriteDebugLine(QStringLiteral("Show desktop: no window system to ask"));
}

void EndSession(QWidget *owner, SessionEnd how)
{
    struct Command {
        const char *question;
        const char *caption;
        platform::ServiceResult (platform::SessionControl::*request)();
    };
    static const Command commands[] = {
        {"Do you really want to log off the the current user?", "Log Off", &platform::SessionControl::LogOff},
        {"Do you really want to restart the computer?", "Restart", &platform::SessionControl::Reboot},
        {"Do you really want to shut down the computer?", "Shut Down", &platform::SessionControl::PowerOff},
    };
    const Command &c = commands[static_cast<int>(how)];
    if (!forms::Confirm(owner, QString::fromUtf8(c.question), QString::fromUtf8(c.caption)))
        return;
    // No box: a refusal is the system's decision. What went wrong is still
    // said on stderr, so that a desktop without the service is not a mystery.
    const platform::ServiceResult r = (platform::Session().*c.request)();
    if (!r.ok)
        WriteFaultLine(QString::fromUtf8(c.caption) + " failed: " + r.error);
}
