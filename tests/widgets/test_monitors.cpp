// The main window on two monitors: Qt's offscreen platform lays them out
// from two-screens.json, a 1280 x 1024 primary ("left") and a 1920 x 1080
// monitor right of it ("right"). The offscreen platform cannot change its
// screens while running through any public interface, so a monitor that goes
// or changes is told to the window as the desktop tells it: the platform
// reports the new monitors, and Qt's screen signals are raised.

#include <memory>
#include <vector>

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include "ClockFormUnit.h"
#include "SimpleTimer.h"
#include "WindowFixture.h"

namespace {

constexpr QRect kLeft{0, 0, 1280, 1024};
constexpr QRect kRight{1280, 0, 1920, 1080};

void Docked(KVUIOperationClass &m, int position, int left, int top)
{
    m.settings.autoMode = true;
    m.settings.dockWindow = true;
    m.settings.dockPosition = position;
    m.savedSettings.dockPosition = position;
    m.settings.left = left;
    m.settings.top = top;
    m.settings.height = 300;
}

void Undocked(KVUIOperationClass &m, int left, int top)
{
    m.settings.autoMode = false;
    m.settings.dockWindow = false;
    m.settings.left = left;
    m.settings.top = top;
    m.settings.height = 300;
}

struct Monitors : WindowFixture {
    std::unique_ptr<TClockForm> clock;

    void SetUp() override
    {
        WindowFixture::SetUp();
        platform::FakeWindowSystem &fake = platform::FakeWindows();
        fake.qtScreens = true; // the offscreen platform's two
        fake.virtualScreen = QGuiApplication::primaryScreen()->virtualGeometry();
        fake.workArea = QGuiApplication::primaryScreen()->availableGeometry();
        ASSERT_EQ(QGuiApplication::screens().size(), 2) << "run with two-screens.json";
        clock = std::make_unique<TClockForm>();
        ClockForm = clock.get();
    }
    void TearDown() override
    {
        ClockForm = nullptr;
        clock.reset();
        WindowFixture::TearDown();
    }

    static QScreen *RightScreen() { return QGuiApplication::screens().at(1); }

    // From now on the platform reports these monitors, the primary first.
    static void Report(const std::vector<platform::Monitor> &monitors)
    {
        platform::FakeWindows().monitors = {monitors, 0};
    }
};

TEST_F(Monitors, TheOffscreenPlatformHasTwo)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    EXPECT_EQ(screens[0]->geometry(), kLeft);
    EXPECT_EQ(screens[1]->geometry(), kRight);
    EXPECT_EQ(QGuiApplication::primaryScreen(), screens[0]);
    const platform::MonitorList seen = platform::Windows().Monitors();
    ASSERT_EQ(seen.monitors.size(), 2u);
    EXPECT_EQ(seen.primary, 0);
    EXPECT_EQ(seen.monitors[1].available, kRight);
    EXPECT_EQ(seen.monitors[1].name, QStringLiteral("right"));
}

TEST_F(Monitors, TheWindowDocksOnTheMonitorItIsOn)
{
    struct Case {
        int left, top, position;
        QPoint expected;
    } cases[] = {
        {100, 100, dpBottomRight, {1047, 724}},  // the left monitor
        {2000, 300, dpBottomRight, {2967, 780}}, // the right one
        {2000, 300, dpTopLeft, {1280, 0}},
        {2000, 300, dpCentre, {2124, 390}},      // between the right monitor's edges
        {1200, 300, dpMiddleLeft, {1280, 390}},  // more of it on the right
        {1100, 300, dpMiddleRight, {1047, 362}}, // more of it on the left
    };
    for (const Case &tc : cases) {
        WriteConfig([&](KVUIOperationClass &m) { Docked(m, tc.position, tc.left, tc.top); });
        TKVGUIForm form;
        EXPECT_EQ(form.pos(), tc.expected) << tc.left << "," << tc.top << " at " << tc.position;
    }

    // Full height is the height of the monitor the window is on.
    WriteConfig([](KVUIOperationClass &m) { Docked(m, dpAbsoluteRight, 2000, 300); });
    TKVGUIForm form;
    EXPECT_EQ(form.geometry(), QRect(2967, 0, 233, 1080));
}

TEST_F(Monitors, MovedAcrossItDocksOnTheOtherMonitor)
{
    WriteConfig([](KVUIOperationClass &m) { Docked(m, dpTopRight, 100, 100); });
    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    ASSERT_EQ(form.pos(), QPoint(1047, 0));

    // The window manager moves it (a keyboard move, say) onto the right.
    form.move(1500, 400);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.pos() == QPoint(2967, 0); }, 2000))
        << form.x() << "," << form.y();
    EXPECT_EQ(form.windowHandle()->screen(), RightScreen());
    // And back.
    form.move(300, 400);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.pos() == QPoint(1047, 0); }, 2000))
        << form.x() << "," << form.y();
}

TEST_F(Monitors, ARemovedMonitorsWindowAndClockComeBackOnThePrimary)
{
    WriteConfig([](KVUIOperationClass &m) { Docked(m, dpBottomRight, 2000, 300); });
    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    ASSERT_EQ(form.pos(), QPoint(2967, 780));
    KVOP->clockLeft = 3000; // near the right monitor's right edge
    KVOP->clockTop = 200;
    form.TimeLabelClick();
    ASSERT_TRUE(clock->isVisible());
    ASSERT_EQ(clock->pos(), QPoint(3000, 200));

    Report({{kLeft, kLeft, QStringLiteral("left")}});
    emit qGuiApp->screenRemoved(RightScreen());
    EXPECT_EQ(form.pos(), QPoint(2967, 780)) << "the change waits for the burst of signals to end";
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.pos() == QPoint(1047, 724); }, 2000))
        << form.x() << "," << form.y();
    // The clock keeps its offset on the monitor, inside the primary.
    EXPECT_EQ(clock->pos(), QPoint(1280 - clock->width(), 200));
    form.TimeLabelClick(); // hidden, its place is taken
    EXPECT_EQ(KVOP->clockLeft, 1280 - clock->width());
}

TEST_F(Monitors, AHiddenClocksPlaceComesBackToo)
{
    WriteConfig([](KVUIOperationClass &m) {
        Undocked(m, 100, 100);
        m.clockLeft = 1400;
        m.clockTop = 500;
    });
    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    Report({{kLeft, kLeft, QStringLiteral("left")}});
    emit qGuiApp->screenRemoved(RightScreen());
    EXPECT_TRUE(QTest::qWaitFor([&] { return KVOP->clockLeft == 120; }, 2000)) << KVOP->clockLeft;
    EXPECT_EQ(KVOP->clockTop, 500);
    EXPECT_EQ(form.pos(), QPoint(100, 100)) << "the window was not on the monitor that went";
}

TEST_F(Monitors, AnUndockedWindowFollowsItsMonitorsNewResolution)
{
    WriteConfig([](KVUIOperationClass &m) { Undocked(m, 2900, 700); });
    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    ASSERT_EQ(form.pos(), QPoint(2900, 700));

    // The right monitor goes to 1280 x 1024, with a 40-pixel panel at its
    // bottom: the window keeps its place on it, inside its work area.
    const QRect smaller(1280, 0, 1280, 1024);
    Report({{kLeft, kLeft, QStringLiteral("left")},
            {smaller, smaller.adjusted(0, 0, 0, -40), QStringLiteral("right")}});
    emit RightScreen()->geometryChanged(smaller);
    emit RightScreen()->availableGeometryChanged(smaller.adjusted(0, 0, 0, -40));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.pos() == QPoint(2560 - 233, 684); }, 2000))
        << form.x() << "," << form.y();
    EXPECT_EQ(form.size(), QSize(233, 300));
}

TEST_F(Monitors, APanelOnTheWindowsMonitorMovesTheDockedWindow)
{
    WriteConfig([](KVUIOperationClass &m) { Docked(m, dpTopRight, 2000, 300); });
    TKVGUIForm form;
    ASSERT_EQ(form.pos(), QPoint(2967, 0));
    Report({{kLeft, kLeft, QStringLiteral("left")},
            {kRight, kRight.adjusted(0, 32, 0, 0), QStringLiteral("right")}});
    emit RightScreen()->availableGeometryChanged(kRight.adjusted(0, 32, 0, 0));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.pos() == QPoint(2967, 32); }, 2000))
        << form.x() << "," << form.y();
}

TEST_F(Monitors, AfterAChangeTheWindowRestsAgain)
{
    WriteConfig([](KVUIOperationClass &m) { Docked(m, dpBottomRight, 2000, 300); });
    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.Resting(); }, 3000));
    Report({{kLeft, kLeft, QStringLiteral("left")}});
    emit qGuiApp->screenRemoved(RightScreen());
    emit qGuiApp->primaryScreenChanged(QGuiApplication::primaryScreen());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.pos() == QPoint(1047, 724); }, 2000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.Resting(); }, 3000));
    EXPECT_EQ(GetSimpleTimerActiveCount(), 0);
}

} // namespace
