#pragma once

// Turns a click on a link into the right launch for its type, and reports
// what went wrong in the system's own words.

#include <QString>
#include <QStringList>

class QWidget;

// The window that owns launch messages and is hidden before a game starts;
// the main window sets it.
extern QWidget *LaunchOwner;

// An application or game link whose target is a desktop entry ("*.desktop")
// starts the application the entry describes.
void OpenLink(int type, const QString &target);
bool OpenDocument(const QString &path);
bool OpenUrl(const QString &url);
bool OpenFolder(const QString &path);
bool ExecuteCommand(const QString &command, const QString &directory);
// Starts program with arguments in directory the way an application link
// starts its target: the file must be there, and a failure is reported to
// owner in the same words. False when nothing started.
bool StartProgram(QWidget *owner, const QString &program, const QStringList &arguments,
                  const QString &directory);
void ShowLaunchError(QWidget *owner, const QString &caption, const QString &file, const QString &systemText);
