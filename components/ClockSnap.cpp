#include "ClockSnap.h"

#include <algorithm>
#include <cstdlib>

namespace {

int ClampEitherWay(int value, int a, int b)
{
    return std::clamp(value, std::min(a, b), std::max(a, b));
}

bool Within(int value, int edge)
{
    return edge - kSnapDistance <= value && value <= edge + kSnapDistance;
}

} // namespace

void TFollowerDrag::Press(int x, int y, uint8_t pressed)
{
    dragging = true;
    button = pressed;
    startX = x;
    startY = y;
    accumulatedDx = 0;
    accumulatedDy = 0;
}

TSnapRect TFollowerDrag::Move(int x, int y, TSnapRect window, const std::optional<TSnapRect> &anchor)
{
    if (!dragging)
        return window;
    if (button != mbLeft) {
        Release();
        return window;
    }
    // The travel is measured from the last position on the screen, not from
    // the press in the window's own coordinates: while the window sticks to an
    // edge the pointer drifts off its grip, and that offset would be counted
    // again on every move, pulling the window loose after a few pixels and
    // making it flicker along the edge it has just snapped to.
    accumulatedDx += x - startX;
    accumulatedDy += y - startY;
    startX = x;
    startY = y;
    if (!attachedHorizontally || std::abs(accumulatedDx) > kSnapDistance) {
        window.left += accumulatedDx;
        accumulatedDx = 0;
    }
    if (!attachedVertically || std::abs(accumulatedDy) > kSnapDistance) {
        window.top += accumulatedDy;
        accumulatedDy = 0;
    }
    return Snap(window, anchor);
}

void TFollowerDrag::Release()
{
    dragging = false;
    attachedVertically = false;
    attachedHorizontally = false;
    accumulatedDx = 0;
    accumulatedDy = 0;
}

TSnapRect TFollowerDrag::Follow(int dx, int dy, TSnapRect window, const TSnapRect &anchor)
{
    if (!attachedVertically && !attachedHorizontally)
        return window;
    window.left += dx;
    window.top += dy;
    return Snap(window, anchor);
}

TSnapRect TFollowerDrag::Snap(TSnapRect w, const std::optional<TSnapRect> &anchor)
{
    if (!anchor) {
        attachedVertically = attachedHorizontally = false;
        return w;
    }
    const TSnapRect &a = *anchor;
    // An edge beside the anchor's snaps only where the two overlap along it;
    // touching corners count.
    const bool besideHorizontally = w.Right() >= a.left && a.Right() >= w.left;
    bool vertical = false;
    // The bottom edge's band is as wide above the anchor's top as below it,
    // like the other three: a band reaching down to the window's top edge
    // would pull a window dragged down over the anchor back above it on
    // every move, so that it could never get past.
    if (!attachedHorizontally && besideHorizontally && Within(w.top, a.Bottom())) {
        w.top = a.Bottom();
        vertical = true;
    } else if (!attachedHorizontally && besideHorizontally && Within(w.Bottom(), a.top)) {
        w.top = a.top - w.height;
        vertical = true;
    }
    if (vertical) {
        attachedVertically = true;
        attachedHorizontally = false;
    }
    // A window that was attached vertically and has just left that band
    // stays free for this move: it may snap sideways on the next one.
    const bool besideVertically = w.Bottom() >= a.top && a.Bottom() >= w.top;
    if (!attachedVertically && besideVertically && Within(w.left, a.Right())) {
        w.left = a.Right();
        attachedHorizontally = true;
        return w;
    }
    if (!attachedVertically && besideVertically && Within(w.Right(), a.left)) {
        w.left = a.left - w.width;
        attachedHorizontally = true;
        return w;
    }
    if (!vertical)
        attachedVertically = attachedHorizontally = false;
    return w;
}

TSnapPoint ClampIntoScreen(TSnapPoint stored, int width, int height, const TSnapRect &screen)
{
    return {ClampEitherWay(stored.left, screen.left, screen.Right() - width),
            ClampEitherWay(stored.top, screen.top, screen.Bottom() - height)};
}

TSnapPoint CentreOnScreen(int width, int height, const TSnapRect &screen)
{
    return {screen.left + screen.width / 2 - width / 2, screen.top + screen.height / 2 - height / 2};
}
