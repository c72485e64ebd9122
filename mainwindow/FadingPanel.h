#pragma once

// The sliding sections below the category area: a panel that grows and
// shrinks a little on every animation tick, with a clickable header strip.

#include <QWidget>

#include "Animation.h"
#include "Kvguiglobals.h"

class TKVFadingPanel;

class TKVFadingPanelHeader : public QWidget {
    Q_OBJECT
  public:
    explicit TKVFadingPanelHeader(TKVFadingPanel *owner);
    void RefreshColours();
    TColor color() const { return m_colour; }
    // Whether the pointer is over the header, as found after the header
    // moved: the window system tells of no crossing when a window moves
    // under a pointer that stays where it is.
    void PointerOver(bool over);

  protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void enterEvent(QEnterEvent *e) override;
    void leaveEvent(QEvent *e) override;

  private:
    void SetColour(TColor c);
    TColor m_normal = 0, m_hover = 0, m_saved = 0, m_colour = 0;
    TKVFadingPanel *m_owner;
    bool m_pressed = false;
};

class TKVFadingPanel : public QWidget {
    Q_OBJECT
  public:
    explicit TKVFadingPanel(QWidget *parent);

    void SetLimits(int minHeight, int maxHeight);
    int MinHeight() const { return m_min; }
    int MaxHeight() const { return m_max; }
    void SetOpen(bool open);
    bool Open() const { return m_open; }
    bool AtMinimum() const { return m_min >= height(); }
    bool AtMaximum() const { return m_max <= height(); }
    // Done sliding: fully open, or fully shut.
    bool Settled() const { return m_open ? AtMaximum() : AtMinimum(); }
    // Sets the height at once (and the fractional height with it).
    void SetHeightNow(int h);
    void Step(double elapsedMs);

    double duration = 1.0;
    int headerSide = 1;
    int gap = 1;
    QWidget *controlAbove = nullptr;
    QWidget *controlBelow = nullptr;
    QWidget *content = nullptr;
    TKVFadingPanelHeader *header = nullptr;

  signals:
    void openChanged(bool open);

  private:
    double m_fractional = 10;
    int m_min = 0;
    int m_max = 10;
    bool m_open = false;
};
