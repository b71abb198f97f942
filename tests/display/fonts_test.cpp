// Built-in fonts, the code page 437 table, the colour tables and nearest-colour search.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "display/fonts.h"
#include "display/font_tables.inc"

namespace {

std::vector<uint8_t> glyph_of(int32_t font, int code) {
    const int32_t h = font_cell_height(font);
    const uint8_t* g = font_builtin_glyph(font, static_cast<uint8_t>(code));
    return std::vector<uint8_t>(g, g + h * 8);
}

bool glyph_empty(int32_t font, int code) {
    const auto g = glyph_of(font, code);
    return std::all_of(g.begin(), g.end(), [](uint8_t v) { return v == 0; });
}

class BuiltinFontTest : public ::testing::TestWithParam<int32_t> {
  protected:
    void SetUp() override { font_tables_init(); }
};

TEST_P(BuiltinFontTest, PixelsAreOnlyBackgroundOrGlyph) {
    const int32_t font = GetParam();
    for (int code = 0; code < 256; ++code) {
        for (uint8_t v : glyph_of(font, code)) ASSERT_TRUE(v == 0 || v == 255) << "code " << code;
    }
}

TEST_P(BuiltinFontTest, BlankAndFullBlockGlyphs) {
    const int32_t font = GetParam();
    EXPECT_TRUE(glyph_empty(font, 0));
    EXPECT_TRUE(glyph_empty(font, 32));
    EXPECT_TRUE(glyph_empty(font, 255));
    const auto block = glyph_of(font, 219);
    EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](uint8_t v) { return v == 255; }));
}

TEST_P(BuiltinFontTest, EveryVisibleCharacterHasPixelsAndLettersDiffer) {
    const int32_t font = GetParam();
    for (int code = 1; code < 255; ++code) {
        if (code == 32) continue;
        EXPECT_FALSE(glyph_empty(font, code)) << "code " << code;
    }
    std::set<std::vector<uint8_t>> letters;
    for (int code = 'A'; code <= 'Z'; ++code) letters.insert(glyph_of(font, code));
    for (int code = 'a'; code <= 'z'; ++code) letters.insert(glyph_of(font, code));
    for (int code = '0'; code <= '9'; ++code) letters.insert(glyph_of(font, code));
    EXPECT_EQ(letters.size(), 62u);
}

TEST_P(BuiltinFontTest, UnderscoreSitsLowAndOverlineCharactersHigh) {
    // Plausibility: '_' has ink only in its lower half, the degree sign only in its upper half.
    const int32_t font = GetParam();
    const int32_t h = font_cell_height(font);
    const auto underscore = glyph_of(font, '_');
    const auto degree = glyph_of(font, 248);
    for (int32_t y = 0; y < h / 2; ++y) {
        for (int x = 0; x < 8; ++x) EXPECT_EQ(underscore[y * 8 + x], 0) << "row " << y;
    }
    for (int32_t y = h - h / 4; y < h; ++y) {
        for (int x = 0; x < 8; ++x) EXPECT_EQ(degree[y * 8 + x], 0) << "row " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Fonts, BuiltinFontTest, ::testing::Values(8, 14, 16));

TEST(FontTables, BuiltInEntries) {
    font_tables_init();
    struct Row { int32_t font, width, height; };
    for (const Row& r : {Row{8, 8, 8}, Row{14, 8, 14}, Row{16, 8, 16}, Row{9, 16, 8}, Row{15, 16, 14}, Row{17, 16, 16}}) {
        EXPECT_EQ(font_table.width[r.font], r.width) << r.font;
        EXPECT_EQ(font_table.height[r.font], r.height) << r.font;
        EXPECT_EQ(font_table.style[r.font], kFontStyleMonospace) << r.font;
        EXPECT_EQ(font_table.ttf_handle[r.font], nullptr);
        EXPECT_TRUE(font_is_builtin(r.font));
    }
    for (int32_t f : {0, 7, 10, 13, 18, 31, 32, 1023}) {
        EXPECT_EQ(font_table.width[f], 0) << f;
        EXPECT_EQ(font_table.height[f], 0) << f;
        EXPECT_FALSE(font_is_builtin(f));
        EXPECT_EQ(font_builtin_glyph(f, 'A'), nullptr);
    }
    EXPECT_EQ(Font8x8.size(), 16384u);
    EXPECT_EQ(Font8x16.size(), 32768u);
}

TEST(FontTables, Font14IsTheMiddleRowsOfFont16AndDoubleWidthSharesGlyphs) {
    for (int code = 0; code < 256; ++code) {
        const auto g14 = glyph_of(14, code);
        const auto g16 = glyph_of(16, code);
        ASSERT_TRUE(std::equal(g14.begin(), g14.end(), g16.begin() + 8));
        EXPECT_EQ(font_builtin_glyph(9, code), font_builtin_glyph(8, code));
        EXPECT_EQ(font_builtin_glyph(15, code), font_builtin_glyph(14, code));
        EXPECT_EQ(font_builtin_glyph(17, code), font_builtin_glyph(16, code));
    }
}

TEST(FontTables, EightByEightTakesTheThreeCurrencyAndQuoteGlyphsFromTheSecondFont) {
    // cp865 shows ø, Ø and ¤ at these codes; code page 437 wants ¢, ¥ and ».
    for (int code = 0; code < 256; ++code) {
        const bool from_second = code == 155 || code == 157 || code == 175;
        EXPECT_EQ(kFont8x8Source[code], from_second ? 1 : 0) << "code " << code;
    }
    // « and » are mirror images of each other.
    const auto left = glyph_of(8, 174);
    const auto right = glyph_of(8, 175);
    int mirrored_rows = 0;
    for (int y = 0; y < 8; ++y) {
        bool mirrored = true;
        for (int x = 0; x < 8; ++x) mirrored = mirrored && left[y * 8 + x] == right[y * 8 + (7 - x)];
        mirrored_rows += mirrored ? 1 : 0;
    }
    EXPECT_NE(left, right);
    EXPECT_GE(mirrored_rows, 6);
}

TEST(CodePage437, KnownEntries) {
    struct Row { int code; uint16_t unicode; };
    for (const Row& r : {Row{0, 0x20}, Row{255, 0x20}, Row{1, 0x263A}, Row{2, 0x263B}, Row{7, 0x2022}, Row{13, 0x266A},
                         Row{31, 0x25BC}, Row{32, 0x20}, Row{65, 'A'}, Row{126, '~'}, Row{127, 0x2302},
                         Row{128, 0x00C7}, Row{155, 0x00A2}, Row{157, 0x00A5}, Row{175, 0x00BB}, Row{176, 0x2591},
                         Row{219, 0x2588}, Row{225, 0x00DF}, Row{227, 0x03C0}, Row{254, 0x25A0}}) {
        EXPECT_EQ(Cp437ToUnicode[r.code], r.unicode) << "code " << r.code;
    }
}

TEST(CodePage437, ReverseLookupFindsTheFirstCode) {
    EXPECT_EQ(cp437_from_unicode(0x20), 0);  // 0 maps to a space before 32 does
    EXPECT_EQ(cp437_from_unicode('A'), 65);
    EXPECT_EQ(cp437_from_unicode(0x2588), 219);
    EXPECT_EQ(cp437_from_unicode(0x00E9), 130);
    EXPECT_EQ(cp437_from_unicode(0x20AC), 0);  // the euro sign has no code
    for (int code = 1; code < 255; ++code) {
        if (code == 32) continue;
        EXPECT_EQ(cp437_from_unicode(Cp437ToUnicode[code]), code);
    }
}

TEST(FontToUtf16, CodePageAndUnicodeFonts) {
    const uint8_t text[] = {'H', 1, 0, 255, 219};
    EXPECT_EQ(font_to_utf16(16, text, 5), (std::u16string{u'H', 0x263A, u' ', u' ', 0x2588}));
    EXPECT_EQ(font_to_utf16(16, text, 0), u"");
    const int32_t f = 1000;  // an unused number given the UNICODE style for this test
    font_table.style[f] = kFontStyleUnicode;
    const uint8_t wide[] = {0x41, 0, 0, 0, 0xAC, 0x20, 0, 0};
    EXPECT_EQ(font_to_utf16(f, wide, 2), (std::u16string{u'A', 0x20AC}));
    font_table.style[f] = 0;
}

TEST(ColourTables, VgaEntriesCarryFullAlpha) {
    font_tables_init();
    struct Row { int index; uint32_t colour; };
    for (const Row& r : {Row{0, 0xFF000000}, Row{1, 0xFF0000AA}, Row{6, 0xFFAA5500}, Row{7, 0xFFAAAAAA},
                         Row{8, 0xFF555555}, Row{14, 0xFFFFFF55}, Row{15, 0xFFFFFFFF}, Row{16, 0xFF000000},
                         Row{31, 0xFFFFFFFF}, Row{32, 0xFF0000FF}, Row{100, 0xFFB6FFFF}, Row{176, 0xFF000041},
                         Row{247, 0xFF2D3141}, Row{248, 0xFF000000}, Row{255, 0xFF000000}}) {
        EXPECT_EQ(PaletteVga[r.index], r.colour) << "entry " << r.index;
    }
}

TEST(ColourTables, EgaEntriesFromTheirBits) {
    EXPECT_EQ(PaletteEga[0], 0xFF000000u);
    EXPECT_EQ(PaletteEga[1], 0xFF0000AAu);
    EXPECT_EQ(PaletteEga[20], 0xFFAA5500u);
    EXPECT_EQ(PaletteEga[56], 0xFF555555u);
    EXPECT_EQ(PaletteEga[63], 0xFFFFFFFFu);
    // The first 16 of the default EGA palette equal the VGA text colours.
    const int ega_default[16] = {0, 1, 2, 3, 4, 5, 20, 7, 56, 57, 58, 59, 60, 61, 62, 63};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(PaletteEga[ega_default[i]], PaletteVga[i]) << i;
}

TEST(ColourTables, PseudoColours) {
    EXPECT_EQ(PseudoColourTable.size(), 18u);
    EXPECT_EQ(PseudoColourTable[3], 0x808080u);
    EXPECT_EQ(PseudoColourTable[8], 0xFFFFFFu);
    EXPECT_EQ(PseudoColourTable[9 + 1], 0x808080u);
    EXPECT_EQ(PseudoColourTable[9 + 6], 0x000000u);
}

TEST(NearestColour, ExactFirstSmallestAndTies) {
    font_tables_init();
    const uint32_t* vga = PaletteVga.data();
    EXPECT_EQ(palette_nearest_index(vga, 16, 0xAA, 0x55, 0), 6);
    EXPECT_EQ(palette_nearest_index(vga, 16, 255, 255, 255), 15);
    EXPECT_EQ(palette_nearest_index(vga, 256, 0, 0, 0), 0);  // 0, 16 and 248.. are black: first wins
    EXPECT_EQ(palette_nearest_index(vga, 16, 250, 250, 250), 15);
    EXPECT_EQ(palette_nearest_index(vga, 16, 0, 0, 0xA0), 1);
    EXPECT_EQ(palette_nearest_index(vga, 256, 0x20, 0x20, 0x21), 18);
    const uint32_t two[2] = {0x000000, 0x00FFFFFF};
    EXPECT_EQ(palette_nearest_index(two, 2, 127, 127, 127), 0);  // equal distance: the first
    EXPECT_EQ(palette_nearest_index(two, 2, 128, 128, 128), 1);
}

}  // namespace
