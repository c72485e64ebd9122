#pragma once

// The numbers behind the main window's placement: pure functions, so they can
// be checked without a window.

#include <string>
#include <vector>

#include "Kvguiglobals.h"

struct KVRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const KVRect &) const = default;
};

// A screen area as its edges (right and bottom exclusive, as the work area
// is reported).
struct KVArea {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const KVArea &) const = default;
};

constexpr int kMinFormWidth = 152;
constexpr int kMinFormHeight = 271;

// A window rectangle read from the configuration, brought within reach: at
// least the minimum size, at most the screen, and inside the screen.
KVRect SaneWindowRect(KVRect r, KVArea screen, int minWidth = kMinFormWidth, int minHeight = kMinFormHeight);

// Where the window goes for settings.dockPosition (0..10) in the work area.
// Entering an absolute position remembers the size in saved; leaving one
// restores it. saved.dockPosition becomes the current position.
KVRect DockRect(KVArea work, KVRect window, const WindowSettings &settings, WindowSettings &saved,
                int minWidth = kMinFormWidth, int minHeight = kMinFormHeight);

// A monitor: all of it, what panels and docks leave of it, and the name of
// its output (empty when the system gives none), which outlives a change of
// resolution or place.
struct KVScreen {
    KVArea geometry;
    KVArea available;
    std::string name;
};

// The monitors as the window system reports them, and which is the primary.
struct KVScreens {
    std::vector<KVScreen> screens;
    int primary = 0;
};

// The monitor a window at r is on: the one that holds its centre, else the
// primary; -1 when there are no monitors at all.
int ScreenOf(KVRect r, const KVScreens &screens);

// The work area the window docks in: the available part of its monitor, or
// fallback when there are no monitors.
KVArea DockArea(KVRect r, const KVScreens &screens, KVArea fallback);

// Where a window (or the big clock) left at r goes when the monitors change
// from before to after. Its monitor is the one that held its centre before.
// When that monitor is still there (by name) but moved or changed its
// resolution, the window keeps its offset from the monitor's top left. When
// it went away, the window stays where it is if its centre is on another
// monitor, and otherwise goes onto the primary at the same offset. Wherever
// it moves, it is moved (not resized) inside that monitor's work area.
KVRect Rehome(KVRect r, const KVScreens &before, const KVScreens &after);

// The window's place once the monitors have changed: brought home as above,
// then, while docked, at its dock place in the work area of the monitor it
// is on.
KVRect PlaceAfterScreenChange(KVRect r, bool docked, const KVScreens &before, const KVScreens &after,
                              const WindowSettings &settings, WindowSettings &saved,
                              int minWidth = kMinFormWidth, int minHeight = kMinFormHeight);

// Clamp that accepts its bounds in either order.
int ClampEither(int value, int a, int b);

// Height of a category panel: the header alone while shut (or without links
// shown), else the header, the links and their gaps.
int PanelHeight(bool open, bool lockedOpen, bool hasFirstLabel, int linkCount, int labelHeight);
