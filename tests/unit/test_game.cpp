// The hidden game's physics.

#include <gtest/gtest.h>

#include <cmath>

#include "GamePhysics.h"

namespace {

KVGameBody Ball(double x, double y, double diameter, GameVec v = {})
{
    KVGameBody b;
    b.position = {x, y};
    b.size = {diameter, diameter};
    b.velocity = v;
    b.shapeKind = gsCircle;
    b.inactive = false;
    b.gravity = true;
    b.bounds = {0, 0, 200, 134};
    return b;
}

TEST(Game, ANewGameHoldsThreeToEightBallsOfTheirSizes)
{
    for (uint32_t tick : {0u, 1u, 977u, 123456u, 4000000000u}) {
        GameRandom random([tick]() mutable { return tick += 16; });
        GameWorld world;
        world.Populate(223, 134, random);
        const int n = world.BallCount();
        EXPECT_GE(n, 3);
        EXPECT_LE(n, 8);
        for (int i = 0; i < GameWorld::kSlots; ++i) {
            if (i >= n) {
                EXPECT_EQ(world.bodies[i], nullptr);
                continue;
            }
            const KVGameBody &b = *world.bodies[i];
            EXPECT_GE(b.size.x, 13 * std::sqrt(0.5) - 1e-9);
            EXPECT_LT(b.size.x, 13 * std::sqrt(3.0));
            EXPECT_EQ(b.size.x, b.size.y);
            EXPECT_NEAR(b.mass, 5.0 * (b.size.x / 13) * (b.size.x / 13), 1e-9);
            EXPECT_NEAR(b.Speed(), 300, 1e-9);
            EXPECT_FALSE(b.inactive);
            EXPECT_TRUE(b.gravity);
            EXPECT_EQ(b.shapeKind, gsCircle);
        }
        EXPECT_EQ(world.bodies[0]->fill, (GameColour{255, 0, 0}));
        EXPECT_EQ(world.bodies[2]->line, (GameColour{128, 128, 0}));
    }
}

TEST(Game, RandomDrawsStayInTheirRanges)
{
    uint32_t tick = 5;
    GameRandom random([&tick] { return tick++; });
    for (int i = 0; i < 2000; ++i) {
        const int n = random.Integer(3, 8);
        EXPECT_GE(n, 3);
        EXPECT_LE(n, 8);
        const double r = random.Real(0.5, 3.0);
        EXPECT_GE(r, 0.5);
        EXPECT_LT(r, 3.0);
    }
}

TEST(Game, AngleAndPolar)
{
    EXPECT_EQ(Angle(0, 5), 90);
    EXPECT_EQ(Angle(0, -5), 90);
    EXPECT_NEAR(Angle(1, 1), 45, 1e-12);
    EXPECT_NEAR(Angle(-1, 1), -45, 1e-12);
    EXPECT_NEAR(Polar(90).x, 0, 1e-12);
    EXPECT_NEAR(Polar(90).y, 1, 1e-12);
    EXPECT_NEAR(Polar(180).x, -1, 1e-12);
}

TEST(Game, ABallAtRestOnTheFloorStaysPut)
{
    KVGameBody b = Ball(50, 0, 13);
    for (int i = 0; i < 100; ++i)
        b.Move(10);
    EXPECT_EQ(b.position.x, 50);
    EXPECT_EQ(b.position.y, 0);
    EXPECT_EQ(b.Speed(), 0);
}

TEST(Game, AFloorContactLosesTenPercentUpAndTwoAcross)
{
    KVGameBody b = Ball(50, -0.5, 13, {100, -200});
    b.Move(10);
    // After the bounce, one step of gravity, then the move.
    EXPECT_NEAR(b.velocity.x, 98, 1e-9);
    EXPECT_NEAR(b.velocity.y, 180 - kGravity * 0.01, 1e-9);
    EXPECT_NEAR(b.position.y, (180 - kGravity * 0.01) * 0.01, 1e-9);
    // A wall turns the horizontal speed round, 10 % less.
    KVGameBody w = Ball(-1, 50, 13, {-100, 0});
    w.gravity = false;
    w.Move(10);
    EXPECT_NEAR(w.velocity.x, 90 - kDrag * 0.01, 1e-9);
    EXPECT_NEAR(w.position.x, w.velocity.x * 0.01, 1e-9);
}

TEST(Game, OverlappingBallsPartAndTradeMomentumOncePerStep)
{
    GameWorld world;
    world.running = true;
    world.bodies[0] = std::make_unique<KVGameBody>(Ball(50, 50, 20, {100, 0}));
    world.bodies[1] = std::make_unique<KVGameBody>(Ball(66, 50, 20, {0, 0}));
    for (auto &s : world.bodies)
        if (s)
            s->gravity = false;
    const double before = world.bodies[0]->mass * world.bodies[0]->velocity.x;
    const double gap = world.bodies[1]->Centre().x - world.bodies[0]->Centre().x;
    // One pair, collided once: a second collision would send them back.
    KVGameBody &a = *world.bodies[0], &b = *world.bodies[1];
    a.Collide(b);
    b.Collide(a);
    EXPECT_NEAR(b.Centre().x - a.Centre().x, 20, 1e-9) << "pushed apart by half the overlap each";
    EXPECT_NEAR(a.position.x, 50 - (20 - gap) / 2, 1e-9);
    EXPECT_NEAR(a.mass * a.velocity.x + b.mass * b.velocity.x, before, 1e-9) << "momentum kept";
    EXPECT_NEAR(a.velocity.x, 100 * (1 - kBallRestitution) / 2, 1e-9);
    EXPECT_NEAR(b.velocity.x, 100 * (1 + kBallRestitution) / 2, 1e-9);
    a.ClearContacts();
    b.ClearContacts();
    // In a step the same holds.
    world.bodies[0]->position = {50, 50};
    world.bodies[0]->velocity = {100, 0};
    world.bodies[1]->position = {66, 50};
    world.bodies[1]->velocity = {0, 0};
    world.Step(0, 200, 134);
    EXPECT_NEAR(world.bodies[1]->velocity.x, 100 * (1 + kBallRestitution) / 2, 1e-9);
    EXPECT_EQ(world.bodies[0]->contacts[0], nullptr) << "contacts empty after the step";
}

TEST(Game, KicksPushAwayFromTheMouse)
{
    const struct {
        GameVec mouse;
        double vx, vy;
    } cases[] = {
        {{40, 60}, 300, 0},  // from the left: to the right
        {{80, 60}, -300, 0}, // from the right: to the left
        {{60, 20}, 0, 300},  // from straight below: up
        {{60, 90}, 0, 300},  // from straight above: up as well
    };
    for (const auto &tc : cases) {
        KVGameBody b = Ball(50, 50, 20); // centre (60, 60)
        b.Kick(tc.mouse);
        EXPECT_TRUE(b.pressed);
        EXPECT_NEAR(b.velocity.x, tc.vx, 1e-9);
        EXPECT_NEAR(b.velocity.y, tc.vy, 1e-9);
        b.Release();
        EXPECT_FALSE(b.pressed);
    }
}

TEST(Game, AResizeMovesTheBoundsOnTheNextStep)
{
    GameWorld world;
    world.bodies[0] = std::make_unique<KVGameBody>(Ball(150, 100, 13, {10, 0}));
    world.Step(10, 100, 80);
    EXPECT_EQ(world.bodies[0]->bounds.right, 200) << "not while stopped";
    world.running = true;
    world.Step(10, 100, 80);
    EXPECT_EQ(world.bodies[0]->bounds.right, 100);
    EXPECT_EQ(world.bodies[0]->bounds.top, 80);
    EXPECT_LT(world.bodies[0]->position.x + 13, 100) << "back inside";
    EXPECT_LT(world.bodies[0]->position.y + 13, 80);
}

TEST(Game, BoxesLeaveEachOther)
{
    KVGameBody a = Ball(0, 0, 10, {5, 0});
    KVGameBody b = Ball(8, 0, 10);
    a.shapeKind = gsRectangle;
    a.Collide(b);
    EXPECT_EQ(a.position.x, -3);
    EXPECT_EQ(a.velocity.x, -5);
}

TEST(Game, BallsComeToRest)
{
    for (uint32_t tick : {3u, 99u, 4242u}) {
        GameRandom random([tick]() mutable { return tick += 16; });
        GameWorld world;
        world.Populate(223, 134, random);
        world.running = true;
        int steps = 0;
        while (!world.AtRest() && steps < 12000) {
            world.Step(10, 223, 134);
            ++steps;
        }
        EXPECT_TRUE(world.AtRest()) << "still moving after " << steps / 100 << " s";
        world.bodies[0]->Press();
        EXPECT_FALSE(world.AtRest()) << "a held ball is not at rest";
        world.bodies[0]->Release();
        world.Step(10, 200, 134);
        EXPECT_FALSE(world.AtRest()) << "a new size stirs the game";
    }
}

// Rest means no ball has moved by a whole pixel for a second of steps: a ball rolling at less
// than a pixel a step changes its pixel only every few steps, and keeps the game running.
TEST(Game, ABallRollingSlowerThanAPixelAStepIsNotAtRest)
{
    GameRandom random([tick = 7u]() mutable { return tick += 16; });
    GameWorld world;
    world.Populate(223, 134, random);
    world.running = true;
    for (int i = 1; i < 50; ++i)
        if (world.bodies[i])
            world.bodies[i]->inactive = true;
    KVGameBody &b = *world.bodies[0];
    b.position = {20, 0};
    b.velocity = {40, 0};
    for (int step = 0; step < 30; ++step) {
        world.Step(10, 223, 134);
        EXPECT_FALSE(world.AtRest()) << "at step " << step;
    }
    EXPECT_GT(b.position.x, 27);
}

} // namespace
