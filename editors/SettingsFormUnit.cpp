#include "SettingsFormUnit.h"

TSettingsForm *SettingsForm = nullptr;

TSettingsForm::TSettingsForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Kestrava Settings"));
}

void ShowSettingsPage(int)
{
    // The pages come with the settings form itself.
}
