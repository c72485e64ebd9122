#include "CategoryTypeDropDown.h"

#include "Kvguiglobals.h"

TKVCategoryTypeDropDown::TKVCategoryTypeDropDown(QWidget *parent) : QComboBox(parent)
{
    for (int t = ctApplications; t <= ctMultiple; ++t)
        addItem(QString::fromLatin1(KVUIOperationClass::CategoryTypeText(t)));
    setCurrentIndex(0);
}

void TKVCategoryTypeDropDown::RemoveMultiple()
{
    const int i = findText(QString::fromLatin1(KVUIOperationClass::CategoryTypeText(ctMultiple)));
    if (i >= 0)
        removeItem(i);
}
