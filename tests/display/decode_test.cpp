// Reading cells back from composed pictures: every character, colours, blank cells, the cursor.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "display/fonts.h"
#include "display/private/compose.h"
#include "display/private/decode.h"

namespace {

struct Screen {
    int32_t columns;
    int32_t rows;
    int32_t font;
    std::vector<uint8_t> cells;
    std::array<uint32_t, 256> palette{};
    std::vector<uint32_t> picture;
    DisplayPageView page{};

    Screen(int32_t c, int32_t r, int32_t f) : columns(c), rows(r), font(f), cells(c * r * 2, 0) {
        font_tables_init();
        for (int i = 0; i < 16; ++i) palette[i] = PaletteVga[i];
        page.is_text = true;
        page.width = c;
        page.height = r;
        page.font = f;
        page.cursor_x = page.cursor_y = 1;
        page.cursor_start = page.cursor_stop = 4;
        page.pixels = cells.data();
        page.palette = palette.data();
    }
    int32_t width() const { return columns * font_cell_width(font); }
    int32_t height() const { return rows * font_cell_height(font); }
    void compose(uint32_t frame_counter = 0) {
        picture.assign(static_cast<size_t>(width()) * height(), 0);
        DisplayComposeState state;
        state.frame_counter = frame_counter;
        display_compose_text(state, page, {picture.data(), width(), height()});
    }
    std::vector<DecodedCell> decode() {
        return display_decode_cells(picture.data(), width(), height(), columns, rows, font_cell_height(font),
                                    PaletteVga.data(), 16);
    }
};

bool glyph_blank(int32_t font, int code) {
    const uint8_t* g = font_builtin_glyph(font, static_cast<uint8_t>(code));
    for (int i = 0; i < font_cell_height(font) * 8; ++i) {
        if (g[i]) return false;
    }
    return true;
}

class DecodeRoundTrip : public ::testing::TestWithParam<std::tuple<int32_t, int32_t, int32_t>> {};

// Random cells (no blink) decode to cells that draw exactly the same picture, and
// letters, digits and punctuation decode to exactly what was written.
TEST_P(DecodeRoundTrip, RandomCellsComeBack) {
    const auto [columns, rows, font] = GetParam();
    Screen screen(columns, rows, font);
    std::mt19937 random(columns * 1000 + font);
    for (size_t i = 0; i < screen.cells.size(); i += 2) {
        screen.cells[i] = static_cast<uint8_t>(random() % 256);
        screen.cells[i + 1] = static_cast<uint8_t>(random() % 128);
    }
    screen.compose();
    const std::vector<DecodedCell> decoded = screen.decode();

    Screen again(columns, rows, font);
    for (int32_t i = 0; i < columns * rows; ++i) {
        const DecodedCell& d = decoded[i];
        const uint8_t code = screen.cells[i * 2];
        const uint8_t attribute = screen.cells[i * 2 + 1];
        const int32_t fg = attribute & 15;
        const int32_t bg = (attribute >> 4) & 7;
        ASSERT_NE(d.code, kDecodeUnknown) << "cell " << i;
        if (d.fg == kDecodeBlank) {
            // Blank glyphs, equal colours, or a full block in a background colour.
            EXPECT_TRUE(glyph_blank(font, code) || fg == bg || code == 219) << "cell " << i;
            if (code != 219) {
                EXPECT_EQ(d.bg, bg) << "cell " << i;
            }
            again.cells[i * 2] = 32;
            again.cells[i * 2 + 1] = static_cast<uint8_t>(d.bg << 4);
            continue;
        }
        if (code > 32 && code < 127 && fg != bg) {
            EXPECT_EQ(d.code, code) << "cell " << i;
            EXPECT_EQ(d.fg, fg) << "cell " << i;
            EXPECT_EQ(d.bg, bg) << "cell " << i;
        }
        again.cells[i * 2] = static_cast<uint8_t>(d.code);
        again.cells[i * 2 + 1] = static_cast<uint8_t>((d.bg == kDecodeBlank ? 0 : d.bg << 4) | d.fg);
    }
    again.compose();
    EXPECT_EQ(again.picture, screen.picture);
}

INSTANTIATE_TEST_SUITE_P(Fonts, DecodeRoundTrip,
                         ::testing::Values(std::make_tuple(80, 25, 16), std::make_tuple(80, 50, 8),
                                           std::make_tuple(80, 43, 14), std::make_tuple(40, 25, 17)));

TEST(Decode, CursorOverACharacterStillReadsTheCharacter) {
    Screen screen(10, 2, 16);
    const char* text = "Hi_there!a";
    for (int i = 0; i < 10; ++i) {
        screen.cells[i * 2] = static_cast<uint8_t>(text[i]);
        screen.cells[i * 2 + 1] = 0x07;
    }
    for (int i = 10; i < 20; ++i) screen.cells[i * 2 + 1] = 0x07, screen.cells[i * 2] = ' ';
    screen.page.cursor_visible = true;
    for (int32_t x : {1, 3, 10}) {
        screen.page.cursor_x = x;
        screen.compose(4);  // cursor phase on
        const auto decoded = screen.decode();
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(decoded[i].code, static_cast<uint8_t>(text[i])) << "cursor " << x << " cell " << i;
            EXPECT_EQ(decoded[i].fg, 7);
        }
    }
    screen.page.cursor_x = 4;
    screen.page.cursor_y = 2;
    screen.compose(4);
    const auto decoded = screen.decode();
    EXPECT_EQ(decoded[13].code, ' ');
    EXPECT_EQ(decoded[13].fg, 7);
}

TEST(Decode, BlankAndFullBlockCells) {
    Screen screen(3, 1, 16);
    screen.cells = {' ', 0x40, 219, 0x0E, 'x', 0x55};
    screen.compose();
    const auto d = screen.decode();
    EXPECT_EQ(d[0].code, 32);
    EXPECT_EQ(d[0].fg, kDecodeBlank);
    EXPECT_EQ(d[0].bg, 4);
    EXPECT_EQ(d[1].code, 219);
    EXPECT_EQ(d[1].fg, 14);
    EXPECT_EQ(d[2].fg, kDecodeBlank);  // fore- and background agree
    EXPECT_EQ(d[2].bg, 5);
}

TEST(Decode, ThirdColourIsUnknownAndWrongGeometryDecodesNothing) {
    Screen screen(2, 1, 16);
    screen.cells = {'A', 0x07, 'B', 0x07};
    screen.compose();
    screen.picture[3] = 0x00FF00;
    auto d = screen.decode();
    EXPECT_EQ(d[0].code, kDecodeUnknown);
    EXPECT_EQ(d[1].code, 'B');
    d = display_decode_cells(screen.picture.data(), 16, 16, 2, 1, 12, PaletteVga.data(), 16);
    EXPECT_EQ(d[1].code, kDecodeUnknown);
}

TEST(Decode, Utf8OfCodePageCharacters) {
    EXPECT_EQ(display_cp437_utf8('A'), "A");
    EXPECT_EQ(display_cp437_utf8(0), " ");
    EXPECT_EQ(display_cp437_utf8(130), "\xC3\xA9");        // é
    EXPECT_EQ(display_cp437_utf8(219), "\xE2\x96\x88");    // █
    EXPECT_EQ(display_cp437_utf8(-1), "?");
}

}  // namespace
