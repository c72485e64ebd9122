#include "GamePanel.h"

#include <chrono>
#include <cmath>

#include <QMouseEvent>
#include <QPainter>

#include "Forms.h"

namespace {

uint32_t TickCount()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

QColor ToQColor(GameColour c)
{
    return QColor(c.r, c.g, c.b);
}

} // namespace

TKVShape::TKVShape(TKVGamePanel *panel, KVGameBody *body) : QWidget(panel), m_panel(panel), m_body(body)
{
    setAttribute(Qt::WA_TranslucentBackground);
    Place();
}

void TKVShape::Place()
{
    const int w = static_cast<int>(std::lround(m_body->size.x));
    const int h = static_cast<int>(std::lround(m_body->size.y));
    const int left = static_cast<int>(std::lround(m_body->position.x));
    const int top = static_cast<int>(std::lround(m_body->bounds.top - m_body->position.y - m_body->size.y));
    if (geometry() != QRect(left, top, w, h))
        setGeometry(left, top, w, h);
}

void TKVShape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(ToQColor(m_body->fill));
    p.setPen(QPen(ToQColor(m_body->line), 1));
    p.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

void TKVShape::mousePressEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton) {
        const QPoint at = mapToParent(e->position().toPoint());
        m_body->Kick({static_cast<double>(at.x()), static_cast<double>(m_body->bounds.top - at.y())});
    } else if (e->button() == Qt::RightButton) {
        m_body->Press();
    }
    e->accept();
    m_panel->Stir();
    emit m_panel->touched();
}

void TKVShape::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton || e->button() == Qt::RightButton)
        m_body->Release();
    e->accept();
}

TKVGamePanel::TKVGamePanel(QWidget *parent, bool running) : QWidget(parent)
{
    forms::SetBounds(this, 5, 11, parent->width() - 10, 134);
    forms::SetAnchors(this, forms::akLeft | forms::akTop | forms::akRight);
    GameRandom random(TickCount);
    m_world.Populate(width(), height(), random);
    for (int i = 0; i < GameWorld::kSlots; ++i)
        if (m_world.bodies[i])
            m_shapes[i] = new TKVShape(this, m_world.bodies[i].get());
    m_world.running = running;
}

TKVGamePanel::~TKVGamePanel() = default;

void TKVGamePanel::Step(double elapsedMs)
{
    if (!m_world.running)
        return;
    m_world.Step(elapsedMs, width(), height());
    for (TKVShape *shape : m_shapes)
        if (shape)
            shape->Place();
}

void TKVGamePanel::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    Stir();
}

void TKVGamePanel::SetColour(uint32_t colour)
{
    m_colour = colour;
    update();
}

void TKVGamePanel::paintEvent(QPaintEvent *)
{
    QPainter(this).fillRect(rect(), forms::ToQColor(m_colour));
}
