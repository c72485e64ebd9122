#include "GamePhysics.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace {

double Length(GameVec v)
{
    return std::sqrt(v.x * v.x + v.y * v.y);
}

GameVec Scaled(GameVec v, double k)
{
    return {v.x * k, v.y * k};
}

double Dot(GameVec a, GameVec b)
{
    return a.x * b.x + a.y * b.y;
}

constexpr GameColour kFills[8] = {{255, 0, 0},   {0, 255, 0},     {255, 255, 0},   {0, 0, 255},
                                  {255, 0, 255}, {166, 202, 240}, {192, 192, 192}, {0, 0, 0}};
constexpr GameColour kLines[8] = {{128, 0, 0},   {0, 128, 0},    {128, 128, 0},   {0, 0, 128},
                                  {128, 0, 128}, {81, 150, 225}, {128, 128, 128}, {0, 0, 0}};

} // namespace

double Angle(double dx, double dy)
{
    if (dx == 0)
        return 90;
    return std::atan(dy / dx) * 180 / std::numbers::pi;
}

GameVec Polar(double degrees)
{
    const double a = degrees * std::numbers::pi / 180;
    return {std::cos(a), std::sin(a)};
}

double KVGameBody::Speed() const
{
    return Length(velocity);
}

bool KVGameBody::InContacts(const KVGameBody *body) const
{
    return std::find(std::begin(contacts), std::end(contacts), body) != std::end(contacts);
}

void KVGameBody::ClearContacts()
{
    std::fill(std::begin(contacts), std::end(contacts), nullptr);
}

void KVGameBody::Collide(KVGameBody &other)
{
    if (inactive || &other == this)
        return;
    if (shapeKind == gsCircle && other.shapeKind == gsCircle)
        CollideCircles(other);
    else
        CollideBoxes(other);
}

void KVGameBody::CollideCircles(KVGameBody &b)
{
    const GameVec ca = Centre(), cb = b.Centre();
    const GameVec d{cb.x - ca.x, cb.y - ca.y};
    if (Length(d) > Radius() + b.Radius())
        return;
    const double a = Angle(d.x, d.y);
    const GameVec dir = Polar(a);
    const GameVec p{ca.x + Radius() * dir.x, ca.y + Radius() * dir.y};
    const GameVec pb{p.x - cb.x, p.y - cb.y};
    if (Dot(pb, pb) >= b.Radius() * b.Radius() || InContacts(&b))
        return;
    // This pair is settled for the step: the other order is not run again.
    std::move_backward(std::begin(b.contacts), std::end(b.contacts) - 1, std::end(b.contacts));
    b.contacts[0] = this;

    const double o = (Radius() + b.Radius() - Length(d)) / 2;
    const GameVec away = Polar(a + 180);
    position.x += o * away.x;
    position.y += o * away.y;
    b.position.x += o * dir.x;
    b.position.y += o * dir.y;
    if (Speed() <= kRestSpeed && b.Speed() <= kRestSpeed)
        return;

    const GameVec na = Centre(), nb = b.Centre();
    const GameVec between{nb.x - na.x, nb.y - na.y};
    const double length = Length(between);
    if (length == 0)
        return; // on top of each other: no direction to push along
    const GameVec n = Scaled(between, 100 / length);
    const GameVec relative{velocity.x - b.velocity.x, velocity.y - b.velocity.y};
    const double j = -(1 + kBallRestitution) * Dot(relative, n) / Dot(n, Scaled(n, 1 / mass + 1 / b.mass));
    velocity.x += j / mass * n.x;
    velocity.y += j / mass * n.y;
    b.velocity.x -= j / b.mass * n.x;
    b.velocity.y -= j / b.mass * n.y;
}

// Bodies that are not both circles: boxes. The body leaves the other's box
// by one pixel along the shallower overlap, and that velocity component
// turns round.
void KVGameBody::CollideBoxes(KVGameBody &b)
{
    const double left = position.x, right = position.x + size.x;
    const double bottom = position.y, top = position.y + size.y;
    const double bLeft = b.position.x, bRight = b.position.x + b.size.x;
    const double bBottom = b.position.y, bTop = b.position.y + b.size.y;
    if (right <= bLeft || left >= bRight || top <= bBottom || bottom >= bTop)
        return;
    const double pushLeft = right - bLeft, pushRight = bRight - left;
    const double pushDown = top - bBottom, pushUp = bTop - bottom;
    const double dx = std::min(pushLeft, pushRight), dy = std::min(pushDown, pushUp);
    if (dx <= dy) {
        position.x += pushLeft < pushRight ? -(pushLeft + 1) : pushRight + 1;
        velocity.x = -velocity.x;
    } else {
        position.y += pushDown < pushUp ? -(pushDown + 1) : pushUp + 1;
        velocity.y = -velocity.y;
    }
}

void KVGameBody::Move(double elapsedMs)
{
    if (inactive)
        return;
    const bool atLeft = position.x <= bounds.left;
    const bool atFloor = position.y <= bounds.bottom;
    const bool atRight = position.x + size.x > bounds.right;
    const bool atCeiling = position.y + size.y > bounds.top;
    if (atLeft)
        position.x = 0;
    if (atRight)
        position.x = bounds.right - size.x - 1;
    if ((atLeft || atRight) && velocity.x != 0) {
        velocity.x = -kEdgeRestitution * velocity.x;
        if (std::abs(velocity.x) < kRestSpeed)
            velocity.x = 0;
    }
    if (atCeiling)
        position.y = bounds.top - size.y - 1;
    else if (atFloor)
        position.y = 0;
    if ((atCeiling || atFloor) && velocity.y != 0) {
        velocity.y = -kEdgeRestitution * velocity.y;
        if (gravity)
            velocity.x *= kFloorFriction;
        if (std::abs(velocity.y) < kRestSpeed)
            velocity.y = 0;
    }
    const double dt = elapsedMs * 0.001;
    const double speed = Speed();
    if (speed > 0) {
        if (gravity) {
            velocity.y -= kGravity * dt;
        } else {
            const double slower = std::max(0.0, speed - kDrag * dt);
            velocity = Scaled(velocity, slower / speed);
        }
        if (Speed() <= kRestSpeed)
            velocity = {0, 0};
    }
    position.x += velocity.x * dt;
    position.y += velocity.y * dt;
}

void KVGameBody::Kick(GameVec mouse)
{
    pressed = true;
    const GameVec c = Centre();
    double a = Angle(mouse.x - c.x, mouse.y - c.y);
    if (mouse.x > c.x)
        a += 180;
    const GameVec push = Polar(a);
    velocity.x += kKickSpeed * push.x;
    velocity.y += kKickSpeed * push.y;
}

GameRandom::GameRandom(std::function<uint32_t()> tickCount) : m_tickCount(std::move(tickCount))
{
}

// The runtime's generator: 32-bit linear congruential, 15 bits out.
int GameRandom::Next()
{
    m_seed = m_seed * 0x015A4E35u + 1;
    return static_cast<int>((m_seed >> 16) & 0x7FFF);
}

int GameRandom::Draw()
{
    const uint32_t tick = m_tickCount ? m_tickCount() : 0;
    m_seed = tick + static_cast<uint32_t>(Next());
    const uint32_t first = static_cast<uint32_t>(Next());
    m_seed = first * (tick + static_cast<uint32_t>(Next()));
    return Next();
}

int GameRandom::Integer(int lo, int hi)
{
    return lo + static_cast<int>((static_cast<int64_t>(Draw()) * (hi - lo + 1)) / 32768);
}

double GameRandom::Real()
{
    return Draw() / 32768.0;
}

double GameRandom::Real(double a, double b)
{
    return a + (b - a) * Real();
}

void GameWorld::Populate(int width, int height, GameRandom &random)
{
    for (auto &slot : bodies)
        slot.reset();
    const int n = random.Integer(3, 8);
    for (int i = 0; i < n; ++i) {
        const double s = random.Real(0.5, 3.0);
        auto body = std::make_unique<KVGameBody>();
        body->position = {random.Integer(0, width) - 6.5, random.Integer(0, height) - 6.5};
        body->size = {std::sqrt(s) * 13, std::sqrt(s) * 13};
        body->gravity = true;
        body->bounds = {0, 0, width, height};
        body->shapeKind = gsCircle;
        body->fill = kFills[i];
        body->line = kLines[i];
        body->inactive = false;
        const GameVec push = Polar(random.Real() * 360);
        body->velocity.x += kKickSpeed * push.x;
        body->velocity.y += kKickSpeed * push.y;
        body->mass = 5.0 * s;
        bodies[i] = std::move(body);
    }
}

int GameWorld::BallCount() const
{
    return static_cast<int>(
        std::count_if(std::begin(bodies), std::end(bodies), [](const auto &s) { return s != nullptr; }));
}

bool GameWorld::AtRest() const
{
    if (m_stillSteps < kRestSteps)
        return false;
    return std::none_of(std::begin(bodies), std::end(bodies), [](const auto &b) { return b && b->pressed; });
}

void GameWorld::Step(double elapsedMs, int width, int height)
{
    if (!running)
        return;
    if (width != m_width || height != m_height) {
        m_width = width;
        m_height = height;
        Stir();
    }
    const auto pixel = [](const KVGameBody &b) {
        return std::pair{std::lround(b.position.x), std::lround(b.position.y)};
    };
    std::pair<long, long> before[kSlots];
    for (int i = 0; i < kSlots; ++i)
        if (bodies[i])
            before[i] = pixel(*bodies[i]);
    for (auto &a : bodies) {
        if (!a)
            continue;
        for (auto &b : bodies)
            if (b && b != a)
                a->Collide(*b);
        a->bounds = {0, 0, width, height};
        a->Move(elapsedMs);
    }
    bool still = true;
    for (int i = 0; i < kSlots; ++i)
        if (bodies[i]) {
            bodies[i]->ClearContacts();
            still = still && pixel(*bodies[i]) == before[i];
        }
    m_stillSteps = still ? m_stillSteps + 1 : 0;
}
