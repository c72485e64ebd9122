#include "SettingsFormUnit.h"

TSettingsForm *SettingsForm = nullptr;

TSettingsForm::TSettingsForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Kestrava Settings"));
}
