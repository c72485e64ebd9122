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
    WriteDebugLine("Internet connection: " + r.error);
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
    // A refusal is the system's decision, and the user is not told of it.
    const platform::ServiceResult r = (platform::Session().*c.request)();
    if (!r.ok)
        WriteDebugLine(QString::fromUtf8(c.caption) + ": " + r.error);
}
