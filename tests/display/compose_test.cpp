// Frame composition into a pixel buffer: cells, colours, blink, cursor, incremental frames,
// graphics pages, full-screen sizes and placement.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "display/fonts.h"
#include "display/private/compose.h"

namespace {

// A text page of its own cells and palette, drawn into its own buffer.
struct TextPageFixture : ::testing::Test {
    static constexpr int32_t kColumns = 80;
    static constexpr int32_t kRows = 25;
    std::vector<uint8_t> cells = std::vector<uint8_t>(kColumns * kRows * 2);
    std::array<uint32_t, 256> palette{};
    std::vector<uint32_t> buffer = std::vector<uint32_t>(640 * 400, 0xDEADBEEF);
    DisplayComposeState state;
    DisplayPageView page{};

    void SetUp() override {
        font_tables_init();
        for (int i = 0; i < 16; ++i) palette[i] = PaletteVga[i];
        for (size_t i = 0; i < cells.size(); i += 2) {
            cells[i] = ' ';
            cells[i + 1] = 0x07;
        }
        page.identity = this;
        page.is_text = true;
        page.width = kColumns;
        page.height = kRows;
        page.bytes_per_pixel = 2;
        page.bits_per_pixel = 16;
        page.font = 16;
        page.cursor_x = 1;
        page.cursor_y = 1;
        page.cursor_start = 4;
        page.cursor_stop = 4;
        page.pixels = cells.data();
        page.palette = palette.data();
    }
    DisplayTarget target() { return {buffer.data(), 640, 400}; }
    void put(int column, int row, uint8_t code, uint8_t attribute) {
        cells[(row * kColumns + column) * 2] = code;
        cells[(row * kColumns + column) * 2 + 1] = attribute;
    }
    uint32_t pixel(int x, int y) const { return buffer[y * 640 + x]; }
    // Draws frame number n (the counter is raised first, as display_frame does).
    bool frame(uint32_t n) {
        state.frame_counter = n;
        return display_compose_text(state, page, target());
    }
    // Checks a cell's pixels against a glyph in two colours.
    void expect_cell(int column, int row, uint8_t code, uint32_t fg, uint32_t bg) {
        const uint8_t* glyph = font_builtin_glyph(16, code);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 8; ++x) {
                ASSERT_EQ(pixel(column * 8 + x, row * 16 + y), glyph[y * 8 + x] ? fg : bg)
                    << "cell " << column << "," << row << " pixel " << x << "," << y;
            }
        }
    }
};

TEST_F(TextPageFixture, CellsRenderTheirGlyphInTheirColours) {
    put(0, 0, 'A', 0x1E);   // yellow on blue
    put(79, 24, 219, 0x4F); // white block on red
    put(40, 12, 'g', 0x70); // black on light grey
    EXPECT_TRUE(frame(0));
    expect_cell(0, 0, 'A', 0xFFFF55, 0x0000AA);
    expect_cell(79, 24, 219, 0xFFFFFF, 0xAA0000);
    expect_cell(40, 12, 'g', 0x000000, 0xAAAAAA);
    expect_cell(1, 0, ' ', 0xAAAAAA, 0x000000);
}

TEST_F(TextPageFixture, BlinkingCellHidesItsCharacterEveryOtherEightFrames) {
    put(5, 5, 'X', 0x87);
    for (uint32_t n = 0; n < 32; ++n) {
        frame(n);
        const bool hidden = (n / 8) % 2 == 1;
        expect_cell(5, 5, 'X', hidden ? 0x000000 : 0xAAAAAA, 0x000000);
    }
}

TEST_F(TextPageFixture, CursorBlinksInTheCellForegroundColour) {
    page.cursor_visible = true;
    page.cursor_x = 3;
    page.cursor_y = 2;
    put(2, 1, ' ', 0x1C);  // light red on blue
    frame(0);             // cursor phase 0: off
    expect_cell(2, 1, ' ', 0xFF5555, 0x0000AA);
    frame(4);             // phase 1: one bottom row, row 14 of a 16-row cell
    for (int y = 0; y < 16; ++y) {
        EXPECT_EQ(pixel(2 * 8, 16 + y), y == 14 ? 0xFF5555u : 0x0000AAu) << y;
    }
    frame(8);
    expect_cell(2, 1, ' ', 0xFF5555, 0x0000AA);
}

TEST_F(TextPageFixture, WrapStateTwoShowsTheCursorAtTheStartOfTheNextRow) {
    page.cursor_visible = true;
    page.cursor_x = 80;
    page.cursor_y = 10;
    page.wrap_state = 2;
    frame(4);
    EXPECT_EQ(pixel(0, 10 * 16 + 14), 0xAAAAAAu);
    EXPECT_EQ(pixel(79 * 8, 9 * 16 + 14), 0x000000u);
    // On the last row the cursor stays on the last column.
    page.cursor_y = 25;
    frame(4 + 16);
    EXPECT_EQ(pixel(79 * 8, 24 * 16 + 14), 0xAAAAAAu);
}

TEST(CursorShape, RowsForStartAndStopLines) {
    struct Row { int32_t start, stop, height, first, last; };
    const Row rows[] = {
        {0, 0, 16, 0, 0},    {3, 0, 16, 0, -1},  {5, 2, 16, 2, 15},  {2, 2, 16, 2, 2},   {4, 4, 16, 14, 14},
        {4, 4, 8, 7, 7},     {6, 7, 16, 13, 14}, {6, 7, 8, 6, 7},    {3, 5, 16, 12, 14}, {3, 7, 16, 8, 15},
        {3, 7, 14, 7, 13},   {0, 3, 16, 0, 3},   {1, 2, 16, 1, 2},   {0, 7, 16, 0, 15},  {1, 4, 8, 1, 7},
        {2, 3, 16, 2, 3},    {2, 4, 16, 12, 14}, {2, 7, 16, 2, 15},  {7, 7, 14, 13, 13}, {20, 3, 16, 3, 15},
        {30, 20, 16, 0, -1},
    };
    for (const Row& r : rows) {
        const CursorRows got = display_cursor_rows(r.start, r.stop, r.height);
        if (r.last < r.first) {
            EXPECT_GT(got.first, got.last) << r.start << "," << r.stop << " in " << r.height;
        } else {
            EXPECT_EQ(got.first, r.first) << r.start << "," << r.stop << " in " << r.height;
            EXPECT_EQ(got.last, r.last) << r.start << "," << r.stop << " in " << r.height;
        }
    }
}

TEST_F(TextPageFixture, IncrementalFramesMatchFullRedraws) {
    std::mt19937 random(7);
    page.cursor_visible = true;
    for (uint32_t n = 0; n < 60; ++n) {
        // Change a few cells, sometimes the cursor, sometimes a palette entry.
        for (int k = 0; k < 5; ++k) {
            put(random() % kColumns, random() % kRows, random() % 256, random() % 256);
        }
        if (n % 7 == 0) {
            page.cursor_x = 1 + random() % kColumns;
            page.cursor_y = 1 + random() % kRows;
            page.cursor_start = random() % 8;
            page.cursor_stop = random() % 8;
        }
        if (n % 13 == 0) palette[random() % 16] = 0xFF000000 | (random() & 0xFFFFFF);
        if (n % 17 == 0) page.cursor_visible = !page.cursor_visible;
        frame(n);

        DisplayComposeState fresh;
        fresh.frame_counter = n;
        std::vector<uint32_t> full(640 * 400, 0);
        display_compose_text(fresh, page, {full.data(), 640, 400});
        ASSERT_EQ(buffer, full) << "frame " << n;
    }
}

TEST_F(TextPageFixture, UnchangedPageDrawsNothingAndOneCellRedrawsOnlyThatCell) {
    EXPECT_TRUE(frame(0));
    EXPECT_FALSE(frame(1));
    std::fill(buffer.begin(), buffer.end(), 0x123456);  // a marker that redrawn cells overwrite
    put(10, 3, 'Q', 0x0A);
    EXPECT_TRUE(frame(2));
    expect_cell(10, 3, 'Q', 0x55FF55, 0x000000);
    EXPECT_EQ(pixel(9 * 8, 3 * 16), 0x123456u);
    EXPECT_EQ(pixel(11 * 8, 3 * 16), 0x123456u);
}

TEST_F(TextPageFixture, MovedCursorRedrawsTheOldAndNewCellsAtOnce) {
    page.cursor_visible = true;
    frame(4);
    EXPECT_EQ(pixel(0, 14), 0xAAAAAAu);
    std::fill(buffer.begin(), buffer.end(), 0x123456);
    page.cursor_x = 2;  // printing moved it; the phase is unchanged
    EXPECT_TRUE(frame(5));
    EXPECT_EQ(pixel(0, 14), 0x000000u);     // old cell repainted without the cursor
    EXPECT_EQ(pixel(8, 14), 0xAAAAAAu);     // new cell shows it in the same frame
    EXPECT_EQ(pixel(16, 14), 0x123456u);    // others untouched
    page.cursor_visible = false;            // hiding it clears it at once
    EXPECT_TRUE(frame(6));
    EXPECT_EQ(pixel(8, 14), 0x000000u);
}

TEST_F(TextPageFixture, PaletteChangeRedrawsEveryCell) {
    frame(0);
    std::fill(buffer.begin(), buffer.end(), 0x123456);
    palette[3] = 0xFF010203;  // not used by any cell, still a full redraw
    EXPECT_TRUE(frame(1));
    EXPECT_EQ(pixel(0, 0), 0x000000u);
    EXPECT_EQ(pixel(639, 399), 0x000000u);
}

TEST_F(TextPageFixture, DoubleWidthFontDrawsEachPixelTwice) {
    page.width = 40;
    page.font = 17;
    cells[0] = 'M';
    cells[1] = 0x0F;
    frame(0);
    const uint8_t* glyph = font_builtin_glyph(16, 'M');
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            ASSERT_EQ(pixel(x, y), glyph[y * 8 + x / 2] ? 0xFFFFFFu : 0u);
        }
    }
}

TEST_F(TextPageFixture, OffsetPlacesCellsInsideALargerTarget) {
    std::vector<uint32_t> big(1024 * 768, 0x777777);
    state.offset_x = 192;
    state.offset_y = 184;
    cells[0] = 219;
    cells[1] = 0x0E;
    state.frame_counter = 0;
    display_compose_text(state, page, {big.data(), 1024, 768});
    EXPECT_EQ(big[184 * 1024 + 192], 0xFFFF55u);
    EXPECT_EQ(big[183 * 1024 + 192], 0x777777u);
    EXPECT_EQ(big[184 * 1024 + 191], 0x777777u);
    EXPECT_EQ(big[(184 + 399) * 1024 + 192 + 639], 0x000000u);
}

TEST(GraphicsPages, IndexedPageConvertsOnlyWhenPixelsOrPaletteChange) {
    font_tables_init();
    std::vector<uint8_t> pixels(320 * 200, 0);
    std::array<uint32_t, 256> palette{};
    for (int i = 0; i < 256; ++i) palette[i] = PaletteVga[i];
    pixels[0] = 1;
    pixels[320 * 199 + 319] = 15;
    DisplayPageView page{};
    page.width = 320;
    page.height = 200;
    page.bytes_per_pixel = 1;
    page.bits_per_pixel = 8;
    page.mode = 13;
    page.pixels = pixels.data();
    page.palette = palette.data();
    DisplayComposeState state;
    state.scale_x = state.scale_y = 2;
    state.offset_y = 40;
    std::vector<uint32_t> buffer(640 * 480, 0x123456);
    DisplayTarget target{buffer.data(), 640, 480};
    EXPECT_TRUE(display_compose_indexed(state, page, target));
    EXPECT_EQ(buffer[40 * 640 + 0], 0x0000AAu);
    EXPECT_EQ(buffer[41 * 640 + 1], 0x0000AAu);
    EXPECT_EQ(buffer[40 * 640 + 2], 0x000000u);
    EXPECT_EQ(buffer[439 * 640 + 639], 0xFFFFFFu);
    EXPECT_EQ(buffer[39 * 640], 0x123456u);
    state.frame_valid = true;
    EXPECT_FALSE(display_compose_indexed(state, page, target));
    palette[200] = 0xFF00FF00;  // beyond the page's colours: still unchanged for a 4-bit page
    page.bits_per_pixel = 4;
    state.previous_pixel_palette[200] = 0;
    EXPECT_FALSE(display_compose_indexed(state, page, target));
    palette[1] = 0xFFFF0000;
    EXPECT_TRUE(display_compose_indexed(state, page, target));
    EXPECT_EQ(buffer[40 * 640 + 0], 0xFF0000u);
    pixels[5] = 2;
    EXPECT_TRUE(display_compose_indexed(state, page, target));
    EXPECT_EQ(buffer[40 * 640 + 10], 0x00AA00u);
}

TEST(GraphicsPages, TrueColourPageIsCopied) {
    std::vector<uint32_t> pixels(4 * 3, 0xFF102030);
    pixels[5] = 0x80A0B0C0;
    DisplayPageView page{};
    page.width = 4;
    page.height = 3;
    page.bytes_per_pixel = 4;
    page.bits_per_pixel = 32;
    page.pixels = reinterpret_cast<const uint8_t*>(pixels.data());
    DisplayComposeState state;
    std::vector<uint32_t> buffer(4 * 3, 0);
    display_compose_rgb32(state, page, {buffer.data(), 4, 3});
    EXPECT_EQ(buffer[0], 0x102030u);
    EXPECT_EQ(buffer[5], 0xA0B0C0u);
}

TEST(GraphicsPages, ModeTenPseudoColoursFollowTheClock) {
    std::array<uint32_t, 256> palette{};
    palette[4] = 0;
    palette[5] = 4;
    palette[6] = 6;
    palette[7] = 8;
    display_mode10_palette(palette.data(), 0);
    EXPECT_EQ(palette[0], 0x000000u);
    EXPECT_EQ(palette[1], 0x808080u);
    EXPECT_EQ(palette[2], 0xFFFFFFu);
    EXPECT_EQ(palette[3], 0xFFFFFFu);
    display_mode10_palette(palette.data(), 512);
    EXPECT_EQ(palette[1], 0x808080u);
    EXPECT_EQ(palette[2], 0x000000u);
    EXPECT_EQ(palette[3], 0xFFFFFFu);
}

TEST(Fullscreen, BestFitAndBestFourThreeChoices) {
    const std::vector<DisplaySize> sizes = {{1920, 1080}, {1280, 1024}, {1024, 768}, {800, 600}, {640, 480}, {640, 400}};
    FullscreenChoice c = display_choose_fullscreen(sizes, {640, 400});
    EXPECT_EQ(c.best_fit, 5);
    EXPECT_EQ(c.best_4_3, 4);
    c = display_choose_fullscreen(sizes, {320, 200});  // counts as 640 x 400
    EXPECT_EQ(c.best_fit, 5);
    c = display_choose_fullscreen(sizes, {640, 480});
    EXPECT_EQ(c.best_fit, 4);
    EXPECT_EQ(c.best_4_3, 4);
    c = display_choose_fullscreen(sizes, {2000, 2000});
    EXPECT_EQ(c.best_fit, -1);
    EXPECT_EQ(c.best_4_3, -1);
    // Equal excess: the later size wins; widths below 640 never count.
    c = display_choose_fullscreen({{800, 600}, {700, 700}, {600, 800}}, {400, 400});
    EXPECT_EQ(c.best_fit, 1);
    c = display_choose_fullscreen({}, {640, 400});
    EXPECT_EQ(c.best_fit, -1);
}

TEST(Fullscreen, ToggleCycleSkipsAMissingOrEqualFourThree) {
    const std::vector<DisplaySize> with_43 = {{1024, 768}, {640, 400}};
    const FullscreenChoice c1 = display_choose_fullscreen(with_43, {640, 400});
    EXPECT_EQ(display_fullscreen_resolve(1, with_43, c1), 1);
    EXPECT_EQ(display_fullscreen_resolve(2, with_43, c1), 2);
    EXPECT_EQ(display_fullscreen_resolve(0, with_43, c1), 0);
    const std::vector<DisplaySize> only_43 = {{1024, 768}};
    const FullscreenChoice c2 = display_choose_fullscreen(only_43, {640, 400});
    EXPECT_EQ(display_fullscreen_resolve(2, only_43, c2), 0);  // equals best-fit: back to a window
    const std::vector<DisplaySize> none;
    const FullscreenChoice c3 = display_choose_fullscreen(none, {640, 400});
    EXPECT_EQ(display_fullscreen_resolve(1, none, c3), -1);  // nothing to switch to
    EXPECT_EQ(display_fullscreen_resolve(2, none, c3), 0);
}

TEST(Fullscreen, PlacementCentresAndDoublesSmallPictures) {
    DisplayComposeState state;
    const std::vector<DisplaySize> sizes = {{1024, 768}, {640, 480}};
    FullscreenChoice c = display_choose_fullscreen(sizes, {640, 400});
    c.best_fit = 0;
    DisplaySize size = display_place(state, {640, 400}, 1, sizes, c);
    EXPECT_EQ(size.width, 1024);
    EXPECT_EQ(state.offset_x, 192);
    EXPECT_EQ(state.offset_y, 184);
    EXPECT_EQ(state.scale_x, 1);
    c.best_fit = 1;
    size = display_place(state, {320, 200}, 1, sizes, c);
    EXPECT_EQ(size.height, 480);
    EXPECT_EQ(state.offset_x, 0);
    EXPECT_EQ(state.offset_y, 40);
    EXPECT_EQ(state.scale_x, 2);
    EXPECT_EQ(state.scale_y, 2);
    size = display_place(state, {320, 200}, 0, sizes, c);
    EXPECT_EQ(size.width, 320);
    EXPECT_EQ(size.height, 200);
    EXPECT_EQ(state.offset_x, 0);
    EXPECT_EQ(state.scale_x, 1);
}

}  // namespace

namespace {

// The program thread prints while the main thread composes: frames never read torn
// cells and the sanitizers see no data race.
TEST(ComposeConcurrency, FramesWhileCellsAndCursorChange) {
    font_tables_init();
    std::vector<uint8_t> cells(80 * 25 * 2, 0);
    std::array<uint32_t, 256> palette{};
    for (int i = 0; i < 16; ++i) palette[i] = PaletteVga[i];
    DisplayPageView page{};
    page.is_text = true;
    page.width = 80;
    page.height = 25;
    page.font = 16;
    page.cursor_x = page.cursor_y = 1;
    page.cursor_visible = true;
    page.cursor_start = page.cursor_stop = 4;
    page.pixels = cells.data();
    page.palette = palette.data();
    std::atomic<bool> done{false};
    std::thread writer([&] {
        uint16_t value = 0;
        for (int n = 0; n < 200000 && !done.load(); ++n) {
            auto* cell = reinterpret_cast<uint16_t*>(cells.data()) + n % 2000;
            std::atomic_ref<uint16_t>(*cell).store(value++, std::memory_order_relaxed);
            std::atomic_ref<uint32_t>(palette[n % 16]).store(0xFF000000u | n, std::memory_order_relaxed);
        }
    });
    std::vector<uint32_t> buffer(640 * 400);
    DisplayComposeState state;
    for (uint32_t frame = 0; frame < 40; ++frame) {
        state.frame_counter = frame;
        display_compose_text(state, page, {buffer.data(), 640, 400});
    }
    done.store(true);
    writer.join();
    SUCCEED();
}

}  // namespace
