#pragma once

// The hidden game's physics, without Qt: balls under gravity in a box,
// bouncing off its edges and off each other, kicked away by the mouse.
//
// The game's plane has its origin at the panel's bottom-left corner, x to
// the right and y upwards, in pixels; a body's position is the lower-left
// corner of its bounding box.

#include <cstdint>
#include <functional>
#include <memory>

struct GameVec {
    double x = 0;
    double y = 0;
};

struct GameColour {
    uint8_t r, g, b;
    bool operator==(const GameColour &) const = default;
};

// The form library's shape kinds; the game makes circles.
enum GameShapeKind : uint8_t { gsRectangle = 0, gsSquare, gsRoundRect, gsRoundSquare, gsEllipse, gsCircle };

// Restitution between two balls, and the share of speed kept at an edge.
constexpr double kBallRestitution = 0.93;
constexpr double kEdgeRestitution = 0.9;
constexpr double kFloorFriction = 0.98;
constexpr double kGravity = 24.0 * 24.0; // pixels per second squared
constexpr double kDrag = 5.0 * 5.0;      // without gravity, pixels per second squared
constexpr double kRestSpeed = 0.1;
constexpr double kKickSpeed = 300.0;

// Degrees of the direction (dx, dy), between -90 and 90; 90 when dx is 0.
double Angle(double dx, double dy);
// The unit vector at degrees.
GameVec Polar(double degrees);

class KVGameBody {
  public:
    struct Bounds {
        int32_t left = 0, bottom = 0, right = 100, top = 100;
    };

    GameVec position;
    GameVec velocity; // pixels per second
    GameVec size{20, 20};
    GameColour fill{166, 202, 240};
    GameColour line{81, 150, 225};
    GameColour fill2{255, 255, 255}; // kept, not drawn
    GameColour line2{166, 202, 240};
    bool inactive = true;
    bool pressed = false;
    Bounds bounds;
    GameShapeKind shapeKind = gsRectangle;
    double mass = 5.0;
    KVGameBody *contacts[5] = {}; // bodies that hit this one in the current step
    bool gravity = false;

    double Radius() const { return size.x / 2; }
    GameVec Centre() const { return {position.x + Radius(), position.y + Radius()}; }
    double Speed() const;

    void Collide(KVGameBody &other);
    void Move(double elapsedMs);
    // A left click at mouse (in the game's plane): away from the mouse,
    // straight up when the mouse is right above or below the centre.
    void Kick(GameVec mouse);
    void Press() { pressed = true; }
    void Release() { pressed = false; }
    void ClearContacts();

  private:
    void CollideCircles(KVGameBody &other);
    void CollideBoxes(KVGameBody &other);
    bool InContacts(const KVGameBody *body) const;
};

// The runtime's random numbers as the game draws them: each draw reseeds
// from the tick count, then takes the next value from 0 to 32767.
class GameRandom {
  public:
    explicit GameRandom(std::function<uint32_t()> tickCount);
    int Integer(int lo, int hi); // inclusive
    double Real();               // [0, 1)
    double Real(double a, double b);

  private:
    int Next();
    int Draw();
    std::function<uint32_t()> m_tickCount;
    uint32_t m_seed = 1;
};

// The panel's balls: up to 50 bodies, of which a new game fills 3 to 8.
class GameWorld {
  public:
    static constexpr int kSlots = 50;
    std::unique_ptr<KVGameBody> bodies[kSlots];
    bool running = false;

    // A new game in a client area of width x height.
    void Populate(int width, int height, GameRandom &random);
    int BallCount() const;
    // One step, while running: every pair collides, then every body moves
    // within the current client area.
    void Step(double elapsedMs, int width, int height);

    // Resting balls never stop quite still: each step's gravity makes them
    // tremble by a fraction of a pixel on the floor. Once no ball has moved
    // by a whole pixel for a second of steps and none is held, the game is
    // at rest, and nothing on the screen would change by running it.
    static constexpr int kRestSteps = 100;
    bool AtRest() const;
    // Something from outside moved a ball or the box: not at rest.
    void Stir() { m_stillSteps = 0; }

  private:
    int m_stillSteps = 0;
    int m_width = -1;
    int m_height = -1;
};
