#pragma once

// The category area: a scrolling box with one panel per category.

#include <QScrollArea>

#include "Kvguiglobals.h"

class TKVPanel;

// Number of category panels that exist.
extern int PanelCount;

class TKVParentPanel : public QScrollArea {
    Q_OBJECT
public:
    explicit TKVParentPanel(QWidget *parent);
    ~TKVParentPanel() override;

    // The widget the panels live on; its width is the area's client width.
    QWidget *Content() const { return widget(); }
    int VertPosition() const;
    void SetVertPosition(int y);
    // Scrolls by the wheel's increment (8 pixels) per notch, up for delta > 0.
    void WheelScroll(int delta);
    void UpdateContentSize();

    TKVPanel *panels[kMaxCategories] = {};

protected:
    void resizeEvent(QResizeEvent *e) override;
};
