#pragma once

// The import dialog: the categories proposed from the installed applications,
// each with a check box and its number of links. Like the add-link dialog it
// never touches the model; the caller fills it, shows it modally and reads
// the chosen proposals when Accepted is set.

#include <vector>

#include <QDialog>

#include "ImportApplications.h"

class QLabel;
class QListWidget;
class QPushButton;

class TImportForm : public QDialog {
    Q_OBJECT
  public:
    explicit TImportForm(QWidget *parent = nullptr);
    ~TImportForm() override;

    // The controls are built when the dialog is first needed.
    void EnsureBuilt();

    // Lists the proposals as "Name (links)", checked as checked says (all,
    // when it is shorter), and tells how many category slots are free.
    void Prepare(const std::vector<ImportProposal> &proposals, const std::vector<bool> &checked,
                 int freeSlots);

    // The indices of the checked proposals, in the list's order.
    std::vector<int> Chosen() const;

    void OKButtonClick();
    void CancelButtonClick();
    // OK needs at least one category checked.
    void UpdateImportState();

    bool Accepted = false;

    QLabel *PromptLabel = nullptr;
    QListWidget *ProposalList = nullptr;
    QLabel *NoteLabel = nullptr;
    QPushButton *CancelButton = nullptr;
    QPushButton *OKButton = nullptr;

    void setVisible(bool visible) override;

  protected:
    void showEvent(QShowEvent *e) override;

  private:
    int m_freeSlots = 0;
};

// The dialog the main window imports with; null until it is created and
// again once it is destroyed.
extern TImportForm *ImportForm;
