#include "Controls.h"

#include "Forms.h"

#include <QBitmap>
#include <QEnterEvent>
#include <QFile>
#include <QMouseEvent>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QProxyStyle>

namespace forms {

TLabel::TLabel(QWidget *parent) : QLabel(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    setTextFormat(Qt::PlainText);
}

void TLabel::setAutoSize(bool on)
{
    m_autoSize = on;
    fit();
}

void TLabel::setCaption(const QString &text)
{
    setText(text);
    fit();
}

void TLabel::fit()
{
    if (m_autoSize) {
        const QSize hint = sizeHint();
        SetBounds(this, x(), y(), hint.width(), hint.height());
    }
}

void TLabel::changeEvent(QEvent *e)
{
    QLabel::changeEvent(e);
    if (e->type() == QEvent::FontChange)
        fit();
}

QLabel *PlainLabel(QWidget *parent, const QString &text, int left, int top)
{
    auto *l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    l->adjustSize();
    l->move(left, top);
    return l;
}

QLabel *CaptionAbove(QWidget *control, const QString &text, int gap)
{
    QLabel *l = PlainLabel(control->parentWidget(), text, control->x(), 0);
    l->move(control->x(), control->y() - l->height() - gap);
    return l;
}

void MakeClickable(TLabel *label)
{
    label->m_clickable = true;
    label->setCursor(Qt::PointingHandCursor);
}

void TLabel::mousePressEvent(QMouseEvent *e)
{
    if (!m_clickable) {
        e->ignore(); // the parent drags the window
        return;
    }
    if (e->button() == Qt::LeftButton)
        m_pressed = true;
}

void TLabel::mouseReleaseEvent(QMouseEvent *e)
{
    if (!m_clickable) {
        e->ignore();
        return;
    }
    bool click = m_pressed && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    m_pressed = false;
    if (click)
        emit clicked();
}

void TLabel::mouseDoubleClickEvent(QMouseEvent *e)
{
    // A double click is one click, as with the form library's labels: the
    // second press starts nothing.
    if (m_clickable)
        e->accept();
    else
        e->ignore();
}

void TLabel::enterEvent(QEnterEvent *e)
{
    QLabel::enterEvent(e);
    emit mouseEntered();
}

void TLabel::leaveEvent(QEvent *e)
{
    QLabel::leaveEvent(e);
    emit mouseLeft();
}

namespace {

// A PNG of ours, read as such: left to guess, the reader would load every
// image plugin (GIF, ICO, JPEG and their libraries) to ask each whether it
// knows the bytes, which at a start costs more than the glyphs themselves.
QPixmap OwnPng(const QString &path)
{
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

} // namespace

void TImageList::LoadResourceGlyphs(int count)
{
    m_images.clear();
    for (int n = 0; n < count; ++n) {
        // QPixmap picks the @2x file on HiDPI screens by itself only through
        // QIcon, so choose here by the screen's ratio.
        QString base = QStringLiteral(":/glyphs/glyph%1").arg(n);
        QPixmap image = OwnPng(base + ".png");
        if (qApp && qApp->devicePixelRatio() > 1.0 && QFile::exists(base + "@2x.png")) {
            QPixmap hi = OwnPng(base + "@2x.png");
            hi.setDevicePixelRatio(2.0);
            image = hi;
        }
        if (!image.isNull())
            image.setMask(image.createMaskFromColor(QColor(255, 0, 255)));
        m_images.push_back(image);
    }
}

QPixmap TImageList::Image(int n) const
{
    return n >= 0 && n < Count() ? m_images[static_cast<std::size_t>(n)] : QPixmap();
}

TSpeedButton::TSpeedButton(QWidget *parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    resize(15, 15);
}

void TSpeedButton::setGlyph(const QPixmap &glyph)
{
    m_glyph = glyph;
    update();
}

void TSpeedButton::enterEvent(QEnterEvent *e)
{
    m_hover = true;
    update();
    QAbstractButton::enterEvent(e);
}

void TSpeedButton::leaveEvent(QEvent *e)
{
    m_hover = false;
    update();
    QAbstractButton::leaveEvent(e);
}

void TSpeedButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (m_glyph.isNull())
        return;
    QSizeF size = m_glyph.deviceIndependentSize();
    QPointF at((width() - size.width()) / 2, (height() - size.height()) / 2);
    if (isDown())
        at += QPointF(1, 1);
    if (m_hover && !isDown())
        p.setOpacity(0.85);
    p.drawPixmap(at, m_glyph);
}

namespace {

class ThumbStyle : public QProxyStyle {
  public:
    ThumbStyle(int length, QObject *owner) : m_length(length) { setParent(owner); }
    int pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const override
    {
        switch (metric) {
        case PM_SliderThickness:
            return m_length;
        case PM_SliderTickmarkOffset:
            // The handle starts at the top; the ticks take the rest below.
            return 0;
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }

  private:
    int m_length;
};

} // namespace

void SetThumbLength(QSlider *track, int length)
{
    track->setStyle(new ThumbStyle(length, track));
}

TShape::TShape(QWidget *parent) : QWidget(parent)
{
}

void TShape::setBrushColor(TColor colour)
{
    if (colour == m_brush)
        return;
    m_brush = colour;
    update();
}

void TShape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), ToQColor(m_brush));
    p.setPen(Qt::black);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace forms
