#include "ClockFormUnit.h"

TClockForm *ClockForm = nullptr;

TClockForm::TClockForm(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Big Clock"));
}
