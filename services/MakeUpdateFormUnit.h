#pragma once

#include <QWidget>

class TMakeUpdateForm : public QWidget {
    Q_OBJECT
  public:
    explicit TMakeUpdateForm(QWidget *parent = nullptr);
};

extern TMakeUpdateForm *MakeUpdateForm;
