// The hidden game in the main window: balls in its section, steps only
// while the section is open and no editing dialog is in front, clicks.

#include <QTest>

#include "FadingPanel.h"
#include "GamePanel.h"
#include "SettingsFormUnit.h"
#include "WindowFixture.h"

namespace {

using GamePanelTest = WindowFixture;

std::vector<GameVec> Positions(TKVGamePanel &panel)
{
    std::vector<GameVec> p;
    for (const auto &b : panel.World().bodies)
        if (b)
            p.push_back(b->position);
    return p;
}

bool Same(const std::vector<GameVec> &a, const std::vector<GameVec> &b)
{
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].x != b[i].x || a[i].y != b[i].y)
            return false;
    return a.size() == b.size();
}

TEST_F(GamePanelTest, BallsMoveOnlyInTheOpenSectionWithoutADialog)
{
    WriteConfig([](KVUIOperationClass &m) { m.gameSectionOpen = true; });
    TKVGUIForm form;
    form.show();
    TKVGamePanel &panel = *form.GamePanel;
    ASSERT_GE(panel.World().BallCount(), 3);
    EXPECT_EQ(panel.height(), 134);
    EXPECT_EQ(panel.parentWidget(), form.GameFadingPanel);
    form.Wake();
    QTRY_VERIFY_WITH_TIMEOUT(form.GameFadingPanel->AtMaximum(), 3000); // the section slides open
    EXPECT_TRUE(form.GameMoving());

    auto before = Positions(panel);
    form.Wake();
    QTest::qWait(120);
    EXPECT_FALSE(Same(before, Positions(panel))) << "the balls fly";

    // A dialog in front freezes the game.
    SettingsForm = new TSettingsForm(&form);
    SettingsForm->show();
    EXPECT_FALSE(form.GameMoving());
    before = Positions(panel);
    form.Wake();
    QTest::qWait(120);
    EXPECT_TRUE(Same(before, Positions(panel)));
    SettingsForm->hide();
    delete SettingsForm;
    SettingsForm = nullptr;

    // A shut section too.
    form.GameFadingPanel->SetOpen(false);
    EXPECT_FALSE(panel.Running());
    EXPECT_FALSE(form.GameMoving());
    before = Positions(panel);
    panel.Step(10);
    EXPECT_TRUE(Same(before, Positions(panel)));
}

TEST_F(GamePanelTest, ALeftClickKicksTheBallAwayFromTheMouse)
{
    WriteConfig([](KVUIOperationClass &m) { m.gameSectionOpen = true; });
    TKVGUIForm form;
    form.show();
    form.Wake();
    QTRY_VERIFY_WITH_TIMEOUT(form.GameFadingPanel->AtMaximum(), 3000);
    TKVGamePanel &panel = *form.GamePanel;
    KVGameBody &body = *panel.World().bodies[0];
    TKVShape *shape = panel.Shape(0);
    body.velocity = {0, 0};
    const QPoint leftSide(1, shape->height() / 2);
    QTest::mousePress(shape, Qt::LeftButton, {}, leftSide);
    EXPECT_TRUE(body.pressed);
    EXPECT_GT(body.velocity.x, 250) << "pushed to the right";
    QTest::mouseRelease(shape, Qt::LeftButton, {}, leftSide);
    EXPECT_FALSE(body.pressed);
    QTest::mousePress(shape, Qt::RightButton, {}, leftSide);
    EXPECT_TRUE(body.pressed);
    EXPECT_FALSE(form.Resting()) << "a click wakes the game";
    QTest::mouseRelease(shape, Qt::RightButton, {}, leftSide);
    // The shape sits where its body is, y counted from the bottom.
    panel.Step(10);
    EXPECT_EQ(shape->x(), static_cast<int>(std::lround(body.position.x)));
    EXPECT_EQ(shape->y(), static_cast<int>(std::lround(panel.height() - body.position.y - body.size.y)));
}

} // namespace
