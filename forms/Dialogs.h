#pragma once

// Message boxes with fixed captions, icons and default buttons. Every box of
// the program goes through here, so a test can script the next answers.

#include <optional>
#include <vector>

#include <QString>

#include "Kvguiglobals.h"

class QWidget;

namespace forms {

enum class Buttons { OK, YesNo };
enum class Icon { None, Exclamation, Information, Question, Error };
enum Answer { idOK = 1, idCancel = 2, idYes = 6, idNo = 7 };

// defaultButton is 1 for the first button, 2 for the second.
int MessageBox(QWidget *owner, const QString &text, const QString &caption, Buttons buttons, Icon icon,
               int defaultButton = 1);

// Questions of the program: Yes and No, exclamation icon, No as default.
bool Confirm(QWidget *owner, const QString &text, const QString &caption);

// Input errors and launch failures: OK button, exclamation icon.
void Warn(QWidget *owner, const QString &text, const QString &caption);

// The framework's display of an exception that reached the entry function:
// its message as a sentence, under the program's title.
void ShowException(const QString &message);

struct ShownMessage {
    QString text;
    QString caption;
    Buttons buttons;
    Icon icon;
    int defaultButton;
};

// Test seam: while answers are queued, no box is shown; each box takes the
// next answer and is recorded.
void SetNextAnswer(int answer);
// Unattended (tests): a box with no scripted answer takes its default button
// instead of waiting for a person, and is recorded like the others.
void SetUnattended(bool on);
bool HasScriptedAnswers();
const std::vector<ShownMessage> &ShownMessages();
// Also forgets the scripted and recorded colour and file dialogs.
void ClearShownMessages();

// The colour dialog, opened on initial: true with *chosen set when the user
// confirmed a colour.
bool PickColour(QWidget *owner, TColor initial, TColor *chosen);

// The open-file dialog. filter is in the form library's notation, pairs of
// "description|patterns" joined by '|': "Executables (*.exe)|*.exe" shows
// files with the execute bit and desktop entries, "*.*" every file. True with
// *fileName set when the user chose a file.
bool OpenFileName(QWidget *owner, const QString &filter, QString *fileName);

// The save-file dialog, with a filter as above; a name typed without an
// extension gets defaultSuffix ("html"). Asks before replacing a file.
bool SaveFileName(QWidget *owner, const QString &filter, const QString &defaultSuffix, QString *fileName);

// Test seams, like SetNextAnswer: each dialog (open or save) takes the next scripted answer
// (nullopt or an empty name: cancelled) and is recorded with what it was
// opened on. Unattended, an unscripted dialog is cancelled.
void SetNextColour(std::optional<TColor> colour);
void SetNextFileName(const QString &fileName);
const std::vector<TColor> &ShownColourDialogs(); // the initial colours
const std::vector<QString> &ShownFileDialogs();  // the filters

} // namespace forms
