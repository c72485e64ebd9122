#pragma once

// The category area: a scrolling box with one panel per category, each with
// a header, a small box of buttons and one label per link.

#include <QCheckBox>
#include <QFont>
#include <QIcon>
#include <QRect>
#include <QScrollArea>
#include <QWidget>

#include "Controls.h"
#include "Hints.h"
#include "Kvguiglobals.h"

class QPainter;
class TKVPanel;
class TKVGUIForm;

// Number of category panels that exist.
extern int PanelCount;

// A label without a window of its own, like the form library's labels: its
// panel paints it and hands it the mouse. A thousand links cost a thousand
// small records, not a thousand windows.
class TKVClickableLabel {
  public:
    explicit TKVClickableLabel(TKVPanel *panel) : m_panel(panel) {}
    virtual ~TKVClickableLabel() = default;

    int categoryIndex = 0;
    int type = 0;
    int linkIndex = 0;
    TColor savedFontColour = 0;

    int x() const { return m_bounds.x(); }
    int y() const { return m_bounds.y(); }
    int width() const;
    int height() const { return m_bounds.height(); }
    QRect geometry() const { return {m_bounds.topLeft(), QSize(width(), height())}; }
    void SetBounds(int left, int top, int width, int height);
    void Move(int left, int top);

    const QString &text() const { return m_caption; }
    // With auto size on, the label takes the size of its text.
    void setCaption(const QString &caption);
    void setAutoSize(bool on);
    const QString &toolTip() const { return m_hint; }
    void setToolTip(const QString &hint) { m_hint = hint; }
    const QFont &font() const { return m_font; }
    void setFont(const QFont &font);
    TColor fontColour() const { return m_colour; }
    void setFontColour(TColor colour);
    // With the icon slot on, the label starts with room for a 16 x 16 icon
    // (drawn once icons may load) and its text moves right by that much.
    void setIconSlot(bool on);
    bool hasIconSlot() const { return m_iconSlot; }

    void Paint(QPainter &p) const;
    // Mouse notifications from the panel.
    void MouseEnter();
    void MouseLeave();
    void MouseDown();
    void MouseUp(bool inside);
    virtual void Click() = 0;

  protected:
    virtual bool BoldAtRest() const = 0;
    // The icon the slot shows; none by default.
    virtual QIcon Icon() const { return {}; }
    TKVPanel *m_panel;

  private:
    void Fit();
    void Repaint() const;
    void Underline(bool on);
    // Auto-sized labels learn their width only when it is asked for: shaping
    // the text of a thousand links up front would cost more than the rest
    // of the start-up, and most of them are never shown.
    mutable QRect m_bounds;
    mutable bool m_widthPending = false;
    QString m_caption;
    QString m_hint;
    QFont m_font;
    TColor m_colour = 0;
    bool m_autoSize = false;
    bool m_pressed = false;
    bool m_iconSlot = false;
};

class TKVCatHeaderLabel : public TKVClickableLabel {
  public:
    using TKVClickableLabel::TKVClickableLabel;
    void Click() override;

  protected:
    bool BoldAtRest() const override { return true; }
};

class TKVLabel : public TKVClickableLabel {
  public:
    using TKVClickableLabel::TKVClickableLabel;
    QString linkName;
    QString linkTarget;
    void Click() override;

  protected:
    bool BoldAtRest() const override { return false; }
    QIcon Icon() const override; // the link's, from the run's icon cache
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

  protected:
    void enterEvent(QEnterEvent *e) override;
};

class TKVPanel : public QWidget, public forms::HintSource {
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

    // The label under a point of the panel, or null.
    TKVClickableLabel *LabelAt(QPoint p) const;
    bool HintAt(QPoint pos, QString &hint, QRect &area) const override;
    // The label under the mouse, or null to clear the hover.
    void Hover(TKVClickableLabel *label);
    // Where dropped links would land, marked while a drag is over the panel;
    // empty otherwise (PanelDrops.cpp).
    QRect DropMark() const { return m_dropMark; }

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
    void mouseMoveEvent(QMouseEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void leaveEvent(QEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dragMoveEvent(QDragMoveEvent *e) override;
    void dragLeaveEvent(QDragLeaveEvent *e) override;
    void dropEvent(QDropEvent *e) override;

  private:
    bool m_counted = true;
    QRect m_dropMark;
    void SetDropMark(const QRect &mark);
    TKVClickableLabel *m_hovered = nullptr;
    TKVClickableLabel *m_pressed = nullptr;
    TKVLabel *MakeLinkLabel(int k, const QFont &font);
    void StackLinks();
    void FitHeader();
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
    // Scrolls by the wheel's increment (8 pixels) per notch (a delta of 120),
    // up for delta > 0; finer wheels add up to whole notches.
    void WheelScroll(int delta);
    // Fits the scrolled content to the panels after they moved.
    void UpdateContentSize();

    // Creates the panel for category i (start-up, or a category added later).
    TKVPanel *CreatePanel(int i);
    void DeleteCategory(int d);

    TKVPanel *panels[kMaxCategories] = {};

  protected:
    void resizeEvent(QResizeEvent *e) override;

  private:
    int m_wheelRest = 0;
};

// The main form the panels report to; set by the main window.
TKVGUIForm *PanelsForm();
