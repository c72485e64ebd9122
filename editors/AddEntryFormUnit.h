#pragma once

// The add-link dialog: one new link for a category, chosen from the main
// window. The dialog never touches the model; the caller fills its section
// list, shows it modally and reads the edits when Accepted is set.

#include <QDialog>

#include "Kvguiglobals.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class TKVCategoryTypeDropDown;

namespace forms {
class TLabel;
}

class TAddEntryForm : public QDialog {
    Q_OBJECT
  public:
    explicit TAddEntryForm(QWidget *parent = nullptr);
    ~TAddEntryForm() override;

    // The dialog is made with the program but opened rarely: its controls
    // are built when it is first needed, and exist after this.
    void EnsureBuilt();

    // Fills the section list with the operation model's categories, selects
    // clickedCategory and empties the edits, ready to show.
    void Prepare(int clickedCategory);
    // After Prepare: fills the edits with a link worked out for the user
    // (something dropped on a category), to check and confirm. The type is
    // chosen where the section holds several types.
    void Prefill(const QString &name, const QString &target, int linkType);

    // The type of the link the input describes: the selector's for a
    // category of several types, else the category's own; -1 without a
    // section.
    int LinkType() const;

    void FormShow();
    void AddEntryOKClick();
    void CancelButtonClick();
    void BrowseButtonClick();
    void SectionChoiceChange();
    void ShortNameEditChange();
    void URLEditChange();
    // Brings the caption and the enabled state of the controls in step with
    // the input.
    void UpdateAddEntryState();

    bool Accepted = false;
    int SectionTypes[kMaxCategories];

    void setVisible(bool visible) override;

    forms::TLabel *LinkSectionLabel = nullptr;
    QComboBox *SectionChoice = nullptr;
    forms::TLabel *LinkNameLabel = nullptr;
    QLineEdit *ShortNameEdit = nullptr;
    forms::TLabel *LinkTypeLabel = nullptr;
    TKVCategoryTypeDropDown *TypeChoice = nullptr;
    forms::TLabel *LinkURLLabel = nullptr;
    QLineEdit *URLEdit = nullptr;
    QPushButton *BrowseButton = nullptr;
    QPushButton *CancelButton = nullptr;
    QPushButton *AddEntryOK = nullptr;

  protected:
    void showEvent(QShowEvent *e) override;

  private:
    bool InputComplete() const;
};

// The dialog the main window adds links with; null until it is created and
// again once it is destroyed.
extern TAddEntryForm *AddEntryForm;
