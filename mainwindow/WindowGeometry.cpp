#include "WindowGeometry.h"

#include <algorithm>

int ClampEither(int value, int a, int b)
{
    return std::clamp(value, std::min(a, b), std::max(a, b));
}

KVRect SaneWindowRect(KVRect r, KVArea screen, int minWidth, int minHeight)
{
    const int screenWidth = screen.right - screen.left;
    const int screenHeight = screen.bottom - screen.top;
    r.width = std::clamp(r.width, minWidth, std::max(minWidth, screenWidth));
    r.height = std::clamp(r.height, minHeight, std::max(minHeight, screenHeight));
    r.left = std::clamp(r.left, screen.left, std::max(screen.left, screen.right - r.width));
    r.top = std::clamp(r.top, screen.top, std::max(screen.top, screen.bottom - r.height));
    return r;
}

KVRect DockRect(KVArea work, KVRect window, const WindowSettings &settings, WindowSettings &saved,
                int minWidth, int minHeight)
{
    const int prev = saved.dockPosition;
    const int cur = settings.dockPosition;
    if (prev < dpAbsoluteLeft && cur >= dpAbsoluteLeft) {
        saved.width = window.width;
        saved.height = window.height;
    } else if (prev >= dpAbsoluteLeft && cur < dpAbsoluteLeft) {
        window.width = saved.width;
        window.height = saved.height;
    }
    saved.dockPosition = cur;

    switch (cur) {
    case dpTopLeft:
    case dpMiddleLeft:
    case dpBottomLeft:
    case dpAbsoluteLeft:
        window.left = work.left;
        break;
    case dpTopMiddle:
    case dpCentre:
    case dpBottomMiddle:
        // The middle between the edges: half the right edge would be off
        // centre under a left panel, or on a monitor away from the origin.
        window.left = work.left + (work.right - work.left) / 2 - window.width / 2;
        break;
    default:
        window.left = work.right - window.width;
        break;
    }
    switch (cur) {
    case dpTopLeft:
    case dpTopMiddle:
    case dpTopRight:
        window.top = work.top;
        break;
    case dpMiddleLeft:
    case dpCentre:
    case dpMiddleRight:
        window.top = work.top + (work.bottom - work.top) / 2 - window.height / 2;
        break;
    case dpBottomLeft:
    case dpBottomMiddle:
    case dpBottomRight:
        window.top = work.bottom - window.height;
        break;
    default: // full height
        window.top = work.top;
        window.height = work.bottom - work.top;
        break;
    }
    window.height = std::max(window.height, minHeight);
    window.width = std::max(window.width, minWidth);
    return window;
}

int PanelHeight(bool open, bool lockedOpen, bool hasFirstLabel, int linkCount, int labelHeight)
{
    if ((!open && !lockedOpen) || !hasFirstLabel)
        return 20;
    return linkCount * 2 + linkCount * labelHeight + 22;
}
