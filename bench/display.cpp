// Frame composition cost: a full 80 x 25 text frame and a one-cell frame, against a
// memcpy of the same 640 x 400 x 4 bytes as the baseline.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "display/fonts.h"
#include "display/private/compose.h"

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 400;

struct TextScreen {
    std::vector<uint8_t> cells = std::vector<uint8_t>(80 * 25 * 2);
    std::array<uint32_t, 256> palette{};
    std::vector<uint32_t> buffer = std::vector<uint32_t>(kWidth * kHeight);
    DisplayPageView page{};
    DisplayComposeState state;

    TextScreen() {
        font_tables_init();
        for (int i = 0; i < 16; ++i) palette[i] = PaletteVga[i];
        std::mt19937 random(1);
        for (size_t i = 0; i < cells.size(); i += 2) {
            cells[i] = static_cast<uint8_t>(32 + random() % 95);
            cells[i + 1] = static_cast<uint8_t>(random() % 128);
        }
        page.is_text = true;
        page.width = 80;
        page.height = 25;
        page.font = 16;
        page.cursor_x = page.cursor_y = 1;
        page.cursor_start = page.cursor_stop = 4;
        page.pixels = cells.data();
        page.palette = palette.data();
    }
};

void BM_MemcpyFrame(benchmark::State& s) {
    std::vector<uint32_t> from(kWidth * kHeight, 0x123456), to(kWidth * kHeight);
    for (auto _ : s) {
        std::memcpy(to.data(), from.data(), from.size() * 4);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    s.SetBytesProcessed(static_cast<int64_t>(s.iterations()) * kWidth * kHeight * 4);
}
BENCHMARK(BM_MemcpyFrame);

void BM_FullTextFrame(benchmark::State& s) {
    TextScreen screen;
    for (auto _ : s) {
        screen.state.frame_valid = false;  // every cell redrawn
        benchmark::DoNotOptimize(display_compose_text(screen.state, screen.page, {screen.buffer.data(), kWidth, kHeight}));
        benchmark::ClobberMemory();
    }
    s.SetBytesProcessed(static_cast<int64_t>(s.iterations()) * kWidth * kHeight * 4);
}
BENCHMARK(BM_FullTextFrame);

void BM_OneCellTextFrame(benchmark::State& s) {
    TextScreen screen;
    display_compose_text(screen.state, screen.page, {screen.buffer.data(), kWidth, kHeight});
    uint8_t code = 'A';
    for (auto _ : s) {
        screen.cells[(12 * 80 + 40) * 2] = code;
        code = code == 'A' ? 'B' : 'A';
        benchmark::DoNotOptimize(display_compose_text(screen.state, screen.page, {screen.buffer.data(), kWidth, kHeight}));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_OneCellTextFrame);

}  // namespace

BENCHMARK_MAIN();
