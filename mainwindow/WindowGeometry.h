#pragma once

// The numbers behind the main window's placement: pure functions, so they can
// be checked without a window.

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

// Clamp that accepts its bounds in either order.
int ClampEither(int value, int a, int b);

// Height of a category panel: the header alone while shut (or without links
// shown), else the header, the links and their gaps.
int PanelHeight(bool open, bool lockedOpen, bool hasFirstLabel, int linkCount, int labelHeight);
