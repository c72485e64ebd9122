#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QFontMetrics>
#include <QMouseEvent>

#include "ClockFormUnit.h"
#include "FakeWindowSystem.h"
#include "Forms.h"

namespace {

// A press, move or release at global, sent to w (a label passes it on).
void Mouse(QWidget *w, QEvent::Type type, Qt::MouseButton button, QPoint global)
{
    const QPoint local = w->mapFromGlobal(global);
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent e(type, QPointF(local), QPointF(global), type == QEvent::MouseMove ? Qt::NoButton : button,
                  held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// The left button pressed on w at from, moved in steps of step, released.
void Drag(QWidget *w, QPoint from, QPoint step, int steps, bool release = true)
{
    Mouse(w, QEvent::MouseButtonPress, Qt::LeftButton, from);
    for (int i = 1; i <= steps; ++i)
        Mouse(w, QEvent::MouseMove, Qt::LeftButton, from + step * i);
    if (release)
        Mouse(w, QEvent::MouseButtonRelease, Qt::LeftButton, from + step * steps);
}

struct BigClock : ::testing::Test {
    TClockForm clock;
    QWidget anchor; // the main window, right edge 333, bottom 400

    void SetUp() override
    {
        platform::FakeWindows() = platform::FakeWindowSystem{};
        anchor.setGeometry(100, 100, 233, 300);
        clock.move(400, 600);
    }
};

TEST_F(BigClock, LabelsStackInTheCaptionlessWindow)
{
    EXPECT_TRUE(clock.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(clock.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_EQ(clock.size(), QSize(160, 101));
    struct Case {
        forms::TLabel *label;
        int top;
        const char *caption;
    } cases[] = {{clock.TimeLabel, 2, "Time"}, {clock.DayLabel, 35, "Day"}, {clock.DateLabel, 68, "Date"}};
    for (const Case &tc : cases) {
        EXPECT_EQ(tc.label->geometry(), QRect(1, tc.top, 158, 31)) << tc.caption;
        EXPECT_EQ(tc.label->text(), tc.caption);
        EXPECT_EQ(tc.label->alignment(), Qt::AlignCenter) << tc.caption;
        EXPECT_EQ(tc.label->font().family(), forms::InstalledFamily("SF Proverbial Gothic")) << tc.caption;
        EXPECT_EQ(tc.label->font().pixelSize(), 24) << tc.caption;
        EXPECT_TRUE(tc.label->font().bold()) << tc.caption;
        EXPECT_EQ(forms::FontColor(tc.label), 0xF0CAA6u) << tc.caption;
    }

    clock.SetTexts("1:07:45 PM", "Monday 22nd", "June, 2026");
    EXPECT_EQ(clock.TimeLabel->text(), "1:07:45 PM");
    EXPECT_EQ(clock.DayLabel->text(), "Monday 22nd");
    EXPECT_EQ(clock.DateLabel->text(), "June, 2026");

    clock.show();
    EXPECT_TRUE(platform::FakeWindows().skipTaskbar);
}

TEST_F(BigClock, ColoursOutlineAndOpacity)
{
    clock.SetColours(0x402010, 0x00FF00);
    EXPECT_EQ(clock.TextColour(), 0x00FF00u);
    for (forms::TLabel *label : {clock.TimeLabel, clock.DayLabel, clock.DateLabel})
        EXPECT_EQ(forms::FontColor(label), 0x00FF00u);

    const QImage image = clock.grab().toImage();
    const QColor text = forms::ToQColor(0x00FF00), background = forms::ToQColor(0x402010);
    for (QPoint p : {QPoint(0, 0), QPoint(159, 0), QPoint(159, 100), QPoint(0, 100), QPoint(80, 0),
                     QPoint(80, 100), QPoint(0, 50), QPoint(159, 50)})
        EXPECT_EQ(image.pixelColor(p), text) << p.x() << "," << p.y();
    for (QPoint p : {QPoint(1, 1), QPoint(158, 99), QPoint(80, 1)})
        EXPECT_EQ(image.pixelColor(p), background) << p.x() << "," << p.y();

    for (int alpha : {60, 128, 255}) {
        clock.SetAlpha(alpha);
        EXPECT_NEAR(clock.windowOpacity() * 255, alpha, 1.0);
    }
}

TEST_F(BigClock, DraggingFromTheFormOrALabelMovesIt)
{
    clock.show();
    for (QWidget *grip : {static_cast<QWidget *>(&clock), static_cast<QWidget *>(clock.DayLabel)}) {
        const QPoint start = clock.pos();
        Drag(grip, grip->mapToGlobal(QPoint(10, 10)), {7, -3}, 5);
        EXPECT_EQ(clock.pos(), start + QPoint(35, -15));
        EXPECT_FALSE(clock.mover.dragging);
    }

    const QPoint start = clock.pos();
    Mouse(clock.TimeLabel, QEvent::MouseButtonPress, Qt::RightButton, clock.mapToGlobal(QPoint(10, 10)));
    Mouse(clock.TimeLabel, QEvent::MouseMove, Qt::RightButton, clock.mapToGlobal(QPoint(50, 50)));
    EXPECT_EQ(clock.pos(), start);
    EXPECT_FALSE(clock.mover.dragging);
}

TEST_F(BigClock, SnapsToTheAnchorAndFollowsItOnlyWhileHeld)
{
    clock.SetUpMover(&anchor);
    EXPECT_TRUE(clock.mover.setUp);
    EXPECT_EQ(clock.mover.window, &clock);
    EXPECT_EQ(clock.mover.anchor, &anchor);

    // Dragged left until its left edge is 15 pixels from the anchor's right.
    clock.move(363, 200);
    const QPoint grip = clock.mapToGlobal(QPoint(20, 20));
    Drag(&clock, grip, {-1, 0}, 15, false);
    EXPECT_EQ(clock.pos(), QPoint(333, 200));
    EXPECT_TRUE(clock.mover.attachedHorizontally);

    // The main window is dragged meanwhile: the clock goes along.
    anchor.move(130, 90);
    clock.mover.FollowerMove(30, -10);
    EXPECT_EQ(clock.pos(), QPoint(363, 190));

    Mouse(&clock, QEvent::MouseButtonRelease, Qt::LeftButton, grip);
    EXPECT_FALSE(clock.mover.attachedHorizontally);
    anchor.move(150, 150);
    clock.FollowerMove(20, 60);
    EXPECT_EQ(clock.pos(), QPoint(363, 190));

    // A snap check on its own puts it against a near edge.
    clock.move(150, 445);
    clock.SnapCheck();
    EXPECT_EQ(clock.pos(), QPoint(150, 450));
    EXPECT_TRUE(clock.mover.attachedVertically);
}

TEST_F(BigClock, PlacesOnTheScreenForItsOwnSize)
{
    const QRect screen(0, 0, 1280, 1024);
    EXPECT_EQ(clock.ClampedPosition({5000, -20}, screen), QPoint(1120, 0));
    EXPECT_EQ(clock.ClampedPosition({17, 33}, screen), QPoint(17, 33));
    EXPECT_EQ(clock.CentredPosition(screen), QPoint(560, 462));
}

} // namespace

TEST_F(BigClock, LongTextsShrinkToFitAndShortOnesKeepTheDesignedSize)
{
    clock.SetTexts(QStringLiteral("12:00:00 PM"), QStringLiteral("Wednesday 22nd"),
                   QStringLiteral("September, 2026"));
    for (const forms::TLabel *label : {clock.TimeLabel, clock.DayLabel, clock.DateLabel}) {
        EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width())
            << label->text().toStdString();
        EXPECT_LE(label->font().pixelSize(), 24);
    }
    clock.SetTexts(QStringLiteral("1:00:00 AM"), QStringLiteral("Day"), QStringLiteral("May"));
    EXPECT_EQ(clock.DayLabel->font().pixelSize(), 24) << "a short text keeps the designed size";
}
