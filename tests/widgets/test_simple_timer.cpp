#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

#include "SimpleTimer.h"

namespace {

// Runs the event loop until pred holds or the time is up.
template <typename Pred> bool WaitFor(Pred pred, int ms = 2000)
{
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms)
        QTest::qWait(5);
    return pred();
}

} // namespace

TEST(SimpleTimer, CountsFollowTheTimersLives)
{
    EXPECT_EQ(GetSimpleTimerCount(), 0);
    {
        TSimpleTimer a;
        TSimpleTimer b(10, [](TSimpleTimer *) {});
        EXPECT_EQ(GetSimpleTimerCount(), 2);
        EXPECT_EQ(a.GetInterval(), 1000u);
        EXPECT_FALSE(a.GetEnabled());
        EXPECT_EQ(GetSimpleTimerActiveCount(), 0);
        b.SetEnabled(true);
        EXPECT_EQ(GetSimpleTimerActiveCount(), 1);
    }
    EXPECT_EQ(GetSimpleTimerCount(), 0);
    EXPECT_EQ(GetSimpleTimerActiveCount(), 0);
}

TEST(SimpleTimer, TicksAndStops)
{
    int ticks = 0;
    TSimpleTimer t(5, [&ticks](TSimpleTimer *) { ++ticks; });
    EXPECT_TRUE(t.Start());
    ASSERT_TRUE(WaitFor([&] { return ticks >= 3; }));
    EXPECT_TRUE(t.Stop(true));
    const int stopped = ticks;
    QTest::qWait(40);
    EXPECT_EQ(ticks, stopped);
    EXPECT_FALSE(t.GetEnabled());
}

TEST(SimpleTimer, IntervalZeroIdlesAndComesBack)
{
    int ticks = 0;
    TSimpleTimer t(5, [&ticks](TSimpleTimer *) { ++ticks; });
    t.SetEnabled(true);
    t.SetInterval(5); // same value: no restart
    EXPECT_EQ(GetSimpleTimerActiveCount(), 1);
    t.SetInterval(0);
    EXPECT_TRUE(t.GetEnabled());
    EXPECT_EQ(GetSimpleTimerActiveCount(), 0);
    EXPECT_FALSE(t.Start());
    const int idle = ticks;
    QTest::qWait(30);
    EXPECT_EQ(ticks, idle);
    t.SetInterval(5);
    EXPECT_TRUE(WaitFor([&] { return ticks > idle; }));
}

TEST(SimpleTimer, AutoDisableFiresOnce)
{
    int ticks = 0;
    TSimpleTimer t(5, [&ticks](TSimpleTimer *) { ++ticks; });
    t.AutoDisable = true;
    t.SetEnabled(true);
    ASSERT_TRUE(WaitFor([&] { return ticks == 1; }));
    QTest::qWait(30);
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(t.GetEnabled());
    EXPECT_EQ(GetSimpleTimerActiveCount(), 0);
}

TEST(SimpleTimer, RemovingTheEventStopsWithoutDisabling)
{
    int ticks = 0;
    TSimpleTimer t(5, [&ticks](TSimpleTimer *) { ++ticks; });
    t.SetEnabled(true);
    t.SetOnTimer(nullptr);
    EXPECT_TRUE(t.GetEnabled());
    EXPECT_EQ(GetSimpleTimerActiveCount(), 0);
    t.SetOnTimer([&ticks](TSimpleTimer *) { ++ticks; });
    QTest::qWait(30);
    EXPECT_EQ(ticks, 0); // assigning an event later does not restart it
}

TEST(SimpleTimer, DestroyedTimerGetsNoTick)
{
    int ticks = 0;
    TSimpleTimer keeper; // keeps the shared handler alive
    {
        TSimpleTimer t(1, [&ticks](TSimpleTimer *) { ++ticks; });
        t.SetEnabled(true);
    }
    QTest::qWait(20);
    EXPECT_EQ(ticks, 0);
}

TEST(SimpleTimer, HandlerMayDestroyItsOwnTimer)
{
    int ticks = 0;
    auto *t = new TSimpleTimer(1, nullptr);
    t->SetOnTimer([&ticks](TSimpleTimer *self) {
        ++ticks;
        delete self;
    });
    t->SetEnabled(true);
    ASSERT_TRUE(WaitFor([&] { return ticks == 1; }));
    QTest::qWait(20);
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(GetSimpleTimerCount(), 0);
}

TEST(SimpleTimer, IntervalsPastThePlatformsLongestStillStart)
{
    for (uint32_t interval : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        TSimpleTimer t(interval, [](TSimpleTimer *) {});
        EXPECT_TRUE(t.Start()) << interval;
        EXPECT_TRUE(t.GetEnabled()) << interval;
        EXPECT_EQ(GetSimpleTimerActiveCount(), 1) << interval;
        EXPECT_EQ(t.GetInterval(), interval);
    }
    EXPECT_EQ(GetSimpleTimerActiveCount(), 0);
}

TEST(SimpleTimer, StartingARunningTimerAgainLeavesOnePlatformTimer)
{
    int ticks = 0;
    TSimpleTimer t(20, [&ticks](TSimpleTimer *) { ++ticks; });
    // Every way a running timer is started again.
    ASSERT_TRUE(t.Start());
    EXPECT_TRUE(t.Start());
    t.SetEnabled(true);
    t.SetInterval(25);
    t.SetInterval(0); // enabled but idle...
    t.SetEnabled(true);
    t.SetInterval(20); // ...and running again
    EXPECT_TRUE(t.GetEnabled());
    EXPECT_EQ(GetSimpleTimerActiveCount(), 1);

    // One timer of 20 ms ticks at most once per 20 ms (a late tick is not
    // made up for); a second one left behind would double the count.
    QElapsedTimer clock;
    clock.start();
    ticks = 0;
    QTest::qWait(400);
    const int counted = ticks;
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(counted, 1);
    EXPECT_LE(counted, elapsed / 20 + 1) << counted << " ticks in " << elapsed << " ms";

    // One stop silences it: no platform timer of an earlier start ticks on.
    EXPECT_TRUE(t.Stop(true));
    EXPECT_EQ(GetSimpleTimerActiveCount(), 0);
    const int stopped = ticks;
    QTest::qWait(100);
    EXPECT_EQ(ticks, stopped);
}
