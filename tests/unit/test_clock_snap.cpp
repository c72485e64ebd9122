#include <gtest/gtest.h>

#include <climits>
#include <ostream>

#include "ClockSnap.h"

std::ostream &operator<<(std::ostream &os, const TSnapRect &r)
{
    return os << r.left << "," << r.top << " " << r.width << "x" << r.height;
}

std::ostream &operator<<(std::ostream &os, const TSnapPoint &p)
{
    return os << p.left << "," << p.top;
}

namespace {

// The main window (right edge 333, bottom 400) and the clock's size.
const TSnapRect kAnchor{100, 100, 233, 300};
constexpr int kW = 160, kH = 101;

TSnapRect Clock(int left, int top)
{
    return {left, top, kW, kH};
}

// A left-button drag that started with the pointer at (x, y).
TFollowerDrag Dragging(int x, int y)
{
    TFollowerDrag d;
    d.Press(x, y, mbLeft);
    return d;
}

TEST(ClockSnap, EdgesSnapWithinFifteenPixels)
{
    enum { none, vertical, horizontal };
    struct Case {
        const char *what;
        TSnapRect window, expected;
        int attached;
    } cases[] = {
        {"top 15 below the bottom", Clock(150, 415), Clock(150, 400), vertical},
        {"top 16 below the bottom", Clock(150, 416), Clock(150, 416), none},
        {"top 15 above the bottom", Clock(150, 385), Clock(150, 400), vertical},
        {"top 16 above the bottom", Clock(150, 384), Clock(150, 384), none},
        {"bottom 15 above the top", Clock(150, -16), Clock(150, -1), vertical},
        {"bottom 16 above the top", Clock(150, -17), Clock(150, -17), none},
        {"bottom 15 below the top", Clock(150, 14), Clock(150, -1), vertical},
        {"bottom 16 below the top", Clock(150, 15), Clock(150, 15), none},
        {"left 15 right of the right", Clock(348, 200), Clock(333, 200), horizontal},
        {"left 16 right of the right", Clock(349, 200), Clock(349, 200), none},
        {"left 15 left of the right", Clock(318, 200), Clock(333, 200), horizontal},
        {"left 16 left of the right", Clock(317, 200), Clock(317, 200), none},
        {"right 15 left of the left", Clock(-75, 200), Clock(-60, 200), horizontal},
        {"right 16 left of the left", Clock(-76, 200), Clock(-76, 200), none},
        {"right 15 right of the left", Clock(-45, 200), Clock(-60, 200), horizontal},
        {"right 16 right of the left", Clock(-44, 200), Clock(-44, 200), none},
        // Only where the two overlap along the edge; touching counts.
        {"below, one pixel past the right", Clock(334, 405), Clock(334, 405), none},
        {"below, touching the right", Clock(333, 405), Clock(333, 400), vertical},
        {"right, one pixel below the bottom", Clock(340, 401), Clock(340, 401), none},
        {"right, touching the bottom", Clock(340, 400), Clock(333, 400), horizontal},
        {"left, one pixel above the top", Clock(-70, -2), Clock(-70, -2), none},
        // Near a bottom and a side edge at once, the bottom wins.
        {"bottom corner inside", Clock(323, 390), Clock(323, 400), vertical},
    };
    for (const Case &tc : cases) {
        TFollowerDrag d;
        EXPECT_EQ(d.Snap(tc.window, kAnchor), tc.expected) << tc.what;
        EXPECT_EQ(d.attachedVertically, tc.attached == vertical) << tc.what;
        EXPECT_EQ(d.attachedHorizontally, tc.attached == horizontal) << tc.what;
    }
}

TEST(ClockSnap, NothingSnapsWithoutAnAnchor)
{
    TFollowerDrag d = Dragging(0, 0);
    EXPECT_EQ(d.Move(-5, 0, Clock(340, 200), std::nullopt), Clock(335, 200));
    EXPECT_FALSE(d.attachedHorizontally || d.attachedVertically);
    EXPECT_EQ(d.Move(-10, 0, Clock(335, 200), kAnchor), Clock(333, 200)) << "the same place with one";
}

// Pixel by pixel, as the pointer reports it.
TEST(ClockSnap, AnEdgeHoldsUntilThePointerHasMovedMoreThanFifteenPixels)
{
    struct Case {
        const char *what;
        TSnapRect start;
        int stepX, stepY;  // one pointer move
        int snapAfter;     // moves until it snaps
        TSnapRect snapped; // and where it then stays
    } cases[] = {
        {"leftwards onto the right edge", Clock(363, 200), -1, 0, 15, Clock(333, 200)},
        {"rightwards onto the left edge", Clock(-90, 200), 1, 0, 15, Clock(-60, 200)},
        {"upwards onto the bottom edge", Clock(150, 440), 0, -1, 25, Clock(150, 400)},
        {"downwards onto the top edge", Clock(150, -60), 0, 1, 44, Clock(150, -1)},
    };
    for (const Case &tc : cases) {
        TFollowerDrag d = Dragging(1000, 1000);
        TSnapRect w = tc.start;
        int x = 1000, y = 1000;
        for (int i = 1; i <= tc.snapAfter; ++i)
            w = d.Move(x += tc.stepX, y += tc.stepY, w, kAnchor);
        ASSERT_EQ(w, tc.snapped) << tc.what;
        for (int i = 1; i <= kSnapDistance; ++i) {
            w = d.Move(x += tc.stepX, y += tc.stepY, w, kAnchor);
            ASSERT_EQ(w, tc.snapped) << tc.what << ": pulled loose after " << i;
        }
        w = d.Move(x += tc.stepX, y += tc.stepY, w, kAnchor);
        const TSnapRect loose{tc.snapped.left + 16 * tc.stepX, tc.snapped.top + 16 * tc.stepY, kW, kH};
        EXPECT_EQ(w, loose) << tc.what;
        EXPECT_FALSE(d.attachedHorizontally || d.attachedVertically) << tc.what;
    }
}

TEST(ClockSnap, BackAndForthWithinTheBandKeepsTheEdge)
{
    TFollowerDrag d = Dragging(0, 0);
    TSnapRect w = d.Move(-5, 0, Clock(338, 200), kAnchor);
    ASSERT_EQ(w, Clock(333, 200));
    for (int x : {10, 15, 0, -15, -3, 12})
        EXPECT_EQ(w = d.Move(x - 5, 0, w, kAnchor), Clock(333, 200)) << x;
}

TEST(ClockSnap, SlidingAlongASnappedEdgeKeepsIt)
{
    // It jumped 10 pixels to the edge; the pointer then runs down along it.
    TFollowerDrag d = Dragging(0, 0);
    TSnapRect w = d.Move(0, 1, Clock(343, 200), kAnchor);
    ASSERT_EQ(w, Clock(333, 201));
    for (int y = 2; y <= 60; ++y) {
        w = d.Move(0, y, w, kAnchor);
        ASSERT_EQ(w, Clock(333, 200 + y)) << y;
        ASSERT_TRUE(d.attachedHorizontally);
    }
}

TEST(ClockSnap, RightOrMiddleButtonEndsTheDragAtTheFirstMove)
{
    for (uint8_t button : {mbRight, mbMiddle}) {
        TFollowerDrag d;
        d.attachedHorizontally = true;
        d.Press(10, 10, button);
        EXPECT_EQ(d.Move(60, 80, Clock(333, 200), kAnchor), Clock(333, 200)) << int(button);
        EXPECT_FALSE(d.dragging);
        EXPECT_FALSE(d.attachedHorizontally);
        EXPECT_EQ(d.Move(90, 90, Clock(333, 200), kAnchor), Clock(333, 200)) << "no longer dragging";
    }
    TFollowerDrag left = Dragging(10, 10);
    EXPECT_EQ(left.Move(60, 80, Clock(500, 500), kAnchor), Clock(550, 570));
    EXPECT_TRUE(left.dragging);
}

TEST(ClockSnap, AnAttachedClockFollowsTheAnchorsDrag)
{
    const TSnapRect moved{130, 90, 233, 300}; // the anchor after a drag by (30, -10)
    struct Case {
        const char *what;
        TSnapRect start;
        bool release;
        TSnapRect expected;
    } cases[] = {
        {"attached beside", Clock(338, 200), false, Clock(363, 190)},
        {"attached below", Clock(150, 410), false, Clock(180, 390)},
        {"released beside", Clock(338, 200), true, Clock(333, 200)},
        {"never attached", Clock(600, 600), false, Clock(600, 600)},
    };
    for (const Case &tc : cases) {
        TFollowerDrag d = Dragging(0, 0);
        TSnapRect w = d.Move(0, 0, tc.start, kAnchor);
        if (tc.release) {
            d.Release();
            EXPECT_FALSE(d.dragging || d.attachedHorizontally || d.attachedVertically) << tc.what;
        }
        EXPECT_EQ(d.Follow(30, -10, w, moved), tc.expected) << tc.what;
    }
}

TEST(ClockPlace, StoredPositionsArePulledOntoTheScreen)
{
    const TSnapRect screen{0, 0, 1280, 1024};
    struct Case {
        TSnapPoint stored;
        TSnapRect screen;
        TSnapPoint expected;
    } cases[] = {
        {{100, 200}, screen, {100, 200}},
        {{1120, 923}, screen, {1120, 923}},
        {{1121, 924}, screen, {1120, 923}},
        {{3000, 2000}, screen, {1120, 923}}, // a monitor that has gone
        {{-1, -400}, screen, {0, 0}},
        {{INT_MIN, INT_MAX}, screen, {0, 923}},
        {{-1500, 40}, {-1280, 0, 2560, 1024}, {-1280, 40}},
        // A screen smaller than the clock: anywhere between the two bounds.
        {{-30, 5}, {0, 0, 100, 80}, {-30, 0}},
        {{-70, -30}, {0, 0, 100, 80}, {-60, -21}},
    };
    for (const Case &tc : cases)
        EXPECT_EQ(ClampIntoScreen(tc.stored, kW, kH, tc.screen), tc.expected) << tc.stored;
}

TEST(ClockPlace, CentringUsesIntegerHalves)
{
    struct Case {
        int width, height;
        TSnapRect screen;
        TSnapPoint expected;
    } cases[] = {
        {160, 101, {0, 0, 1280, 1024}, {560, 462}},
        {161, 101, {0, 0, 1366, 767}, {603, 333}},
        {160, 101, {-1280, 0, 2560, 1024}, {-80, 462}},
    };
    for (const Case &tc : cases)
        EXPECT_EQ(CentreOnScreen(tc.width, tc.height, tc.screen), tc.expected) << tc.width;
}

} // namespace
