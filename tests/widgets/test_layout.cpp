#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

#include "CategoryPanels.h"
#include "Forms.h"
#include "WindowFixture.h"

namespace {

using Layout = WindowFixture;
using forms::SetModelText;

void Mouse(QWidget *w, QEvent::Type type, Qt::MouseButton button, QPoint local)
{
    const QPoint global = w->mapToGlobal(local);
    Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent e(type, QPointF(local), QPointF(global), type == QEvent::MouseMove ? Qt::NoButton : button,
                  held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void Docked(KVUIOperationClass &m, int position)
{
    m.settings.autoMode = true;
    m.settings.dockWindow = true;
    m.settings.dockPosition = position;
    m.savedSettings.dockPosition = position;
    m.settings.height = 300;
}

TEST_F(Layout, ControlsFollowTheWindowLayout)
{
    TKVGUIForm form;
    const QWidget *area = form.CategoryArea;
    EXPECT_EQ(area->geometry().topLeft(), QPoint(10, 32));
    EXPECT_EQ(form.ExitLabel->y() + form.ExitLabel->height(), form.height());
    EXPECT_EQ(form.ExitLabel->x() + form.ExitLabel->width(), area->x() + area->width());
    EXPECT_EQ(form.GameFadingPanel->y(), area->y() + area->height() + 1);
    EXPECT_EQ(form.GameFadingPanel->height(), 6);
    EXPECT_EQ(form.ButtonFadingPanel->y(), form.GameFadingPanel->y() + form.GameFadingPanel->height() + 1);
    EXPECT_EQ(form.AddLabel->y(), form.ButtonFadingPanel->y() + form.ButtonFadingPanel->height() + 2);
    EXPECT_EQ(form.AlphaTrack->y(), form.VersionLabel->y() - form.AlphaTrack->height() - 2);
    // The six system buttons sit right to left in the button section.
    EXPECT_EQ(form.ShutDownButton->x() + 15 + 4, form.ButtonFadingPanel->width());
    EXPECT_EQ(form.RestartButton->x() + 15 + 4, form.ShutDownButton->x());
    EXPECT_EQ(form.ConnectButton->y(), 11);

    // Growing the window keeps the bottom row at the bottom.
    form.show();
    form.resize(300, 400);
    form.RefreshLayout(false);
    EXPECT_EQ(form.ExitLabel->y() + form.ExitLabel->height(), 400);
    EXPECT_EQ(area->width(), 300 - 17);
}

TEST_F(Layout, DockingInTheWorkArea)
{
    WriteConfig([](KVUIOperationClass &m) { Docked(m, dpCentre); });
    TKVGUIForm form;
    EXPECT_EQ(form.pos(), QPoint(524, 342));
    EXPECT_EQ(form.size(), QSize(233, 300));

    form.DockPositionClick(dpAbsoluteLeft);
    EXPECT_EQ(form.geometry(), QRect(0, 0, 233, 984));
    form.DockPositionClick(dpTopLeft);
    EXPECT_EQ(form.geometry(), QRect(0, 0, 233, 300));
    form.DockPositionClick(dpBottomRight);
    EXPECT_EQ(form.pos(), QPoint(1047, 684));
    EXPECT_EQ(Saved()->settings.dockPosition, dpBottomRight);

    KVOP->settings.dockPosition = 11; // never applied
    form.move(5, 5);
    form.RefreshLayout(false);
    EXPECT_EQ(form.pos(), QPoint(5, 5));

    // Docking off: a new position is stored but the window stays.
    form.DockWindow1Click();
    form.DockPositionClick(dpTopRight);
    EXPECT_EQ(form.pos(), QPoint(5, 5));
}

TEST_F(Layout, DraggingWithTheLeftButtonOnly)
{
    WriteConfig([](KVUIOperationClass &m) {
        m.settings.left = 100;
        m.settings.top = 100;
    });
    TKVGUIForm form;
    form.move(100, 100);
    Mouse(&form, QEvent::MouseButtonPress, Qt::RightButton, {5, 5});
    Mouse(&form, QEvent::MouseMove, Qt::RightButton, {25, 35});
    EXPECT_EQ(form.pos(), QPoint(100, 100));
    EXPECT_FALSE(form.mover.dragging);

    Mouse(&form, QEvent::MouseButtonPress, Qt::LeftButton, {5, 5});
    Mouse(&form, QEvent::MouseMove, Qt::LeftButton, {25, 35});
    EXPECT_EQ(form.pos(), QPoint(120, 130));
    Mouse(&form, QEvent::MouseButtonRelease, Qt::LeftButton, {25, 35});
    EXPECT_FALSE(form.mover.dragging);
}

TEST_F(Layout, ADockedWindowCannotBeDragged)
{
    WriteConfig([](KVUIOperationClass &m) { Docked(m, dpTopLeft); });
    TKVGUIForm form;
    Mouse(form.KVGUILabel, QEvent::MouseButtonPress, Qt::LeftButton, {5, 5});
    Mouse(&form, QEvent::MouseMove, Qt::LeftButton, {60, 60});
    EXPECT_EQ(form.pos(), QPoint(0, 0));
    EXPECT_FALSE(form.mover.dragging);
}

TEST_F(Layout, WheelScrollsTheCategoryAreaWhereverItTurns)
{
    WriteConfig([](KVUIOperationClass &m) {
        for (int c = 0; c < 10; ++c) {
            AddCategory(m, c, "c" + std::to_string(c), 5);
            m.categories[c].lockedOpen = true;
        }
    });
    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const int alpha = form.AlphaTrack->value();
    // Delivered as the window system does: to the window, which hands it on
    // to the control under the pointer.
    auto wheel = [&form](QWidget *over, int delta) {
        const QPointF at = over->mapTo(&form, QPointF(over->width() / 2, over->height() / 2));
        QWheelEvent e(at, form.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(form.windowHandle(), &e);
    };
    struct Case {
        QWidget *over;
        int delta;
        int position;
    } cases[] = {
        {form.CategoryArea->panels[0], -120, 8},
        {form.CategoryArea->viewport(), -120, 16},
        {form.AlphaTrack, -120, 24},
        {form.KVGUILabel, 120, 16},
        {&form, 0, 16},
        {form.CategoryArea->panels[0], -240, 32},
        {form.CategoryArea->panels[0], -60, 32}, // half a notch of a finer wheel
        {form.CategoryArea->panels[0], -60, 40},
    };
    for (const Case &tc : cases) {
        wheel(tc.over, tc.delta);
        EXPECT_EQ(form.CategoryArea->VertPosition(), tc.position) << tc.over->metaObject()->className();
    }
    EXPECT_EQ(form.AlphaTrack->value(), alpha);
}

TEST_F(Layout, ATitleShowsWhatFitsBesideTheButtonsAndAllOfItInItsHint)
{
    TKVGUIForm form;
    form.show();
    const QString longTitle = QStringLiteral("The Launcher of Everything I Start, Day by Day");
    const struct {
        QString title;
        int width;
        bool cut;
    } cases[] = {
        {QStringLiteral("Kestrava"), 233, false},
        {longTitle, 233, true},
        {longTitle, 1100, false},
        {QStringLiteral("Kestrava"), 152, true},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.title.toStdString() + " at " + std::to_string(tc.width));
        SetModelText(KVOP->header.title, tc.title);
        form.resize(tc.width, form.height());
        form.RefreshLayout(false);
        const QString shown = form.KVGUILabel->text();
        EXPECT_LT(form.KVGUILabel->x() + form.KVGUILabel->width(), form.ConfigPanel->x());
        EXPECT_EQ(form.windowTitle(), tc.title);
        if (tc.cut) {
            ASSERT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
            EXPECT_TRUE(tc.title.startsWith(shown.chopped(1))) << shown.toStdString();
            EXPECT_EQ(form.KVGUILabel->toolTip(), tc.title);
        } else {
            EXPECT_EQ(shown, tc.title);
            EXPECT_EQ(form.KVGUILabel->toolTip(), QString());
        }
    }
}

TEST_F(Layout, TrackBarSetsTheTransparency)
{
    TKVGUIForm form;
    form.AlphaTrack->setValue(100);
    EXPECT_NEAR(form.windowOpacity(), 100 / 255.0, 0.005);
    EXPECT_EQ(form.alphaAccumulator, 100);
    form.AlphaTrack->setValue(10);
    EXPECT_EQ(form.AlphaTrack->value(), 60);
    // With Auto Mode and Auto-Alpha the track bar makes way for the fading.
    KVOP->settings.autoAlpha = true;
    form.DoxBox->setChecked(true);
    EXPECT_FALSE(form.AlphaTrack->isVisibleTo(&form));
}

} // namespace
