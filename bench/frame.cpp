// Cost of the frame's per-pass work: the timer thread's pass, the BIOS tick store and a
// mouse record, against an snprintf of a small number measured in the same run.
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <cstdio>

#include "errors/traps.h"
#include "frame/frame.h"
#include "frame/private/frame_host.h"
#include "frame/private/frame_logic.h"

namespace {

void BM_Baseline_Snprintf(benchmark::State& state) {
    char buffer[32];
    int32_t n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::snprintf(buffer, sizeof buffer, "%d", n++));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Baseline_Snprintf);

// One pass over the table with the ON TIMER record armed and not yet due.
void BM_TimerPass(benchmark::State& state) {
    TimerTrap& timer = timer_trap_table.records[0];
    timer.handler_present.store(1);
    timer.state.store(1);
    timer.interval_seconds = 1e9;
    timer.last_time_seconds = 1.0;
    double now = 2.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(frame_timer_pass(now));
        now += 1e-6;
    }
    timer.handler_present.store(0);
    timer.state.store(0);
}
BENCHMARK(BM_TimerPass);

void BM_BiosTickStore(benchmark::State& state) {
    for (auto _ : state) {
        frame_store_bios_ticks();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BiosTickStore);

void BM_MouseQueueAppend(benchmark::State& state) {
    int16_t x = 0;
    for (auto _ : state) {
        mouse_queue_append(MouseRecord{static_cast<uint16_t>(x), 5, 0, x, 0});
        ++x;
    }
    mouse_queue.write_position.store(0);
    mouse_queue.read_position.store(0);
}
BENCHMARK(BM_MouseQueueAppend);

}  // namespace

int main(int argc, char** argv) {
    SDL_Init(SDL_INIT_TIMER);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    SDL_Quit();
    return 0;
}
