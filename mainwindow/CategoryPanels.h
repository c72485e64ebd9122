#pragma once

// The category area: a scrolling box with one panel per category, each with
// a header, a small box of buttons and one label per link.

#include <QCheckBox>
#include <QScrollArea>
#include <QWidget>

#include "Controls.h"
#include "Kvguiglobals.h"

class TKVPanel;
class TKVGUIForm;

// Number of category panels that exist.
extern int PanelCount;

class TKVClickableLabel : public forms::TLabel {
    Q_OBJECT
public:
    explicit TKVClickableLabel(QWidget *parent);
    int categoryIndex = 0;
    int type = 0;
    int linkIndex = 0;
    TColor savedFontColour = 0;

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void enterEvent(QEnterEvent *e) override;
    void leaveEvent(QEvent *e) override;
    virtual bool BoldAtRest() const = 0;
    virtual void Click() = 0;

private:
    bool m_pressed = false;
};

class TKVCatHeaderLabel : public TKVClickableLabel {
    Q_OBJECT
public:
    using TKVClickableLabel::TKVClickableLabel;

protected:
    bool BoldAtRest() const override { return true; }
    void Click() override;
};

class TKVLabel : public TKVClickableLabel {
    Q_OBJECT
public:
    using TKVClickableLabel::TKVClickableLabel;
    QString linkName;
    QString linkTarget;
    void Click() override;

protected:
    bool BoldAtRest() const override { return false; }
};

class TKVButton : public forms::TSpeedButton {
    Q_OBJECT
public:
    explicit TKVButton(QWidget *parent);
    int categoryType = 0;
    int categoryIndex = 0;
    virtual void Click();
};

class TKVCatDeleteButton : public TKVButton {
    Q_OBJECT
public:
    using TKVButton::TKVButton;
    void Click() override;
};

class TKVCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit TKVCheckBox(QWidget *parent);
    int categoryIndex = 0;
    void Click();
};

class TKVCatButtonPanel : public QWidget {
    Q_OBJECT
public:
    explicit TKVCatButtonPanel(QWidget *parent, int categoryIndex, int categoryType);
    int categoryIndex;
    int categoryType;
    TKVCheckBox *checkBox;
    TKVButton *addButton;
    TKVCatDeleteButton *deleteButton;
};

class TKVPanel : public QWidget {
    Q_OBJECT
public:
    // Builds the panel of category index with its current links.
    TKVPanel(QWidget *parent, int index, int linkCount, int type);
    ~TKVPanel() override;

    void RebuildPanel(int index);
    void ArrangePanel();
    int PanelHeight() const;
    void ToggleOpen();
    void SetHoverOpen(bool wanted);
    void ApplyFonts();
    // Takes the panel out of the count and off the screen at once and frees
    // it later: it may be the sender of the click that deletes it.
    void Retire();

    TKVLabel *linkLabels[kMaxLinks] = {};
    TKVCatHeaderLabel *header = nullptr;
    TKVCatButtonPanel *buttonPanel = nullptr;
    TKVCheckBox *checkBox = nullptr;
    TKVButton *addButton = nullptr;
    TKVCatDeleteButton *deleteButton = nullptr;
    int categoryType = -1;
    bool open = false;
    bool previousOpen = false;
    int categoryIndex = 0;
    int linkCount = 0;

protected:
    void paintEvent(QPaintEvent *) override;

private:
    bool m_counted = true;
    TKVLabel *MakeLinkLabel(int k);
    void StackLinks();
};

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
    // Fits the scrolled content to the panels after they moved.
    void UpdateContentSize();

    // Creates the panel for category i (start-up, or a category added later).
    TKVPanel *CreatePanel(int i);
    void DeleteCategory(int d);

    TKVPanel *panels[kMaxCategories] = {};

protected:
    void resizeEvent(QResizeEvent *e) override;
};

// The main form the panels report to; set by the main window.
TKVGUIForm *PanelsForm();
