#include "Dialogs.h"

#include <deque>

#include <QMessageBox>
#include <QPushButton>

namespace forms {

namespace {

std::deque<int> &Answers()
{
    static std::deque<int> answers;
    return answers;
}

std::vector<ShownMessage> &Shown()
{
    static std::vector<ShownMessage> shown;
    return shown;
}

bool unattended = false;

} // namespace

void SetUnattended(bool on)
{
    unattended = on;
}

void SetNextAnswer(int answer)
{
    Answers().push_back(answer);
}

bool HasScriptedAnswers()
{
    return !Answers().empty();
}

const std::vector<ShownMessage> &ShownMessages()
{
    return Shown();
}

void ClearShownMessages()
{
    Shown().clear();
    Answers().clear();
}

int MessageBox(QWidget *owner, const QString &text, const QString &caption, Buttons buttons, Icon icon,
               int defaultButton)
{
    if (!Answers().empty()) {
        Shown().push_back({text, caption, buttons, icon, defaultButton});
        int answer = Answers().front();
        Answers().pop_front();
        return answer;
    }
    if (unattended) {
        Shown().push_back({text, caption, buttons, icon, defaultButton});
        if (buttons == Buttons::YesNo)
            return defaultButton == 2 ? idNo : idYes;
        return idOK;
    }
    QMessageBox box(owner);
    box.setWindowTitle(caption);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case Icon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    if (buttons == Buttons::YesNo) {
        QPushButton *yes = box.addButton(QMessageBox::Yes);
        QPushButton *no = box.addButton(QMessageBox::No);
        box.setDefaultButton(defaultButton == 2 ? no : yes);
        box.setEscapeButton(no);
        box.exec();
        // A box that closes without a choice (the program quitting under it)
        // is a No: nothing may proceed on it.
        return box.clickedButton() == yes ? idYes : idNo;
    }
    box.addButton(QMessageBox::Ok);
    box.exec();
    return idOK;
}

bool Confirm(QWidget *owner, const QString &text, const QString &caption)
{
    return MessageBox(owner, text, caption, Buttons::YesNo, Icon::Exclamation, 2) != idNo;
}

void Warn(QWidget *owner, const QString &text, const QString &caption)
{
    MessageBox(owner, text, caption, Buttons::OK, Icon::Exclamation, 1);
}

void ShowException(const QString &message)
{
    QString text = message;
    if (!text.isEmpty() && !text.endsWith('.'))
        text += '.';
    MessageBox(nullptr, text, QStringLiteral("Kestrava"), Buttons::OK, Icon::Error);
}

} // namespace forms
