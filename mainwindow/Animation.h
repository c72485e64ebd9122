#pragma once

// The numbers behind everything that moves in the main window: one step of
// a sliding section and one step of Auto-Alpha per timer tick. Pure, so the
// sequences can be checked tick by tick without a window.

// One animation step of a section's height.
struct FadeStep {
    double fractional; // fractional height in pixels
    int height;        // control height (the truncated fractional height)
};
FadeStep StepFade(double fractional, int height, bool open, int minHeight, int maxHeight,
                  double durationSeconds, double elapsedMs);

// The transparency track bar's range, which Auto-Alpha fades across.
constexpr int kAlphaMin = 60;
constexpr int kAlphaMax = 255;
// How long the window stays opaque after the pointer has left it.
constexpr double kFadeOutDelayMs = 250;

struct AutoAlphaState {
    double accumulator = kAlphaMax; // the fade's fractional alpha
    int position = kAlphaMax;       // the track bar's position, the window's alpha
    double delay = kFadeOutDelayMs; // ms left before a fade-out from full opacity starts
    bool operator==(const AutoAlphaState &) const = default;
};

// One Auto-Alpha step: towards opaque while the pointer is inside, towards
// the minimum once it has left. A new position is taken as the track bar
// takes it: clamped to its range, and the accumulator follows it.
AutoAlphaState StepAutoAlpha(AutoAlphaState state, bool pointerInside, double elapsedMs);

// True when StepAutoAlpha can change nothing more with the pointer where it is.
bool AutoAlphaSettled(const AutoAlphaState &state, bool pointerInside);
