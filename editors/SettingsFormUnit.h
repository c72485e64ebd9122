#pragma once

#include <QDialog>

class TSettingsForm : public QDialog {
    Q_OBJECT
  public:
    explicit TSettingsForm(QWidget *parent = nullptr);
};

extern TSettingsForm *SettingsForm;

// Opens the settings form on page 1 "Category Editor", 2 "Settings", 3
// "About" or 4 "Appearance" (any other number shows "Settings").
void ShowSettingsPage(int page);
