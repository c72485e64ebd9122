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
