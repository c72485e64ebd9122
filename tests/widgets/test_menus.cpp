// The three pop-up menus, their check marks, and the big clock as the main
// window shows, hides and centres it.

#include <QAction>
#include <QMenu>
#include <QTest>

#include "ClockFormUnit.h"
#include "MainMenus.h"
#include "WindowFixture.h"

namespace {

using Menus = WindowFixture;

// A menu's items as they read: captions, "-" for separators, "Name >" for
// submenus.
QStringList Items(const QMenu *menu)
{
    QStringList items;
    for (const QAction *a : menu->actions())
        items << (a->isSeparator() ? QStringLiteral("-") : a->menu() ? a->text() + " >" : a->text());
    return items;
}

TEST_F(Menus, CaptionsAndSeparators)
{
    TKVGUIForm form;
    TKVMainMenus &m = form.Menus();
    struct Case {
        const QMenu *menu;
        QStringList items;
    } cases[] = {
        {m.PopupMenu1,
         {"Auto Mode >", "-", "Settings...", "Category Editor...", "Import Applications...", "Appearance...",
          "-", "System >", "-", "Print settings to log...", "-", "Check for updates...", "About...", "-",
          "Exit"}},
        {m.AutoMode1->menu(),
         {"Enabled", "-", "Dock Window", "Auto-Alpha", "Mouse-Over Section Resize", "Always On Top", "-",
          "Dock Position >"}},
        {m.DockPosition1->menu(),
         {"Top Left", "Middle Left", "Bottom Left", "-", "Top Middle", "Centre", "Bottom Middle", "-",
          "Top Right", "Middle Right", "Bottom Right", "-", "Absolute Left", "Absolute Right"}},
        {m.System1->menu(), {"Log Off", "Restart", "Shut Down"}},
        {m.TaskTrayMenu, {"Settings...", "-", "Hide", "Show", "-", "Exit"}},
        {m.ClockPopup, {"Center Big Clock", "-", "Check for updates...", "About...", "-", "Exit"}},
    };
    for (const Case &tc : cases)
        EXPECT_EQ(Items(tc.menu), tc.items);
}

TEST_F(Menus, CheckMarksFollowTheSettingsWhicheverMenuOpens)
{
    TKVGUIForm form;
    TKVMainMenus &m = form.Menus();
    struct Case {
        bool autoMode, dock, alpha, mouseOver, top;
        int position;
    } cases[] = {
        {true, true, false, true, false, dpCentre},
        {false, false, true, false, true, dpAbsoluteRight},
        {true, false, false, false, false, 11}, // no position item for a value out of range
    };
    for (const Case &tc : cases) {
        WindowSettings &s = KVOP->settings;
        s.autoMode = tc.autoMode;
        s.dockWindow = tc.dock;
        s.autoAlpha = tc.alpha;
        s.mouseOverSectionResize = tc.mouseOver;
        s.alwaysOnTop = tc.top;
        s.dockPosition = tc.position;
        // The tray's menu and the clock's refresh the context menu's marks too.
        emit m.TaskTrayMenu->aboutToShow();
        EXPECT_EQ(m.Enabled1->isChecked(), tc.autoMode);
        EXPECT_EQ(m.DockWindow1->isChecked(), tc.dock);
        EXPECT_EQ(m.AutoAlpha1->isChecked(), tc.alpha);
        EXPECT_EQ(m.MouseOverSectionResize1->isChecked(), tc.mouseOver);
        EXPECT_EQ(m.AlwaysOnTop1->isChecked(), tc.top);
        for (int p = dpTopLeft; p <= dpAbsoluteRight; ++p)
            EXPECT_EQ(m.dockPositions[p]->isChecked(), p == tc.position) << p;
    }
}

TEST_F(Menus, ItemsRunTheirHandlers)
{
    TKVGUIForm form;
    TKVMainMenus &m = form.Menus();
    KVOP->settings.dockWindow = true;
    KVOP->settings.autoMode = false;
    m.Enabled1->trigger();
    EXPECT_TRUE(KVOP->settings.autoMode);
    EXPECT_TRUE(form.DoxBox->isChecked());
    m.dockPositions[dpTopLeft]->trigger();
    EXPECT_EQ(int{KVOP->settings.dockPosition}, dpTopLeft);
    EXPECT_EQ(form.pos(), QPoint(0, 0));
    const bool alpha = KVOP->settings.autoAlpha;
    m.AutoAlpha1->trigger();
    EXPECT_EQ(KVOP->settings.autoAlpha, !alpha);

    form.show();
    m.Hide1->trigger();
    EXPECT_FALSE(form.isVisible());
    m.Show1->trigger();
    EXPECT_EQ(platform::FakeWindows().bringToFrontCalls, 1);
}

struct ClockOfTheWindow : WindowFixture {
    std::unique_ptr<TClockForm> clock;
    void SetUp() override
    {
        WindowFixture::SetUp();
        clock = std::make_unique<TClockForm>();
        ClockForm = clock.get();
    }
    void TearDown() override
    {
        ClockForm = nullptr;
        clock.reset();
        WindowFixture::TearDown();
    }
};

TEST_F(ClockOfTheWindow, TheTimeLabelShowsAndHidesItWhereItWas)
{
    WriteConfig([](KVUIOperationClass &m) {
        m.clockLeft = 5000; // a monitor that is gone
        m.clockTop = -40;
    });
    TKVGUIForm form;
    form.TimeLabelClick();
    ASSERT_TRUE(clock->isVisible());
    EXPECT_EQ(clock->pos(), QPoint(1280 - clock->width(), 0)) << "not pulled back onto the screen";
    EXPECT_EQ(clock->TimeLabel->text(), QString::fromStdString(KVOP->timeText));
    EXPECT_EQ(form.mover.followers[0], &clock->mover);
    EXPECT_TRUE(KVOP->clockVisible);

    clock->move(100, 120);
    form.TimeLabelClick();
    EXPECT_FALSE(clock->isVisible());
    EXPECT_FALSE(KVOP->clockVisible);
    EXPECT_EQ(QPoint(KVOP->clockLeft, KVOP->clockTop), QPoint(100, 120));

    form.CenterBigClock1Click();
    EXPECT_EQ(QPoint(KVOP->clockLeft, KVOP->clockTop),
              QPoint(640 - clock->width() / 2, 512 - clock->height() / 2));
    form.FormClose();
    auto saved = Saved();
    EXPECT_FALSE(saved->clockVisible);
    EXPECT_EQ(saved->clockLeft, 640 - clock->width() / 2);
}

TEST_F(ClockOfTheWindow, ShownAtStartWhenItWasShowingAndItsMovesAreSaved)
{
    WriteConfig([](KVUIOperationClass &m) {
        m.clockVisible = true;
        m.clockLeft = 300;
        m.clockTop = 200;
    });
    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return clock->isVisible(); }, 1000));
    EXPECT_EQ(clock->pos(), QPoint(300, 200));
    clock->move(310, 220);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            auto m = Saved();
            return m->clockLeft == 310 && m->clockTop == 220;
        },
        2000));
}

} // namespace
