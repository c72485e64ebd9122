// One step of the hidden game with eight balls in flight: it must cost next
// to nothing beside the 10 ms tick that runs it.

#include <benchmark/benchmark.h>

#include "GamePhysics.h"

namespace {

void BM_GameStepEightBalls(benchmark::State &state)
{
    uint32_t tick = 1;
    GameRandom random([&tick] { return tick += 7; });
    GameWorld world;
    world.running = true;
    int n = 0;
    do { // a game of eight, the most a new game holds
        world.Populate(223, 134, random);
        n = world.BallCount();
    } while (n != 8);
    for (auto _ : state) {
        world.Step(10, 223, 134);
        benchmark::DoNotOptimize(world.bodies[0]->position);
    }
}
BENCHMARK(BM_GameStepEightBalls)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
