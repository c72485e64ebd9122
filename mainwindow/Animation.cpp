#include "Animation.h"

FadeStep StepFade(double fractional, int height, bool open, int minHeight, int maxHeight,
                  double durationSeconds, double elapsedMs)
{
    const double delta = elapsedMs / (1000.0 * durationSeconds) * (maxHeight - minHeight);
    if (open && maxHeight > height) {
        fractional += delta;
        height = static_cast<int>(fractional);
        if (height > maxHeight)
            height = maxHeight;
    } else if (!open && minHeight < height) {
        fractional -= delta;
        height = static_cast<int>(fractional);
        if (height < minHeight)
            height = minHeight;
    }
    return {fractional, height};
}

namespace {

// The track bar's answer to a new position.
void Take(AutoAlphaState &s, int p)
{
    if (p == s.position)
        return;
    s.position = p < kAlphaMin ? kAlphaMin : p > kAlphaMax ? kAlphaMax : p;
    s.accumulator = s.position;
}

} // namespace

AutoAlphaState StepAutoAlpha(AutoAlphaState s, bool pointerInside, double elapsedMs)
{
    const double rate = elapsedMs / (1000.0 * 0.125) * (kAlphaMax - kAlphaMin);
    if (pointerInside && s.position < kAlphaMax) {
        s.accumulator += rate;
        Take(s, static_cast<int>(s.accumulator));
        s.delay = kFadeOutDelayMs;
    } else if (!pointerInside && s.position > kAlphaMin) {
        s.delay -= elapsedMs;
        if (s.delay <= 0 || s.position < kAlphaMax) {
            s.accumulator -= rate;
            Take(s, static_cast<int>(s.accumulator));
        }
    }
    return s;
}

bool AutoAlphaSettled(const AutoAlphaState &s, bool pointerInside)
{
    return pointerInside ? s.position >= kAlphaMax : s.position <= kAlphaMin;
}
