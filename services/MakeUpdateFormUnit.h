#pragma once

// The maintainers' dialog that writes uilv.bin, the update information file
// the update check downloads: this build's version and its installer's name.

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

class TMakeUpdateForm : public QWidget {
    Q_OBJECT
  public:
    explicit TMakeUpdateForm(QWidget *parent = nullptr);

    void BrowseButtonClick();
    void SaveButtonClick();

    QLabel *VersionLabel;
    QLabel *Label1; // the version number
    QLineEdit *InstallFileName;
    QLineEdit *OutputEdit;
    QPushButton *BrowseButton;
    QPushButton *SaveButton;

  private:
    QString m_outputFile; // chosen with Browse
};

extern TMakeUpdateForm *MakeUpdateForm;
