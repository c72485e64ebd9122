#include "AddEntryFormUnit.h"

TAddEntryForm *AddEntryForm = nullptr;

TAddEntryForm::TAddEntryForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Add Link"));
}
