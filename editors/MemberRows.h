#pragma once

// One member (link) of the category shown in the settings form's editor, as a
// row of controls: short name, path with browse, link type, number, and small
// buttons to move it up or down or delete it. Typing changes the model at
// once; moving and deleting act on the model and reload the rows.

#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "Controls.h"

class QLabel;
class TSettingsForm;
class TKVCategoryTypeDropDown;

// The open-file dialog's filter when browsing for the target of a link of
// linkType: every file for Files, programs for the other types. The settings
// form's rows and the add-entry dialog both browse with it.
QString BrowseFilterFor(int linkType);

// An edit with its caption above it, moving with it.
class TKVLabeledEdit : public QLineEdit {
    Q_OBJECT
  public:
    TKVLabeledEdit(QWidget *parent, const QString &caption);
    QLabel *EditLabel;
    int LinkIndex = 0;
};

class TKVNameLabeledEdit : public TKVLabeledEdit {
    Q_OBJECT
  public:
    TKVNameLabeledEdit(QWidget *parent, TSettingsForm *form);
};

class TKVURLLabeledEdit : public TKVLabeledEdit {
    Q_OBJECT
  public:
    TKVURLLabeledEdit(QWidget *parent, TSettingsForm *form);
};

class TKVCategoryPanelButton : public QPushButton {
    Q_OBJECT
  public:
    using QPushButton::QPushButton;
    int LinkIndex = 0;
};

class TKVSpecialPanelButton : public forms::TSpeedButton {
    Q_OBJECT
  public:
    TKVSpecialPanelButton(QWidget *parent, const QString &hint, int image);
    int LinkIndex = 0;
};

class TKVPanelUpButton : public TKVSpecialPanelButton {
    Q_OBJECT
  public:
    explicit TKVPanelUpButton(QWidget *parent);
};

class TKVPanelDownButton : public TKVSpecialPanelButton {
    Q_OBJECT
  public:
    explicit TKVPanelDownButton(QWidget *parent);
};

class TKVPanelDeleteButton : public TKVSpecialPanelButton {
    Q_OBJECT
  public:
    explicit TKVPanelDeleteButton(QWidget *parent);
};

class TKVCategoryPanel : public QWidget {
    Q_OBJECT
  public:
    TKVCategoryPanel(int linkIndex, QWidget *parent, TSettingsForm *form, int category);

    // category and index -1 keep the row's own.
    void LoadRow(int category, int index, bool applyColour, bool loadText);
    void PlaceAt(int width);

    TKVNameLabeledEdit *NameEdit;
    TKVURLLabeledEdit *PathEdit;
    QLabel *NumberLabel;
    TKVCategoryPanelButton *PathBrowseButton;
    TKVPanelDeleteButton *DeleteButton;
    TKVPanelDownButton *DownButton;
    TKVPanelUpButton *UpButton;
    QLabel *TypeLabel;
    int LinkIndex;
    int CategoryIndex;
    TKVCategoryTypeDropDown *TypeDropDown;

    void UpButtonClick();
    void DownButtonClick();
    void DeleteButtonClick();
    void PathBrowseButtonClick();

  protected:
    void resizeEvent(QResizeEvent *e) override;

  private:
    void MoveTo(int otherIndex);
    void LayOut();
    void ApplyRowColour(TColor colour);
    TSettingsForm *m_form;
};
