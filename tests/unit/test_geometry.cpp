#include <gtest/gtest.h>

#include "ClockTexts.h"
#include "WindowGeometry.h"

TEST(SaneWindowRect, KeepsStoredRectanglesWithinReach)
{
    const KVArea screen{0, 0, 1280, 1024};
    struct Case {
        KVRect stored, expected;
    } cases[] = {
        {{100, 200, 233, 289}, {100, 200, 233, 289}},
        {{0, 0, 0, 0}, {0, 0, 152, 271}},
        {{-5000, 99999, 100000, -7}, {0, 753, 1280, 271}},
        {{1270, 1000, 233, 289}, {1047, 735, 233, 289}},
        {{INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN}, {0, 753, 1280, 271}},
    };
    for (const Case &tc : cases) {
        KVRect r = SaneWindowRect(tc.stored, screen);
        EXPECT_EQ(r, tc.expected) << r.left << "," << r.top << " " << r.width << "x" << r.height;
    }
}

TEST(DockRect, PlacesTheWindowInTheWorkArea)
{
    const KVArea work{0, 0, 1280, 984};
    WindowSettings s{};
    WindowSettings saved{};
    struct Case {
        int position;
        KVRect expected;
    } cases[] = {
        {dpTopLeft, {0, 0, 233, 300}},          {dpMiddleLeft, {0, 342, 233, 300}},
        {dpBottomLeft, {0, 684, 233, 300}},     {dpTopMiddle, {524, 0, 233, 300}},
        {dpCentre, {524, 342, 233, 300}},       {dpBottomMiddle, {524, 684, 233, 300}},
        {dpTopRight, {1047, 0, 233, 300}},      {dpMiddleRight, {1047, 342, 233, 300}},
        {dpBottomRight, {1047, 684, 233, 300}},
    };
    for (const Case &tc : cases) {
        s.dockPosition = tc.position;
        saved.dockPosition = tc.position;
        EXPECT_EQ(DockRect(work, {7, 7, 233, 300}, s, saved), tc.expected) << tc.position;
    }
}

TEST(DockRect, CentresBetweenTheWorkAreasEdges)
{
    // A top panel, and a second monitor right of the first.
    struct Case {
        KVArea work;
        int position;
        KVRect expected;
    } cases[] = {
        {{0, 40, 1280, 1024}, dpCentre, {524, 382, 233, 300}},
        {{1280, 0, 2560, 1024}, dpTopMiddle, {1804, 0, 233, 300}},
        {{1280, 30, 2560, 1054}, dpCentre, {1804, 392, 233, 300}},
        {{1280, 30, 2560, 1054}, dpMiddleLeft, {1280, 392, 233, 300}},
        {{1280, 30, 2560, 1054}, dpBottomMiddle, {1804, 754, 233, 300}},
    };
    for (const Case &tc : cases) {
        WindowSettings s{}, saved{};
        s.dockPosition = saved.dockPosition = tc.position;
        EXPECT_EQ(DockRect(tc.work, {7, 7, 233, 300}, s, saved), tc.expected) << tc.position;
    }
}

TEST(DockRect, AbsolutePositionsRememberAndRestoreTheSize)
{
    const KVArea work{0, 24, 1280, 984};
    WindowSettings s{};
    WindowSettings saved{};
    saved.dockPosition = dpBottomRight;
    s.dockPosition = dpAbsoluteLeft;
    KVRect r = DockRect(work, {1047, 684, 233, 300}, s, saved);
    EXPECT_EQ(r, (KVRect{0, 24, 233, 960}));
    EXPECT_EQ(saved.width, 233);
    EXPECT_EQ(saved.height, 300);

    s.dockPosition = dpAbsoluteRight; // absolute to absolute keeps the saved size
    r = DockRect(work, {r.left, r.top, 400, r.height}, s, saved);
    EXPECT_EQ(r, (KVRect{880, 24, 400, 960}));
    EXPECT_EQ(saved.width, 233);

    s.dockPosition = dpTopLeft;
    r = DockRect(work, r, s, saved);
    EXPECT_EQ(r, (KVRect{0, 24, 233, 300}));
    EXPECT_EQ(saved.dockPosition, dpTopLeft);
}

TEST(DockRect, NeverBelowTheMinimumSize)
{
    const KVArea work{0, 0, 800, 200};
    WindowSettings s{};
    WindowSettings saved{};
    s.dockPosition = saved.dockPosition = dpAbsoluteRight;
    EXPECT_EQ(DockRect(work, {0, 0, 100, 100}, s, saved), (KVRect{700, 0, 152, 271}));
}

namespace {

// A 1280 x 1024 primary with a 40-pixel panel at its bottom, and right of it
// a 1920 x 1080 monitor with a 30-pixel panel at its top.
const KVScreen kLeft{{0, 0, 1280, 1024}, {0, 0, 1280, 984}, "DVI-0"};
const KVScreen kRight{{1280, 0, 3200, 1080}, {1280, 30, 3200, 1080}, "HDMI-0"};
const KVScreens kBoth{{kLeft, kRight}, 0};

} // namespace

TEST(ScreenOf, TheMonitorHoldingTheCentreElseThePrimary)
{
    const KVScreens rightPrimary{{kLeft, kRight}, 1};
    struct Case {
        KVRect window;
        const KVScreens *screens;
        int expected;
    } cases[] = {
        {{100, 100, 233, 300}, &kBoth, 0},        {{2000, 500, 233, 300}, &kBoth, 1},
        {{1100, 100, 233, 300}, &kBoth, 0}, // centre 1216: more of it on the left
        {{1200, 100, 233, 300}, &kBoth, 1}, // centre 1316
        {{1164, 100, 233, 300}, &kBoth, 1}, // centre exactly on the seam, 1280
        {{100, 900, 233, 300}, &kBoth, 0},  // centre below the left monitor: no monitor
        {{100, 900, 233, 300}, &rightPrimary, 1}, {{-5000, -5000, 233, 300}, &rightPrimary, 1},
    };
    for (const Case &tc : cases)
        EXPECT_EQ(ScreenOf(tc.window, *tc.screens), tc.expected) << tc.window.left << "," << tc.window.top;
    EXPECT_EQ(ScreenOf({0, 0, 10, 10}, KVScreens{}), -1);
    EXPECT_EQ(ScreenOf({-900, 0, 10, 10}, KVScreens{{kLeft}, 7}), 0); // a primary index out of range
}

TEST(DockArea, TheAvailablePartOfTheWindowsMonitor)
{
    EXPECT_EQ(DockArea({2000, 500, 233, 300}, kBoth, {}), kRight.available);
    EXPECT_EQ(DockArea({100, 100, 233, 300}, kBoth, {}), kLeft.available);
    EXPECT_EQ(DockArea({100, 5000, 233, 300}, KVScreens{{kLeft, kRight}, 1}, {}), kRight.available);
    EXPECT_EQ(DockArea({100, 100, 233, 300}, KVScreens{}, KVArea{0, 0, 800, 600}), (KVArea{0, 0, 800, 600}));
}

TEST(Rehome, WindowsWhoseMonitorWentOrChangedComeBackWithinReach)
{
    const KVScreens leftOnly{{kLeft}, 0};
    const KVScreens rightOnly{{kRight}, 0};
    const KVScreens none{};
    // The right monitor at 1280 x 1024, and moved to the left of the other.
    const KVScreens rightSmaller{{kLeft, {{1280, 0, 2560, 1024}, {1280, 30, 2560, 1024}, "HDMI-0"}}, 0};
    const KVScreens rightMoved{{{{1920, 0, 3200, 1024}, {1920, 0, 3200, 984}, "DVI-0"},
                                {{0, 0, 1920, 1080}, {0, 30, 1920, 1080}, "HDMI-0"}},
                               0};
    // Unnamed monitors: nothing to follow but the centre.
    KVScreen plainLeft = kLeft, plainRight = kRight;
    plainLeft.name.clear();
    plainRight.name.clear();
    const KVScreens plainBoth{{plainLeft, plainRight}, 0};
    const KVScreens plainSmaller{{plainLeft, {{1280, 0, 2560, 1024}, {1280, 30, 2560, 1024}, ""}}, 0};
    struct Case {
        const char *what;
        KVRect window;
        const KVScreens *before, *after;
        KVRect expected;
    } cases[] = {
        {"stays on a monitor still there", {100, 200, 233, 300}, &kBoth, &leftOnly, {100, 200, 233, 300}},
        {"same offset on the primary", {1500, 300, 233, 300}, &kBoth, &leftOnly, {220, 300, 233, 300}},
        {"pushed into the primary's work area",
         {3000, 900, 233, 300},
         &kBoth,
         &leftOnly,
         {1047, 684, 233, 300}},
        {"the primary's panel counts", {1300, 800, 233, 300}, &kBoth, &leftOnly, {20, 684, 233, 300}},
        {"the new primary is elsewhere", {100, 0, 233, 300}, &kBoth, &rightOnly, {1380, 30, 233, 300}},
        {"on no monitor before either", {-5000, 5000, 233, 300}, &kBoth, &leftOnly, {0, 684, 233, 300}},
        {"no monitors left: nothing known", {1500, 300, 233, 300}, &kBoth, &none, {1500, 300, 233, 300}},
        {"its monitor shrank", {2900, 700, 233, 300}, &kBoth, &rightSmaller, {2327, 700, 233, 300}},
        {"its monitor shrank, still inside",
         {1500, 300, 233, 300},
         &kBoth,
         &rightSmaller,
         {1500, 300, 233, 300}},
        {"its monitor moved", {1500, 300, 233, 300}, &kBoth, &rightMoved, {220, 300, 233, 300}},
        {"the other monitor moved", {100, 100, 233, 300}, &kBoth, &rightMoved, {2020, 100, 233, 300}},
        {"unnamed, shrank under it", {2900, 700, 233, 300}, &plainBoth, &plainSmaller, {1047, 684, 233, 300}},
        {"unnamed, still inside", {1500, 300, 233, 300}, &plainBoth, &plainSmaller, {1500, 300, 233, 300}},
    };
    for (const Case &tc : cases)
        EXPECT_EQ(Rehome(tc.window, *tc.before, *tc.after), tc.expected) << tc.what;
}

TEST(PlaceAfterScreenChange, DockedWindowsDockOnTheirMonitor)
{
    const KVScreens leftOnly{{kLeft}, 0};
    const KVScreens rightSmaller{{kLeft, {{1280, 0, 2560, 1024}, {1280, 30, 2560, 1024}, "HDMI-0"}}, 0};
    struct Case {
        const char *what;
        KVRect window;
        bool docked;
        int position;
        const KVScreens *after;
        KVRect expected;
    } cases[] = {
        {"top right of the right monitor",
         {2967, 30, 233, 300},
         true,
         dpTopRight,
         &kBoth,
         {2967, 30, 233, 300}},
        {"on the left, docks there", {300, 300, 233, 300}, true, dpTopRight, &kBoth, {1047, 0, 233, 300}},
        {"dragged onto the right", {1700, 300, 233, 300}, true, dpBottomLeft, &kBoth, {1280, 780, 233, 300}},
        {"its monitor went", {2967, 30, 233, 300}, true, dpTopRight, &leftOnly, {1047, 0, 233, 300}},
        {"its monitor shrank",
         {2967, 780, 233, 300},
         true,
         dpBottomRight,
         &rightSmaller,
         {2327, 724, 233, 300}},
        {"centred on the right", {1500, 300, 233, 300}, true, dpCentre, &kBoth, {2124, 405, 233, 300}},
        {"full height on the right",
         {1500, 300, 233, 300},
         true,
         dpAbsoluteLeft,
         &kBoth,
         {1280, 30, 233, 1050}},
        {"not docked: only brought home",
         {2967, 30, 233, 300},
         false,
         dpTopRight,
         &leftOnly,
         {1047, 30, 233, 300}},
        {"not docked, monitor still there",
         {1500, 300, 233, 300},
         false,
         dpTopRight,
         &kBoth,
         {1500, 300, 233, 300}},
    };
    for (const Case &tc : cases) {
        WindowSettings s{}, saved{};
        s.dockPosition = saved.dockPosition = tc.position;
        EXPECT_EQ(PlaceAfterScreenChange(tc.window, tc.docked, kBoth, *tc.after, s, saved), tc.expected)
            << tc.what;
    }
}

TEST(ClockTexts, TwelveHourClockAndOrdinals)
{
    struct Case {
        int h, m, s, mday, wday, mon;
        const char *time, *day, *date;
    } cases[] = {
        {0, 5, 9, 22, 4, 11, "12:05:09 AM", "Thursday 22nd", "December, 2026"},
        {12, 30, 0, 11, 0, 0, "12:30:00 PM", "Sunday 11th", "January, 2026"},
        {13, 7, 45, 1, 1, 5, "1:07:45 PM", "Monday 1st", "June, 2026"},
        {23, 59, 59, 13, 6, 1, "11:59:59 PM", "Saturday 13th", "February, 2026"},
        {9, 0, 0, 3, 2, 2, "9:00:00 AM", "Tuesday 3rd", "March, 2026"},
        {11, 0, 0, 31, 3, 2, "11:00:00 AM", "Wednesday 31st", "March, 2026"},
        {10, 1, 2, 2, 5, 9, "10:01:02 AM", "Friday 2nd", "October, 2026"},
        {12, 0, 1, 12, 4, 10, "12:00:01 PM", "Thursday 12th", "November, 2026"},
        {1, 2, 3, 21, 1, 11, "1:02:03 AM", "Monday 21st", "December, 2026"},
        {0, 0, 0, 23, 3, 11, "12:00:00 AM", "Wednesday 23rd", "December, 2026"},
    };
    for (const Case &tc : cases) {
        std::tm t{};
        t.tm_hour = tc.h;
        t.tm_min = tc.m;
        t.tm_sec = tc.s;
        t.tm_mday = tc.mday;
        t.tm_wday = tc.wday;
        t.tm_mon = tc.mon;
        t.tm_year = 126;
        ClockTexts c = MakeClockTexts(t);
        EXPECT_EQ(c.time, tc.time);
        EXPECT_EQ(c.day, tc.day);
        EXPECT_EQ(c.date, tc.date);
    }
}
