// PLAY synthesis speed: seconds of music built per CPU second for a long music string and
// for single tones, against a memcpy of the same number of sample bytes as the baseline.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "sound/private/sound_private.h"
#include "sound/sound.h"

namespace {

constexpr double kBytesPerSecond = 88200.0;

// About 90 s of music: scales, chords, dotted notes, rests and octave changes.
std::string long_tune() {
    std::string tune = "T150L8";
    for (int i = 0; i < 24; ++i) tune += "O3CDEFGAB>C<BAGFEDC4.P8C,E,G2MSL16CDEFMNL8";
    return tune;
}

// Runs once to learn how many bytes a string builds (the queue is emptied after each run).
uint64_t built_bytes(const std::string& tune) {
    sound_reset_for_tests();
    const int32_t before = tone_queue.write_position.load();
    play_bytes(reinterpret_cast<const uint8_t*>(tune.data()), tune.size());
    uint64_t bytes = 0;
    for (int32_t p = before; p != tone_queue.write_position.load(); p = (p + 1) % kToneQueueLength) {
        bytes += static_cast<uint64_t>(sound_handle_samples(tone_queue.entries[p], nullptr, 0));
    }
    sound_reset_for_tests();
    return bytes;
}

void BM_PlayLongString(benchmark::State& state) {
    error_state.error_number = 0;
    sound_init();
    const std::string tune = long_tune();
    const uint64_t bytes = built_bytes(tune);
    for (auto _ : state) {
        play_bytes(reinterpret_cast<const uint8_t*>(tune.data()), tune.size());
        state.PauseTiming();
        sound_reset_for_tests();
        state.ResumeTiming();
    }
    state.counters["music_s_per_cpu_s"] =
        benchmark::Counter(static_cast<double>(bytes) / kBytesPerSecond, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["music_s"] = static_cast<double>(bytes) / kBytesPerSecond;
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
}
BENCHMARK(BM_PlayLongString)->Unit(benchmark::kMillisecond);

void BM_GenerateTone(benchmark::State& state) {
    for (auto _ : state) {
        uint8_t* samples = sound_generate_tone(440.0, 1.0, 0.5);
        benchmark::DoNotOptimize(samples);
        std::free(samples);
    }
    state.counters["music_s_per_cpu_s"] = benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(static_cast<int64_t>(kBytesPerSecond) * state.iterations());
}
BENCHMARK(BM_GenerateTone)->Unit(benchmark::kMicrosecond);

// Baseline: copying one second of samples.
void BM_MemcpyOneSecondBaseline(benchmark::State& state) {
    std::vector<uint8_t> from(static_cast<size_t>(kBytesPerSecond), 1);
    std::vector<uint8_t> to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.counters["music_s_per_cpu_s"] = benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(static_cast<int64_t>(kBytesPerSecond) * state.iterations());
}
BENCHMARK(BM_MemcpyOneSecondBaseline)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
