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

namespace {

bool Holds(const KVArea &a, int x, int y)
{
    return x >= a.left && x < a.right && y >= a.top && y < a.bottom;
}

const KVScreen *ScreenAt(KVRect r, const KVScreens &screens)
{
    const int i = ScreenOf(r, screens);
    return i < 0 ? nullptr : &screens.screens[static_cast<size_t>(i)];
}

int CentreX(const KVRect &r)
{
    return r.left + r.width / 2;
}

int CentreY(const KVRect &r)
{
    return r.top + r.height / 2;
}

bool OnAScreen(const KVRect &r, const KVScreens &screens)
{
    for (const KVScreen &s : screens.screens)
        if (Holds(s.geometry, CentreX(r), CentreY(r)))
            return true;
    return false;
}

} // namespace

int ScreenOf(KVRect r, const KVScreens &screens)
{
    const int n = static_cast<int>(screens.screens.size());
    for (int i = 0; i < n; ++i)
        if (Holds(screens.screens[static_cast<size_t>(i)].geometry, CentreX(r), CentreY(r)))
            return i;
    if (n == 0)
        return -1;
    return screens.primary >= 0 && screens.primary < n ? screens.primary : 0;
}

KVArea DockArea(KVRect r, const KVScreens &screens, KVArea fallback)
{
    const KVScreen *s = ScreenAt(r, screens);
    return s ? s->available : fallback;
}

KVRect Rehome(KVRect r, const KVScreens &before, const KVScreens &after)
{
    if (after.screens.empty())
        return r;
    const KVScreen *old = OnAScreen(r, before) ? ScreenAt(r, before) : nullptr;
    const KVScreen *target = nullptr;
    if (old && !old->name.empty())
        for (const KVScreen &s : after.screens)
            if (s.name == old->name)
                target = &s;
    if (target) {
        if (target->geometry == old->geometry)
            return r;
    } else if (OnAScreen(r, after)) {
        return r;
    } else {
        target = ScreenAt(r, after); // nothing holds the centre: the primary
    }
    if (old) {
        r.left += target->geometry.left - old->geometry.left;
        r.top += target->geometry.top - old->geometry.top;
    }
    const KVArea &work = target->available;
    r.left = std::clamp(r.left, work.left, std::max(work.left, work.right - r.width));
    r.top = std::clamp(r.top, work.top, std::max(work.top, work.bottom - r.height));
    return r;
}

KVRect PlaceAfterScreenChange(KVRect r, bool docked, const KVScreens &before, const KVScreens &after,
                              const WindowSettings &settings, WindowSettings &saved, int minWidth,
                              int minHeight)
{
    r = Rehome(r, before, after);
    if (!docked || after.screens.empty())
        return r;
    return DockRect(DockArea(r, after, {}), r, settings, saved, minWidth, minHeight);
}

int PanelHeight(bool open, bool lockedOpen, bool hasFirstLabel, int linkCount, int labelHeight)
{
    if ((!open && !lockedOpen) || !hasFirstLabel)
        return 20;
    return linkCount * 2 + linkCount * labelHeight + 22;
}
