#include "FadingPanel.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

#include "Forms.h"

TKVFadingPanelHeader::TKVFadingPanelHeader(TKVFadingPanel *owner) : QWidget(owner), m_owner(owner)
{
    setToolTip(QStringLiteral("Click to show/hide."));
    setGeometry(0, 0, owner->width(), owner->MinHeight());
    forms::SetAnchors(this, forms::akLeft | forms::akTop | forms::akRight);
    RefreshColours();
    SetColour(m_normal);
    m_saved = m_colour;
}

void TKVFadingPanelHeader::RefreshColours()
{
    // The model goes before the window does; a last mouse event after that
    // keeps the colours it has.
    if (!KVOP)
        return;
    if (KVOP->useWindowsColours) {
        m_normal = forms::SystemColour(crSecondary);
        m_hover = forms::SystemColour(crPrimary);
    } else {
        m_normal = TColorFromColour(KVOP->GetColour(crPrimary));
        m_hover = TColorFromColour(KVOP->GetColour(crSecondary));
    }
}

void TKVFadingPanelHeader::SetColour(TColor c)
{
    m_colour = c;
    update();
}

void TKVFadingPanelHeader::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), forms::ToQColor(m_colour));
    QColor inverse = forms::ToQColor(m_colour);
    inverse.setRgb(255 - inverse.red(), 255 - inverse.green(), 255 - inverse.blue());
    p.setPen(inverse);
    const int h = height();
    const bool up =
        (!m_owner->Open() && m_owner->headerSide == 1) || (m_owner->Open() && m_owner->headerSide == 0);
    for (int i = 0; i <= h - 3; ++i) {
        int y = up ? i + 1 : h - 1 - i;
        p.drawLine(5 - i, y, 5 + i, y);
    }
}

void TKVFadingPanelHeader::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return;
    m_pressed = true;
    RefreshColours();
    m_saved = m_colour;
    SetColour(0xFFFFFF);
}

void TKVFadingPanelHeader::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return;
    bool click = m_pressed && rect().contains(e->position().toPoint());
    m_pressed = false;
    RefreshColours();
    if (m_colour != m_normal)
        SetColour(m_saved);
    if (click)
        m_owner->SetOpen(!m_owner->Open());
}

void TKVFadingPanelHeader::mouseDoubleClickEvent(QMouseEvent *e)
{
    e->accept(); // one click per double click: the section moves once
}

void TKVFadingPanelHeader::enterEvent(QEnterEvent *)
{
    RefreshColours();
    SetColour(m_pressed ? 0xFFFFFF : m_hover);
}

void TKVFadingPanelHeader::leaveEvent(QEvent *)
{
    RefreshColours();
    SetColour(m_normal);
}

void TKVFadingPanelHeader::PointerOver(bool over)
{
    // A press owns the colour until its release.
    if (m_pressed)
        return;
    RefreshColours();
    const TColor wanted = over ? m_hover : m_normal;
    if (m_colour != wanted)
        SetColour(wanted);
}

TKVFadingPanel::TKVFadingPanel(QWidget *parent) : QWidget(parent)
{
    resize(width(), 10);
    header = new TKVFadingPanelHeader(this);
}

void TKVFadingPanel::SetLimits(int minHeight, int maxHeight)
{
    m_min = minHeight;
    m_max = maxHeight;
    setMinimumHeight(minHeight);
    setMaximumHeight(maxHeight);
    forms::SetHeight(header, minHeight);
}

void TKVFadingPanel::SetOpen(bool open)
{
    if (m_open == open)
        return;
    m_open = open;
    header->update();
    emit openChanged(open);
}

void TKVFadingPanel::SetHeightNow(int h)
{
    m_fractional = h;
    forms::SetHeight(this, h);
}

void TKVFadingPanel::Step(double elapsedMs)
{
    const int old = height();
    FadeStep s = StepFade(m_fractional, old, m_open, m_min, m_max, duration, elapsedMs);
    m_fractional = s.fractional;
    if (s.height == old)
        return;
    const int d = old - s.height;
    if (headerSide == 1)
        forms::SetBounds(this, x(), y() + d, width(), s.height);
    else
        forms::SetHeight(this, s.height);
    if (auto *above = qobject_cast<TKVFadingPanel *>(controlAbove)) {
        if (above->controlAbove) {
            forms::SetHeight(above->controlAbove, above->controlAbove->height() + d);
            forms::SetTop(above, above->y() + d);
        } else {
            forms::SetHeight(above, above->height() + d);
        }
    } else if (controlAbove) {
        forms::SetHeight(controlAbove, controlAbove->height() + d);
    }
    if (controlBelow) {
        const int y = this->y() + height() + gap;
        forms::SetBounds(controlBelow, controlBelow->x(), y, controlBelow->width(),
                         controlBelow->height() + (controlBelow->y() - y));
    }
}
