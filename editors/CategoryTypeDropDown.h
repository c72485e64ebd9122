#pragma once

#include <QComboBox>

// The category type selector: "Applications" .. "Multiple", its item index
// being the type. Link type selectors remove "Multiple".
class TKVCategoryTypeDropDown : public QComboBox {
    Q_OBJECT
  public:
    explicit TKVCategoryTypeDropDown(QWidget *parent);
    // Removes the "Multiple" entry, leaving the five link types.
    void RemoveMultiple();
};
