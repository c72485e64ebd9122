#include "ClockFormUnit.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QScreen>

#include "Forms.h"
#include "Platform.h"

TClockForm *ClockForm = nullptr;

namespace {

constexpr TColor kSkyBlue = 0xF0CAA6;

TSnapRect RectOf(const QWidget *w)
{
    const QRect r = w->frameGeometry();
    return {r.x(), r.y(), r.width(), r.height()};
}

TSnapRect RectOf(const QRect &r)
{
    return {r.x(), r.y(), r.width(), r.height()};
}

std::optional<TSnapRect> AnchorRect(const TFollowerMover &m)
{
    if (!m.anchor)
        return std::nullopt;
    return RectOf(m.anchor);
}

uint8_t ButtonCode(Qt::MouseButton b)
{
    return b == Qt::LeftButton ? mbLeft : b == Qt::RightButton ? mbRight : mbMiddle;
}

void MoveTo(QWidget *w, const TSnapRect &r)
{
    if (w->pos() != QPoint(r.left, r.top))
        w->move(r.left, r.top);
}

constexpr int kClockFontPixels = 24;

forms::TLabel *MakeClockLabel(QWidget *parent, const QString &caption)
{
    auto *label = new forms::TLabel(parent);
    label->setFont(forms::MakeFont(QStringLiteral("SF Proverbial Gothic"), kClockFontPixels, true));
    forms::SetFontColor(label, kSkyBlue);
    label->setAlignment(Qt::AlignCenter);
    label->setText(caption);
    forms::SetBounds(label, 1, 0, 130, 31);
    return label;
}

} // namespace

void TFollowerMover::FollowerMove(int dx, int dy)
{
    if (!window || !anchor)
        return;
    MoveTo(window, Follow(dx, dy, RectOf(window), RectOf(anchor)));
}

TClockForm::TClockForm(QWidget *parent) : QWidget(parent), m_textColour(kSkyBlue)
{
    // No caption and no frame. Being a tool window keeps it off most task
    // bars; showEvent asks the rest directly.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setWindowTitle(QStringLiteral("ClockForm"));
    forms::SetColor(this, 0x000000);

    TimeLabel = MakeClockLabel(this, QStringLiteral("Time"));
    DateLabel = MakeClockLabel(this, QStringLiteral("Date"));
    DayLabel = MakeClockLabel(this, QStringLiteral("Day"));

    resize(160, TimeLabel->height() * 3 + 8);
    forms::SetBounds(TimeLabel, 1, 2, width() - 2, TimeLabel->height());
    forms::SetBounds(DayLabel, 1, TimeLabel->y() + TimeLabel->height() + 2, width() - 2, DayLabel->height());
    forms::SetBounds(DateLabel, 1, DayLabel->y() + DayLabel->height() + 2, width() - 2, DateLabel->height());

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TClockForm::SetColours(TColor background, TColor text)
{
    m_textColour = text;
    forms::SetColor(this, background);
    for (forms::TLabel *label : {TimeLabel, DateLabel, DayLabel})
        forms::SetFontColor(label, text);
    if (isVisible())
        update();
}

void TClockForm::SetAlpha(int value)
{
    setWindowOpacity(value / 255.0);
}

namespace {

// The designed font is narrow; the stand-ins a desktop has are wider, and
// "Wednesday 22nd" or "September, 2026" would be cut off at its size. Such a
// text takes the largest size up to the designed one that fits the label.
void ShowFitting(forms::TLabel *label, const QString &text)
{
    if (label->text() == text)
        return;
    QFont font = label->font();
    int size = kClockFontPixels;
    font.setPixelSize(size);
    while (size > 8 && QFontMetrics(font).horizontalAdvance(text) > label->width()) {
        font.setPixelSize(--size);
    }
    label->setFont(font);
    label->setText(text);
}

} // namespace

void TClockForm::SetTexts(const QString &time, const QString &day, const QString &date)
{
    ShowFitting(TimeLabel, time);
    ShowFitting(DayLabel, day);
    ShowFitting(DateLabel, date);
}

void TClockForm::SetUpMover(QWidget *anchor)
{
    mover.window = this;
    mover.anchor = anchor;
    mover.dragging = false;
    mover.attachedVertically = false;
    mover.attachedHorizontally = false;
    mover.setUp = true;
}

void TClockForm::FollowerMove(int dx, int dy)
{
    mover.FollowerMove(dx, dy);
}

void TClockForm::SnapCheck()
{
    MoveTo(this, mover.Snap(RectOf(this), AnchorRect(mover)));
}

QPoint TClockForm::ClampedPosition(QPoint stored, const QRect &screen) const
{
    const TSnapPoint p = ClampIntoScreen({stored.x(), stored.y()}, width(), height(), RectOf(screen));
    return {p.left, p.top};
}

QPoint TClockForm::CentredPosition(const QRect &screen) const
{
    const TSnapPoint p = CentreOnScreen(width(), height(), RectOf(screen));
    return {p.left, p.top};
}

void TClockForm::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(forms::ToQColor(m_textColour));
    const QPoint outline[] = {{0, 0}, {width() - 1, 0}, {width() - 1, height() - 1}, {0, height() - 1}};
    p.drawPolygon(outline, 4);
}

void TClockForm::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    platform::Windows().SetSkipTaskbar(this, true);
}

// The pointer is followed in screen coordinates: its coordinates in the
// window change whenever the window moves under it.
void TClockForm::mousePressEvent(QMouseEvent *e)
{
    const QPoint g = e->globalPosition().toPoint();
    mover.Press(g.x(), g.y(), ButtonCode(e->button()));
}

void TClockForm::mouseMoveEvent(QMouseEvent *e)
{
    if (!mover.dragging)
        return;
    const QPoint g = e->globalPosition().toPoint();
    MoveTo(this, mover.Move(g.x(), g.y(), RectOf(this), AnchorRect(mover)));
}

void TClockForm::mouseReleaseEvent(QMouseEvent *)
{
    mover.Release();
}
