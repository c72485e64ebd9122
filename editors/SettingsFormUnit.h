#pragma once

// The settings form: the category editor with its member rows, the window
// switches and dock position, colours and fonts, and the About page. It edits
// the live model; whoever opens it keeps an undo copy (the main window's
// ShowSettingsPage).

#include <QDialog>
#include <QFont>

#include "Controls.h"
#include "Kvguiglobals.h"
#include "SettingsLayout.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSlider;
class QTabWidget;
class QTextEdit;
class TKVCategoryPanel;
class TKVCategoryTypeDropDown;
class TKVFontList;

class TSettingsForm : public QDialog {
    Q_OBJECT
  public:
    explicit TSettingsForm(QWidget *parent = nullptr);
    ~TSettingsForm() override;

    // The form is created with the program but opened rarely: its controls
    // are built when it is first needed.
    void EnsureBuilt();

    // 1 "Category Editor", 2 "Settings", 3 "About", 4 "Appearance"; any
    // other number "Settings".
    void SelectPage(int page);

    // Category editor
    void FormShow();
    void FormClose();
    void OKButtonClick();
    void CancelButtonClick();
    void PrevCatButtonClick();
    void NextCatButtonClick();
    void AddLinkButtonClick();
    void ClearLinksButtonClick();
    void CatNameEditChange();
    void CatTypeComboChange();
    void CatColourButtonClick();
    void LinksColourButtonClick();
    void SwitchCategory(int n);
    void WriteBackCategory();
    void UpdateCategoryControls();
    int ShownRowCount() const;
    bool HasIncompleteRows() const;
    bool IsNewCategory() const;
    void FreeRows();
    void FitRowWidths();
    void ShowCounter();
    void ResetCounter();
    // The link type a member row shows: the category's, or the row's own
    // in a category of several types.
    int EffectiveRowType(int slot) const;
    const MemberRowMetrics &RowMetrics();
    // The member numbers' font: the designed one, made smaller where the
    // face standing in for it is too wide for every number up to 50 to fit
    // in the margin left of the edits.
    const QFont &MemberNumberFont();

    // Settings, Appearance and About pages
    void DockRadioClick(int position);
    void SwitchBoxClick();
    void PickColour(int role);
    void WinColoursCheckClick();
    void DefaultsButtonClick();
    void TitleFontComboChange();
    void UpdateDockShapes();
    void UpdateColourShapes();
    void LinkLabelMouseDown();
    void LinkLabelMouseUp();

    // The home-page link's text, at rest.
    static constexpr TColor kLinkColour = 0xFF0000;

    int CurrentCategory = 0;
    int MemberCount[kMaxCategories] = {};
    TKVCategoryPanel *Rows[kMaxLinks] = {};
    bool OKPressed = false;

    // The designed controls, built by EnsureBuilt.
    QTabWidget *PageControl = nullptr;
    QWidget *SettingsSheet = nullptr;
    QWidget *TabSheet1 = nullptr; // "Category Editor"
    QWidget *AppearanceSheet = nullptr;
    QWidget *AboutSheet = nullptr;
    QPushButton *OKButton = nullptr;
    QPushButton *CancelButton = nullptr;
    forms::TLabel *VersionLabel = nullptr;
    forms::TLabel *LinkLabel = nullptr;

    QPushButton *PrevCatButton = nullptr;
    QPushButton *NextCatButton = nullptr;
    QLabel *CatIndexPanel = nullptr;
    QLineEdit *CatNameEdit = nullptr;
    TKVCategoryTypeDropDown *CatTypeDropDown = nullptr;
    QPlainTextEdit *CatDescMemo = nullptr;
    QPushButton *CatColourButton = nullptr;
    QPushButton *LinksColourButton = nullptr;
    forms::TShape *CatColorShape = nullptr;
    forms::TShape *LinkColorShape = nullptr;
    QWidget *Panel1 = nullptr;
    QPushButton *AddLinkButton = nullptr;
    QLabel *Label3 = nullptr; // the member counter
    QPushButton *ClearLinksButton = nullptr;
    QScrollArea *TargetBox = nullptr;
    QWidget *TargetContent = nullptr; // the rows' parent inside TargetBox

    QCheckBox *AMCheck = nullptr;
    QCheckBox *DWCheck = nullptr;
    QCheckBox *AOTCheck = nullptr;
    QCheckBox *AACheck = nullptr;
    QCheckBox *MOSRCheck = nullptr;
    QSlider *AlphaTrack = nullptr;
    QLineEdit *AppNameEdit = nullptr;
    forms::TShape *DockShapes[11] = {};
    QRadioButton *DockRadios[11] = {};

    forms::TShape *ColourShapes[9] = {};
    QPushButton *ColourButtons[9] = {};
    QCheckBox *WinColoursCheck = nullptr;
    QCheckBox *LinkIconsCheck = nullptr; // "Show icons", kept in Kestrava.ini
    TKVFontList *TitleFontCombo = nullptr;
    TKVFontList *HeadingFontCombo = nullptr;
    TKVFontList *LinkFontCombo = nullptr;
    QPushButton *DefaultsButton = nullptr;

    QLabel *Label5 = nullptr; // the About page's title
    QTextEdit *Memo1 = nullptr;

    void setVisible(bool visible) override;

  protected:
    void showEvent(QShowEvent *e) override;
    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

  private:
    void BuildEditorPage();
    void BuildSettingsPage();
    void BuildAppearancePage();
    void BuildAboutPage();
    void BuildFooter();
    void LoadCategoryFields(int c);
    void LoadSettingsPage();
    void StorePages();
    // The preferences of the ini file: into the model, and the file when changed.
    void StorePreferences();
    void FillFontLists();
    void SelectStoredFonts();
    // Rows of the current category for every slot, loaded with colour and text.
    void LoadAllRows();
    void FitContent();
    TKVCategoryPanel *RowAt(int slot);
    bool CheckCategory(const char *incompleteMessage);
    bool UntouchedNewCategory() const;
    MemberRowMetrics m_rowMetrics;
    QFont m_numberFont;
    bool m_numberFontKnown = false;
    bool m_metricsKnown = false;
    bool m_closing = false;
};

extern TSettingsForm *SettingsForm;
