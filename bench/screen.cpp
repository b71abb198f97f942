// print_string throughput on a text page, without and with scrolling, against memcpy and
// std::string appends of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "errors/errors.h"
#include "screen/screen.h"

namespace {

void screen_ready() {
    error_state.error_number = 0;
    image_table_init();
    if (page_table.entries[0] == 0) screen_startup();
}

// 70 characters fit the 80-column row, so no item wraps.
const std::string kLine(70, 'x');

// Printing on one row: the cursor is put back to column 1 before every line.
void BM_PrintNoScroll(benchmark::State& state) {
    screen_ready();
    const auto* text = reinterpret_cast<const uint8_t*>(kLine.data());
    for (auto _ : state) {
        screen_locate(5, 1, 0, 0, 0, 3);
        print_bytes(text, static_cast<int32_t>(kLine.size()), 0);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kLine.size()));
}
BENCHMARK(BM_PrintNoScroll);

// Every line ends with a line break on the last window row, so each one scrolls rows 1-24.
void BM_PrintScrolling(benchmark::State& state) {
    screen_ready();
    const auto* text = reinterpret_cast<const uint8_t*>(kLine.data());
    screen_locate(24, 1, 0, 0, 0, 3);
    for (auto _ : state) print_bytes(text, static_cast<int32_t>(kLine.size()), 1);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kLine.size()));
}
BENCHMARK(BM_PrintScrolling);

// Baselines: copying the same bytes, and appending them to a string.
void BM_BaselineMemcpy(benchmark::State& state) {
    char target[80];
    for (auto _ : state) {
        std::memcpy(target, kLine.data(), kLine.size());
        benchmark::DoNotOptimize(target);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kLine.size()));
}
BENCHMARK(BM_BaselineMemcpy);

void BM_BaselineStringAppend(benchmark::State& state) {
    std::string target;
    target.reserve(160);
    for (auto _ : state) {
        target.clear();
        for (char c : kLine) target.push_back(c);
        benchmark::DoNotOptimize(target.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kLine.size()));
}
BENCHMARK(BM_BaselineStringAppend);

}  // namespace

BENCHMARK_MAIN();
