#include "DebugFormUnit.h"

TDebugForm *DebugForm = nullptr;

TDebugForm::TDebugForm(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Kestrava Debugger"));
}
