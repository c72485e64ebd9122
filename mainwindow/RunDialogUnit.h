#pragma once

// The Run dialog: one command line, started the way an application link
// starts its program, with completion of the programs on PATH.

#include <QDialog>
#include <QStringList>

#include "CommandWords.h"

class QCompleter;
class QLabel;
class QLineEdit;
class QPushButton;

// The folders of a PATH value that may be searched: empty and relative
// entries would mean the current folder, which is never searched.
QStringList SearchFolders(const QString &pathValue);
// The first executable file called name in those folders, or empty.
QString FindOnPath(const QString &name, const QString &pathValue);
// The names of the executable files in those folders, sorted, each once.
QStringList ProgramsOnPath(const QString &pathValue);

class TRunDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TRunDialog(QWidget *owner);
    ~TRunDialog() override;

    // Shows the dialog, or brings the one already open to the front.
    static TRunDialog *Open(QWidget *owner);

    // Starts what the command line says; false, with the reason shown, when
    // nothing started.
    bool StartCommandLine();
    void accept() override;

    QLabel *PromptLabel;
    QLabel *OpenLabel;
    QLineEdit *CommandEdit;
    QCompleter *Completer;
    QPushButton *OKButton;
    QPushButton *CancelButton;
};

// The open Run dialog, or null.
extern TRunDialog *RunDialog;
