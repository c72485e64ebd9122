#pragma once

// The numbers behind the big clock's drag: how it follows the pointer, how
// its edges snap to the main window's, and where it goes on the screen.
// Plain structs and pure functions, so they are checked without a window.

#include <cstdint>
#include <optional>

// How near (in pixels) an edge must come to the anchor's to snap, and how far
// the pointer must then travel to pull it loose.
constexpr int kSnapDistance = 15;

struct TSnapRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int Right() const { return left + width; }
    int Bottom() const { return top + height; }
    bool operator==(const TSnapRect &) const = default;
};

struct TSnapPoint {
    int left = 0;
    int top = 0;
    bool operator==(const TSnapPoint &) const = default;
};

// The mouse button a drag was started with.
enum : uint8_t { mbLeft = 0, mbRight = 1, mbMiddle = 2 };

// The drag state of a window that snaps to the edges of another (its anchor).
// Each call takes the window's rectangle and returns where it goes.
struct TFollowerDrag {
    bool dragging = false;
    // The pointer on the screen at the press, then at the last move.
    int startX = 0;
    int startY = 0;
    uint8_t button = mbLeft;
    bool attachedVertically = false;
    bool attachedHorizontally = false;
    // The pointer's travel along an attached edge since the window last moved
    // that way.
    int accumulatedDx = 0;
    int accumulatedDy = 0;

    void Press(int x, int y, uint8_t pressed);
    // The pointer moved to (x, y) on the screen. A drag with the right or
    // middle button ends here. Without an anchor nothing snaps.
    TSnapRect Move(int x, int y, TSnapRect window, const std::optional<TSnapRect> &anchor);
    void Release();
    // The anchor was dragged by (dx, dy) and is now at anchor; an attached
    // window goes along, a free one stays.
    TSnapRect Follow(int dx, int dy, TSnapRect window, const TSnapRect &anchor);
    // Puts the window flush against an anchor edge it has come near, and
    // records which way it is attached.
    TSnapRect Snap(TSnapRect window, const std::optional<TSnapRect> &anchor);
};

// A stored clock position pulled inside the screen. A clock larger than the
// screen keeps its place between the two bounds.
TSnapPoint ClampIntoScreen(TSnapPoint stored, int width, int height, const TSnapRect &screen);

// The place that centres a window of this size on the screen.
TSnapPoint CentreOnScreen(int width, int height, const TSnapRect &screen);
