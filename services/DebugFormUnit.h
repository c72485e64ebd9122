#pragma once

#include <QWidget>

class TDebugForm : public QWidget {
    Q_OBJECT
public:
    explicit TDebugForm(QWidget *parent = nullptr);
};

extern TDebugForm *DebugForm;
