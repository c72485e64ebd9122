#pragma once

// The few controls the program's forms are built from, with the habits of the
// form library they were designed in.

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QPixmap>
#include <QSlider>
#include <QWidget>

#include <vector>

#include "Kvguiglobals.h"

namespace forms {

// A label draws on its parent and lets mouse presses it does not use reach
// the parent, like the form library's window-less labels.
class TLabel : public QLabel {
    Q_OBJECT
  public:
    explicit TLabel(QWidget *parent);
    // Label sized to its text, as with AutoSize on.
    void setAutoSize(bool on);
    bool autoSize() const { return m_autoSize; }
    void setCaption(const QString &text);

  signals:
    void clicked();
    void mouseEntered();
    void mouseLeft();

  protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void enterEvent(QEnterEvent *e) override;
    void leaveEvent(QEvent *e) override;
    void changeEvent(QEvent *e) override;

  private:
    void fit();
    bool m_autoSize = false;
    bool m_pressed = false;
    bool m_clickable = false;
    friend void MakeClickable(TLabel *label);
};

// Labels that react to clicks take the press themselves.
void MakeClickable(TLabel *label);

// A plain-text label of its text's size at (left, top).
QLabel *PlainLabel(QWidget *parent, const QString &text, int left, int top);
// A plain-text label over control, gap pixels above it, as captions of
// edits and lists sit.
QLabel *CaptionAbove(QWidget *control, const QString &text, int gap);

// The image list: 15 x 15 glyphs with magenta as the transparent colour.
class TImageList {
  public:
    // Loads image n from the resource glyphs/glyph<n>.png (and its @2x form).
    void LoadResourceGlyphs(int count);
    int Count() const { return static_cast<int>(m_images.size()); }
    QPixmap Image(int n) const;

  private:
    std::vector<QPixmap> m_images;
};

// A small speed button that shows only its glyph.
class TSpeedButton : public QAbstractButton {
    Q_OBJECT
  public:
    explicit TSpeedButton(QWidget *parent);
    void setGlyph(const QPixmap &glyph);
    QSize sizeHint() const override { return {15, 15}; }

  protected:
    void paintEvent(QPaintEvent *) override;
    void enterEvent(QEnterEvent *e) override;
    void leaveEvent(QEvent *e) override;

  private:
    QPixmap m_glyph;
    bool m_hover = false;
};

// Gives a horizontal track bar's handle the form library's thumb length: the
// handle is that many pixels across the groove and lies inside the track
// bar, with the ticks below it. The toolkit's own handle is taller than the
// designed 13 pixels of a track bar with ticks, and is drawn partly above it.
void SetThumbLength(QSlider *track, int length);

// A rectangle filled with a brush colour and outlined in black.
class TShape : public QWidget {
    Q_OBJECT
  public:
    explicit TShape(QWidget *parent);
    void setBrushColor(TColor colour);
    TColor brushColor() const { return m_brush; }

  protected:
    void paintEvent(QPaintEvent *) override;

  private:
    TColor m_brush = 0xFFFFFF;
};

} // namespace forms
