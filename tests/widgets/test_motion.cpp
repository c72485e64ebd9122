// The animation timer: the steps run while anything moves or the pointer is
// over the window, and the program rests otherwise.

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QTest>

#include <ctime>

#include "CategoryPanels.h"
#include "ClockFormUnit.h"
#include "ClockTexts.h"
#include "SimpleTimer.h"
#include "GamePanel.h"
#include "WindowFixture.h"

namespace {

struct Motion : WindowFixture {
    const QPoint away{1270, 1010};
    void SetUp() override
    {
        WindowFixture::SetUp();
        QCursor::setPos(away);
    }
    static void AutoMode(KVUIOperationClass &m, bool alpha, bool mouseOver, bool dock)
    {
        m.settings.autoMode = true;
        m.settings.autoAlpha = alpha;
        m.settings.mouseOverSectionResize = mouseOver;
        m.settings.dockWindow = dock;
        m.settings.alwaysOnTop = false;
        m.settings.dockPosition = dpCentre;
        m.savedSettings.dockPosition = dpCentre;
        m.settings.left = 300;
        m.settings.top = 200;
        m.settings.height = 400;
    }
    // Moves the pointer, with the enter or leave the window system sends.
    static void PointerTo(TKVGUIForm &form, QPoint global)
    {
        QCursor::setPos(global);
        if (form.geometry().contains(global)) {
            const QPointF local = form.mapFromGlobal(QPointF(global));
            QEnterEvent enter(local, local, QPointF(global));
            QApplication::sendEvent(&form, &enter);
        } else {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(&form, &leave);
        }
    }
    // Two shut categories, "zero" and "one", of links links each, that open
    // under the pointer.
    static void TwoShutCategories(int links)
    {
        WriteConfig([links](KVUIOperationClass &m) {
            AutoMode(m, false, true, false);
            AddCategory(m, 0, "zero", links);
            AddCategory(m, 1, "one", links);
            for (int c : {0, 1})
                m.categories[c].expanded = false;
        });
    }
    static bool RestsWithin(TKVGUIForm &form, int ms = 3000)
    {
        return QTest::qWaitFor([&] { return form.Resting(); }, ms);
    }
};

TEST_F(Motion, RestsOnceSettledAndTheClockGoesOn)
{
    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(RestsWithin(form));
    EXPECT_EQ(GetSimpleTimerActiveCount(), 0);
    const QString before = form.TimeLabel->text();
    // Two changes a second apart: the first may come at once, when the
    // window came to rest just before a second's end.
    for (int change = 0; change < 2; ++change) {
        const QString shown = form.TimeLabel->text();
        EXPECT_TRUE(QTest::qWaitFor([&] { return form.TimeLabel->text() != shown; }, 1500))
            << "the clock stopped with the animation";
    }
    EXPECT_NE(form.TimeLabel->text(), before);
    EXPECT_TRUE(form.Resting()) << "the clock's second woke the animation";
}

// The time the window's clock should show now.
QString TimeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return QString::fromStdString(MakeClockTexts(local).time);
}

// Hidden, minimised or under other windows, the window's clock wakes nobody;
// back in sight it shows the time of now before anything else happens.
TEST_F(Motion, TheClockSleepsWhileNobodyCanSeeIt)
{
    struct Way {
        const char *name;
        std::function<void(TKVGUIForm &)> away, back;
    };
    auto cover = [](bool on) {
        return [on](TKVGUIForm &form) { ASSERT_TRUE(platform::FakeWindows().Cover(&form, on)); };
    };
    const Way ways[] = {
        {"hidden", [](TKVGUIForm &form) { form.hide(); }, [](TKVGUIForm &form) { form.show(); }},
        {"minimised", [](TKVGUIForm &form) { form.showMinimized(); },
         [](TKVGUIForm &form) { form.showNormal(); }},
        {"covered", cover(true), cover(false)},
        // The pointer over a covered window is over the window that covers it.
        {"covered, pointer over it",
         [cover](TKVGUIForm &form) {
             cover(true)(form);
             PointerTo(form, form.geometry().center());
         },
         [cover](TKVGUIForm &form) {
             PointerTo(form, QPoint(1270, 1010));
             cover(false)(form);
         }},
    };
    for (const Way &way : ways) {
        SCOPED_TRACE(way.name);
        TKVGUIForm form;
        form.show();
        ASSERT_TRUE(QTest::qWaitFor([] { return !platform::FakeWindows().covering.empty(); }, 2000))
            << "nobody watches whether the window is covered";
        ASSERT_TRUE(RestsWithin(form));
        EXPECT_TRUE(form.ClockTicking());

        way.away(form);
        ASSERT_TRUE(RestsWithin(form));
        EXPECT_FALSE(form.ClockTicking()) << "the clock ticks for nobody";
        EXPECT_EQ(GetSimpleTimerActiveCount(), 0);
        // Past a second's end, so that the time shown is stale.
        const QString stale = form.TimeLabel->text();
        QTest::qWait(1100);
        EXPECT_EQ(form.TimeLabel->text(), stale);

        way.back(form);
        const QString before = TimeNow();
        const QString shown = form.TimeLabel->text();
        const QString after = TimeNow();
        EXPECT_TRUE(shown == before || shown == after) << shown.toStdString() << " is not the time now";
        EXPECT_TRUE(RestsWithin(form));
        EXPECT_TRUE(form.ClockTicking());
    }
}

// The big clock keeps the tick while it can be seen, whatever the window.
TEST_F(Motion, TheBigClockTicksWhileItCanBeSeen)
{
    TClockForm clock;
    ClockForm = &clock;
    {
        TKVGUIForm form;
        form.show();
        ASSERT_TRUE(RestsWithin(form));
        form.TimeLabelClick();
        ASSERT_TRUE(clock.isVisible());
        form.hide();
        ASSERT_TRUE(RestsWithin(form));
        EXPECT_TRUE(form.ClockTicking()) << "the big clock stopped with the window";
        ASSERT_TRUE(platform::FakeWindows().Cover(&clock, true));
        EXPECT_FALSE(form.ClockTicking()) << "the covered big clock ticks for nobody";
        ASSERT_TRUE(platform::FakeWindows().Cover(&clock, false));
        EXPECT_TRUE(form.ClockTicking());
        clock.hide();
        EXPECT_FALSE(form.ClockTicking());
    }
    ClockForm = nullptr;
}

TEST_F(Motion, ThePointerFadesTheWindowInAndOut)
{
    WriteConfig([](KVUIOperationClass &m) { AutoMode(m, true, false, false); });
    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    ASSERT_TRUE(RestsWithin(form));
    EXPECT_EQ(form.AlphaTrack->value(), 60);

    PointerTo(form, form.geometry().center());
    EXPECT_FALSE(form.Resting()) << "entering the window did not wake the animation";
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.AlphaTrack->value() == 255; }, 2000));
    QTest::qWait(50);
    EXPECT_FALSE(form.Resting()) << "the pointer is over the window";

    PointerTo(form, away);
    ASSERT_TRUE(RestsWithin(form));
    EXPECT_EQ(form.AlphaTrack->value(), 60);
    EXPECT_NEAR(form.windowOpacity(), 60 / 255.0, 0.005);
}

TEST_F(Motion, ASectionSlidesAndTheWindowRestsAgain)
{
    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(RestsWithin(form));
    const int area = form.CategoryArea->height();
    // The game's balls lie still on the floor, apart: the section alone moves.
    int x = 0;
    for (auto &ball : form.GamePanel->World().bodies)
        if (ball) {
            ball->position = {double(x), 0};
            ball->velocity = {0, 0};
            x += 25;
        }
    form.GameFadingPanel->SetOpen(true);
    EXPECT_FALSE(form.Resting());
    ASSERT_TRUE(RestsWithin(form));
    EXPECT_EQ(form.GameFadingPanel->height(), 150);
    EXPECT_EQ(form.CategoryArea->height(), area - 144);
}

TEST_F(Motion, TheCategoryUnderThePointerOpens)
{
    TwoShutCategories(2);
    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    TKVPanel *zero = form.CategoryArea->panels[0];
    TKVPanel *one = form.CategoryArea->panels[1];
    auto over = [&form](QWidget *w, QPoint p) { PointerTo(form, w->mapToGlobal(p)); };
    struct Case {
        const char *where;
        std::function<void()> move;
        bool zeroOpen, oneOpen;
    } cases[] = {
        {"header of zero", [&] { over(zero, zero->header->geometry().center()); }, true, false},
        {"a link of zero", [&] { over(zero, zero->linkLabels[1]->geometry().center()); }, true, false},
        {"check box of zero",
         [&] {
             over(zero->checkBox, {3, 3});
         },
         false, false},
        {"header of one", [&] { over(one, one->header->geometry().center()); }, false, true},
        {"outside", [&] { PointerTo(form, QPoint(1270, 1010)); }, false, false},
    };
    for (const Case &tc : cases) {
        tc.move();
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return zero->open == tc.zeroOpen && one->open == tc.oneOpen; }, 1000))
            << tc.where;
    }
    EXPECT_TRUE(RestsWithin(form));
}

TEST_F(Motion, TheHoverFollowsCategoriesThatMovedUnderAStillPointer)
{
    TwoShutCategories(3);
    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    TKVPanel *zero = form.CategoryArea->panels[0];
    TKVPanel *one = form.CategoryArea->panels[1];
    QCursor::setPos(zero->mapToGlobal(zero->header->geometry().center()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return zero->open; }, 1000));
    // Onto the header of one, below zero's links: zero shuts, one rises and
    // opens, and the pointer, which has not moved since, is over one's links.
    // Left, where the header and the (short) link labels both are.
    const QPoint at =
        one->mapToGlobal(QPoint(one->linkLabels[0]->x() + 3, one->header->geometry().center().y()));
    QCursor::setPos(at);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !zero->open && one->open; }, 1000));
    QTest::qWait(30);
    const TKVClickableLabel *under = one->LabelAt(one->mapFromGlobal(at));
    ASSERT_NE(under, nullptr);
    ASSERT_NE(under, one->header);
    EXPECT_FALSE(one->header->font().underline()) << "the header kept the hover it slid away from";
    EXPECT_TRUE(under->font().underline()) << "the link under the pointer shows no hover";
}

TEST_F(Motion, ADockedWindowGoesBackAfterAMoveWhileResting)
{
    WriteConfig([](KVUIOperationClass &m) { AutoMode(m, false, false, true); });
    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(RestsWithin(form));
    const QPoint docked = form.pos();
    form.move(5, 5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.pos() == docked; }, 1000));
    EXPECT_TRUE(RestsWithin(form));
}

TEST_F(Motion, ASectionHeaderTakesItsColourFromThePointerWhenItsSlideEnds)
{
    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const TColor normal = TColorFromColour(KVOP->GetColour(crPrimary));
    const TColor hover = TColorFromColour(KVOP->GetColour(crSecondary));
    ASSERT_NE(normal, hover);
    // The pointer stays where the header starts, or waits where it ends;
    // it does not move while the section slides.
    const struct {
        const char *what;
        TKVFadingPanel *section;
        bool pointerWhereItEnds;
    } cases[] = {
        {"game section, header slides away", form.GameFadingPanel, false},
        {"game section, header slides under", form.GameFadingPanel, true},
        {"button section, header slides away", form.ButtonFadingPanel, false},
        {"button section, header slides under", form.ButtonFadingPanel, true},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.what);
        QCursor::setPos(away);
        for (TKVFadingPanel *section : {form.GameFadingPanel, form.ButtonFadingPanel})
            section->SetOpen(false);
        ASSERT_TRUE(RestsWithin(form));
        TKVFadingPanelHeader *header = tc.section->header;
        QPoint at = header->mapToGlobal(header->rect().center());
        // The panel grows upwards: its header rises by the height it gains.
        if (tc.pointerWhereItEnds)
            at.ry() -= tc.section->MaxHeight() - tc.section->MinHeight();
        QCursor::setPos(at);
        QApplication::processEvents();
        ASSERT_EQ(header->color(), tc.pointerWhereItEnds ? normal : hover);
        tc.section->SetOpen(true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return tc.section->AtMaximum(); }, 2000));
        EXPECT_EQ(header->color(), tc.pointerWhereItEnds ? hover : normal);
    }
}

} // namespace
