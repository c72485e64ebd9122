#pragma once

// The maintainers' log window: shown, and written to, only in debug mode.

#include <QWidget>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TDebugForm : public QWidget {
    Q_OBJECT
  public:
    explicit TDebugForm(QWidget *parent = nullptr);
    // Appends text as one line; an empty text adds nothing.
    void AddLine(const QString &text);
    void Button1Click();

    QComboBox *ComboBox1;
    QLineEdit *Edit1;
    QPushButton *Button1;
    QPlainTextEdit *Memo1;

  protected:
    void closeEvent(QCloseEvent *e) override;
};

extern TDebugForm *DebugForm;

// One line into the debug window, only while debug mode is on.
void WriteDebugLine(const QString &text);
// Something the program could not do that the user never sees a box for (a
// save, a request to end the session): one line on stderr, always, and into
// the debug window as WriteDebugLine does.
void WriteFaultLine(const QString &text);
// The current fonts and window switches, as written after the settings change.
void WriteSettingsDump();
