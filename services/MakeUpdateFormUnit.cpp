#include "MakeUpdateFormUnit.h"

TMakeUpdateForm *MakeUpdateForm = nullptr;

TMakeUpdateForm::TMakeUpdateForm(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Make Update File"));
}
