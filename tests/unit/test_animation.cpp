#include <gtest/gtest.h>

#include <vector>

#include "Animation.h"

namespace {

// Heights of a section over the ticks of one slide, until it rests.
std::vector<int> Slide(int from, bool open, int minHeight, int maxHeight, double duration)
{
    std::vector<int> heights;
    double fractional = from;
    int height = from;
    for (int tick = 0; tick < 100; ++tick) {
        FadeStep s = StepFade(fractional, height, open, minHeight, maxHeight, duration, 10);
        if (s.height == height && s.fractional == fractional)
            break;
        fractional = s.fractional;
        height = s.height;
        heights.push_back(height);
    }
    return heights;
}

TEST(Animation, SectionsSlideByTheirDuration)
{
    struct Case {
        const char *what;
        int from;
        bool open;
        int minHeight, maxHeight;
        double duration;
        std::vector<int> heights;
    } cases[] = {
        {"game section opening",
         6,
         true,
         6,
         150,
         0.125,
         {17, 29, 40, 52, 63, 75, 86, 98, 109, 121, 132, 144, 150}},
        {"game section shutting",
         150,
         false,
         6,
         150,
         0.125,
         {138, 126, 115, 103, 92, 80, 69, 57, 46, 34, 23, 11, 6}},
        {"button section opening", 6, true, 6, 30, 30.0 / 150.0 * 0.125, {15, 25, 30}},
        {"button section shutting", 30, false, 6, 30, 30.0 / 150.0 * 0.125, {20, 10, 6}},
        {"already open", 30, true, 6, 30, 0.025, {}},
    };
    for (const Case &tc : cases)
        EXPECT_EQ(Slide(tc.from, tc.open, tc.minHeight, tc.maxHeight, tc.duration), tc.heights) << tc.what;
}

// Track positions over the ticks, until nothing changes for 30 ticks.
std::vector<int> Fade(AutoAlphaState s, bool inside, int *ticksBeforeFirstChange = nullptr)
{
    std::vector<int> positions;
    int quiet = 0, tick = 0;
    while (quiet < 30 && tick < 1000) {
        ++tick;
        const int before = s.position;
        s = StepAutoAlpha(s, inside, 10);
        if (s.position == before) {
            ++quiet;
            continue;
        }
        if (positions.empty() && ticksBeforeFirstChange)
            *ticksBeforeFirstChange = tick;
        quiet = 0;
        positions.push_back(s.position);
    }
    return positions;
}

TEST(Animation, AutoAlphaFadesOutAfterItsDelayAndInAtOnce)
{
    int firstTick = 0;
    std::vector<int> out = Fade({}, false, &firstTick);
    EXPECT_EQ(firstTick, 25) << "the first fade step comes 250 ms after the pointer left";
    std::vector<int> expected;
    for (int p = 239; p > kAlphaMin; p -= 16)
        expected.push_back(p);
    expected.push_back(kAlphaMin);
    EXPECT_EQ(out, expected);

    firstTick = 0;
    std::vector<int> in = Fade({kAlphaMin, kAlphaMin, 0}, true, &firstTick);
    EXPECT_EQ(firstTick, 1);
    expected.clear();
    for (int p = 75; p <= kAlphaMax; p += 15)
        expected.push_back(p);
    EXPECT_EQ(in, expected);
}

TEST(Animation, AutoAlphaDelayOnlyHoldsAnOpaqueWindow)
{
    struct Case {
        const char *what;
        AutoAlphaState state;
        bool inside;
        AutoAlphaState next;
    } cases[] = {
        {"a fade-out under way goes on at once", {200, 200, 250}, false, {184, 184, 240}},
        {"opaque: the delay counts down", {255, 255, 250}, false, {255, 255, 240}},
        {"each step in starts the delay again", {200, 200, 30}, true, {215, 215, 250}},
        {"inside and opaque: nothing", {255, 255, 30}, true, {255, 255, 30}},
        {"outside at the minimum: nothing", {60, 60, -50}, false, {60, 60, -50}},
        {"never above the track bar's range", {250, 250, 250}, true, {255, 255, 250}},
        {"never below it", {70, 70, 0}, false, {60, 60, -10}},
    };
    for (const Case &tc : cases) {
        EXPECT_EQ(StepAutoAlpha(tc.state, tc.inside, 10), tc.next) << tc.what;
        EXPECT_EQ(AutoAlphaSettled(tc.state, tc.inside), tc.state == tc.next) << tc.what;
    }
}

} // namespace
