#pragma once

// Message boxes with fixed captions, icons and default buttons. Every box of
// the program goes through here, so a test can script the next answers.

#include <vector>

#include <QString>

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
void ClearShownMessages();

} // namespace forms
