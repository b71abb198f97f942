// TrueType fonts: opening at a pixel height, style text, failures, metrics and freeing.
#include <gtest/gtest.h>

#include <SDL_ttf.h>

#include <cstdio>
#include <string>
#include <vector>

#include "display/fonts.h"
#include "display/private/compose.h"
#include "errors/errors.h"
#include "graphics/graphics.h"
#include "screen/screen.h"
#include "strings/strings.h"

namespace {

constexpr const char* kMonoFace = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
constexpr const char* kProportionalFace = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// Descriptors over test-owned text, so the tests need no string engine.
struct TextArg {
    std::string text;
    BasicString descriptor{};
    explicit TextArg(std::string t) : text(std::move(t)) {
        descriptor.text = reinterpret_cast<uint8_t*>(text.data());
        descriptor.length = static_cast<int32_t>(text.size());
    }
    BasicString* get() { return &descriptor; }
};

class TrueTypeTest : public ::testing::Test {
  protected:
    std::vector<int32_t> opened;
    void SetUp() override {
        font_tables_init();
        error_state.error_number = 0;
    }
    void TearDown() override {
        for (int32_t f : opened) {
            if (font_table.ttf_handle[f] != nullptr) {
                TTF_CloseFont(static_cast<TTF_Font*>(font_table.ttf_handle[f]));
                font_table.ttf_handle[f] = nullptr;
            }
        }
        error_state.error_number = 0;
    }
    int32_t load(const char* file, double size, const char* style = nullptr) {
        TextArg name(file);
        TextArg style_text(style ? style : "");
        const int32_t f = font_load(name.get(), size, style_text.get(), style != nullptr);
        if (f >= kFontFirstLoaded) opened.push_back(f);
        return f;
    }
};

TEST_F(TrueTypeTest, MonospaceFaceOpensAtTheWantedHeight) {
    const int32_t f = load(kMonoFace, 16, "monospace");
    ASSERT_GE(f, kFontFirstLoaded);
    ASSERT_LT(f, kFontCount);
    EXPECT_EQ(font_table.height[f], 16);
    EXPECT_GT(font_table.width[f], 4);
    EXPECT_LT(font_table.width[f], 16);
    EXPECT_EQ(font_table.style[f], kFontStyleMonospace);
    EXPECT_EQ(TTF_FontHeight(static_cast<TTF_Font*>(font_table.ttf_handle[f])), 18);  // height + 2
    EXPECT_EQ(font_width(f, 1), font_table.width[f]);
    EXPECT_EQ(font_height(f, 1), 16);
    EXPECT_EQ(error_state.error_number, 0u);
}

TEST_F(TrueTypeTest, SmallSizesArePointSizesInThousandths) {
    const int32_t f = load(kMonoFace, 0.012);
    ASSERT_GE(f, kFontFirstLoaded);
    EXPECT_EQ(font_table.height[f], TTF_FontHeight(static_cast<TTF_Font*>(font_table.ttf_handle[f])) - 2);
    EXPECT_EQ(font_table.width[f], 0);  // not asked to be monospace
}

TEST_F(TrueTypeTest, EachLoadTakesTheNextFreeNumber) {
    const int32_t a = load(kMonoFace, 12);
    const int32_t b = load(kMonoFace, 20);
    ASSERT_GE(a, kFontFirstLoaded);
    EXPECT_EQ(b, a + 1);
    font_free(a);
    EXPECT_EQ(font_table.ttf_handle[a], nullptr);
    EXPECT_EQ(load(kMonoFace, 14), a);  // the freed number is reused
}

TEST_F(TrueTypeTest, StyleTextIsCaseFreeAndTrimmed) {
    const int32_t f = load(kMonoFace, 14, "  monospace ,Bold ");
    ASSERT_GE(f, kFontFirstLoaded);
    EXPECT_EQ(font_table.style[f], 17u);
    EXPECT_EQ(TTF_GetFontStyle(static_cast<TTF_Font*>(font_table.ttf_handle[f])), TTF_STYLE_BOLD);
}

TEST_F(TrueTypeTest, BadArgumentsRaiseIllegalFunctionCall) {
    struct Row { double size; const char* style; int32_t result; uint32_t error; };
    const Row rows[] = {
        {14, "BOLD, bold", 0, 5}, {14, "HEAVY", 0, 5}, {14, "BOLD,", 0, 5},
        {0.0005, nullptr, 0, 5},  {-3, nullptr, 0, 5}, {1000.5, nullptr, 0, 0},
    };
    for (const Row& r : rows) {
        error_state.error_number = 0;
        EXPECT_EQ(load(kMonoFace, r.size, r.style), r.result) << r.size << " " << (r.style ? r.style : "");
        EXPECT_EQ(error_state.error_number, r.error) << r.size << " " << (r.style ? r.style : "");
    }
}

TEST_F(TrueTypeTest, FilesThatCannotServeReturnMinusOneWithoutError) {
    const std::string not_font = ::testing::TempDir() + "not_a_font.ttf";
    FILE* f = std::fopen(not_font.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("this is plain text, not a TrueType face\n", f);
    std::fclose(f);
    EXPECT_EQ(load(not_font.c_str(), 16), -1);
    EXPECT_EQ(load("/no/such/font.ttf", 16), -1);
    EXPECT_EQ(load(kProportionalFace, 16, "MONOSPACE"), -1);  // a proportional face
    EXPECT_EQ(error_state.error_number, 0u);
    EXPECT_EQ(font_open(not_font.c_str(), 16, 0), 0);
    std::remove(not_font.c_str());
}

TEST_F(TrueTypeTest, MetricsAcceptOnlySingleWidthBuiltInsAndLoadedFonts) {
    struct Row { int32_t font; int32_t width; int32_t height; uint32_t error; };
    for (const Row& r : {Row{8, 8, 8, 0}, Row{14, 8, 14, 0}, Row{16, 8, 16, 0}, Row{9, 0, 0, 258},
                         Row{17, 0, 0, 258}, Row{40, 0, 0, 258}, Row{-1, 0, 0, 258}}) {
        error_state.error_number = 0;
        EXPECT_EQ(font_width(r.font, 1), r.width) << r.font;
        EXPECT_EQ(error_state.error_number, r.error) << r.font;
        error_state.error_number = 0;
        EXPECT_EQ(font_height(r.font, 1), r.height) << r.font;
        EXPECT_EQ(error_state.error_number, r.error) << r.font;
    }
}

TEST_F(TrueTypeTest, FreeingABuiltInOrUnusedNumberIsAnInvalidHandle) {
    font_free(16);
    EXPECT_EQ(error_state.error_number, 258u);
    error_state.error_number = 0;
    font_free(500);
    EXPECT_EQ(error_state.error_number, 258u);
}

TEST_F(TrueTypeTest, TextCellsRenderThroughTheFaceWithCodesZeroAnd255Blank) {
    const int32_t f = load(kMonoFace, 16, "MONOSPACE");
    ASSERT_GE(f, kFontFirstLoaded);
    const int32_t cw = font_table.width[f];
    std::vector<uint8_t> cells = {0, 0x07, 255, 0x07, 'W', 0x07};
    std::array<uint32_t, 256> palette{};
    for (int i = 0; i < 16; ++i) palette[i] = PaletteVga[i];
    DisplayPageView page{};
    page.is_text = true;
    page.width = 3;
    page.height = 1;
    page.font = f;
    page.pixels = cells.data();
    page.palette = palette.data();
    std::vector<uint32_t> buffer(static_cast<size_t>(3 * cw) * 16, 0x123456);
    DisplayComposeState state;
    EXPECT_TRUE(display_compose_text(state, page, {buffer.data(), 3 * cw, 16}));
    int ink[3] = {0, 0, 0};
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 3 * cw; ++x) {
            const uint32_t p = buffer[y * 3 * cw + x];
            ASSERT_TRUE(p == 0xAAAAAA || p == 0) << x << "," << y;
            if (p == 0xAAAAAA) ink[x / cw] += 1;
        }
    }
    EXPECT_EQ(ink[0], 0);
    EXPECT_EQ(ink[1], 0);
    EXPECT_GT(ink[2], 10);
}

TEST_F(TrueTypeTest, FontOfAnImageInUseCannotBeFreed) {
    screen_startup();
    const int32_t f = load(kMonoFace, 16, "MONOSPACE");
    ASSERT_GE(f, kFontFirstLoaded);
    const int32_t handle = image_new(64, 64, 256, 1);
    ASSERT_LT(handle, -1);
    image_set_font(f, handle, 1);
    ASSERT_EQ(error_state.error_number, 0u);
    EXPECT_EQ(image_font(handle, 1), f);
    font_free(f);
    EXPECT_EQ(error_state.error_number, 5u);
    EXPECT_NE(font_table.ttf_handle[f], nullptr);
    error_state.error_number = 0;
    image_free(handle, 1);
    font_free(f);
    EXPECT_EQ(error_state.error_number, 0u);
    EXPECT_EQ(font_table.ttf_handle[f], nullptr);
    EXPECT_EQ(image_font(0, 0), current_images.destination->font);  // without a handle: the destination
}

// Text printed in a loaded font on graphics images goes through the face's own glyphs:
// a letter leaves ink on indexed and 32-bit images where a blank left none.
TEST_F(TrueTypeTest, GraphicsImagesPrintThroughTheLoadedFace) {
    screen_startup();
    const int32_t f = load(kMonoFace, 16, "MONOSPACE");
    ASSERT_GE(f, kFontFirstLoaded);
    for (const int32_t mode : {256, 32}) {
        SCOPED_TRACE(mode);
        const int32_t handle = image_new(64, 32, mode, 1);
        ASSERT_LT(handle, -1);
        image_set_font(f, handle, 1);
        image_set_destination(handle);
        auto pixels = [] {
            std::vector<uint32_t> all;
            for (int32_t y = 0; y < 32; ++y) {
                for (int32_t x = 0; x < 64; ++x) all.push_back(graphics_read_pixel(x, y));
            }
            return all;
        };
        auto changed = [](const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
            int count = 0;
            for (size_t i = 0; i < a.size(); ++i) count += a[i] != b[i];
            return count;
        };
        TextArg blank(" ");
        print_string(blank.get(), 0);
        const std::vector<uint32_t> after_blank = pixels();
        screen_locate(1, 1, 0, 0, 0, 3);
        TextArg letter("W");
        print_string(letter.get(), 0);
        const int letter_ink = changed(after_blank, pixels());
        EXPECT_GT(letter_ink, 10);
        EXPECT_EQ(error_state.error_number, 0u);
        image_set_destination(0);
        image_free(handle, 1);
    }
}

TEST_F(TrueTypeTest, ProportionalFaceAdvancesByEachGlyphAndWrapsBeforeOneThatDoesNotFit) {
    screen_startup();
    const int32_t f = load(kProportionalFace, 16);
    ASSERT_GE(f, kFontFirstLoaded);
    const int32_t handle = image_new(40, 64, 32, 1);
    ASSERT_LT(handle, -1);
    image_set_font(f, handle, 1);
    image_set_destination(handle);
    const int32_t wide = print_glyph_width('W');
    const int32_t narrow = print_glyph_width('i');
    ASSERT_GT(wide, narrow);
    ASSERT_LT(2 * wide + narrow, 40);
    ASSERT_GT(3 * wide + narrow, 40);
    const ImageRecord* image = current_images.destination;

    TextArg first("WiW");
    print_string(first.get(), 0);
    EXPECT_EQ(image->cursor_y, 1);
    EXPECT_EQ(image->cursor_x, 1 + 2 * wide + narrow);  // pixel column + 1

    TextArg next("W");
    print_string(next.get(), 0);
    EXPECT_EQ(image->cursor_y, 2);
    EXPECT_EQ(image->cursor_x, 1 + wide);
    int ink = 0;
    for (int32_t y = 16; y < 32; ++y) {
        for (int32_t x = 0; x < wide; ++x) ink += (graphics_read_pixel(x, y) & 0xFFFFFF) != 0;
    }
    EXPECT_GT(ink, 10);  // the wrapped glyph is drawn at the start of the second row
    EXPECT_EQ(error_state.error_number, 0u);
    image_set_destination(0);
    image_free(handle, 1);
}

}  // namespace
