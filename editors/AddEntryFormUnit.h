#pragma once

#include <QDialog>

class TAddEntryForm : public QDialog {
    Q_OBJECT
  public:
    explicit TAddEntryForm(QWidget *parent = nullptr);
};

extern TAddEntryForm *AddEntryForm;
