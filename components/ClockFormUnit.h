#pragma once

// The big clock: a small captionless window with the time, the weekday and
// the date in large letters. It is dragged with the mouse, snaps to the main
// window's edges and, while it sticks to one, goes along when the main window
// is dragged.

#include <QPoint>
#include <QRect>
#include <QWidget>

#include "ClockSnap.h"
#include "Controls.h"
#include "Kvguiglobals.h"

// The drag state of a window that sticks to another window's edges. The
// other window keeps it among the followers of its own drag.
struct TFollowerMover : TFollowerDrag {
    QWidget *window = nullptr;
    QWidget *anchor = nullptr;
    bool setUp = false;

    // The anchor has just been dragged by (dx, dy).
    void FollowerMove(int dx, int dy);
};

class TClockForm : public QWidget {
    Q_OBJECT
  public:
    explicit TClockForm(QWidget *parent = nullptr);

    void SetColours(TColor background, TColor text);
    TColor TextColour() const { return m_textColour; }
    // value 0..255, as the main window's transparency.
    void SetAlpha(int value);
    // A label is only touched when its text changes: the texts are offered
    // far more often than they change.
    void SetTexts(const QString &time, const QString &day, const QString &date);

    // Makes anchor the window this one snaps to and follows; the anchor's
    // drag then offers its moves to &mover.
    void SetUpMover(QWidget *anchor);
    void FollowerMove(int dx, int dy);
    void SnapCheck();

    // Where the clock goes for a stored place, and where it is centred, on a
    // screen with this geometry.
    QPoint ClampedPosition(QPoint stored, const QRect &screen) const;
    QPoint CentredPosition(const QRect &screen) const;

    forms::TLabel *TimeLabel;
    forms::TLabel *DateLabel;
    forms::TLabel *DayLabel;
    TFollowerMover mover;

  protected:
    void paintEvent(QPaintEvent *e) override;
    void showEvent(QShowEvent *e) override;
    // The labels let presses through, so these serve them as well.
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

  private:
    TColor m_textColour;
};

extern TClockForm *ClockForm;
