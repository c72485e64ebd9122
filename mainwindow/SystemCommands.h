#pragma once

// The row of system buttons and the matching menu items: connect, Run, show
// desktop, log off, restart and shut down.

class QWidget;

enum class SessionEnd { LogOff, Restart, ShutDown };

// Brings up the default internet connection; a failure says so in a box.
void ConnectToInternet(QWidget *owner);
// The program's own Run dialog.
void OpenRunDialog(QWidget *owner);
// Hides every window, showing the desktop.
void ShowDesktop();
// Asks first; Yes ends the session as asked. A refusal shows nothing.
void EndSession(QWidget *owner, SessionEnd how);
