#pragma once

#include <QWidget>

class TClockForm : public QWidget {
    Q_OBJECT
  public:
    explicit TClockForm(QWidget *parent = nullptr);
};

extern TClockForm *ClockForm;
