// Character output: wrapping, line ends, control characters, tabs and scrolling.
#include <string>

#include "screen_fixture.h"
#include "display/fonts.h"
#include "strings/strings.h"

namespace {

using PrintTest = ScreenTest;

struct WrapCase {
    const char* name;
    int start_column;
    int length;
    int end_line;
    int want_row;      // cursor after the print
    int want_column;
    int want_wrap;
};

TEST_F(PrintTest, WrapAndLineEndRules) {
    const WrapCase cases[] = {
        {"full row with line end gives one break", 1, 80, 1, 2, 1, 0},
        {"full row without line end holds on column 80", 1, 80, 0, 1, 80, 1},
        {"short text without line end", 1, 5, 0, 1, 6, 0},
        {"short text with line end", 1, 5, 1, 2, 1, 0},
        {"text running past the edge wraps once", 75, 10, 0, 2, 5, 0},
        {"text ending exactly at the edge holds", 71, 10, 0, 1, 80, 1},
        {"text ending exactly at the edge with line end", 71, 10, 1, 2, 1, 0},
        {"81 characters with line end", 1, 81, 1, 3, 1, 0},
    };
    for (const WrapCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        locate(1, c.start_column);
        print(std::string(c.length, 'x').c_str(), c.end_line);
        EXPECT_EQ(dest()->cursor_y, c.want_row);
        EXPECT_EQ(dest()->cursor_x, c.want_column);
        EXPECT_EQ(dest()->wrap_state, c.want_wrap);
    }
}

TEST_F(PrintTest, HeldCursorEmptyPrintsAndNextText) {
    print(std::string(80, 'a').c_str(), 0);
    print("", 0);
    EXPECT_EQ(dest()->cursor_y, 1);
    EXPECT_EQ(dest()->wrap_state, 1);
    print("b", 0);
    EXPECT_EQ(row_text(2), "b");
    EXPECT_EQ(dest()->cursor_x, 2);

    // From the held state a line end alone gives exactly one break.
    SetUp();
    print(std::string(80, 'a').c_str(), 0);
    print("", 1);
    EXPECT_EQ(dest()->cursor_y, 2);
    EXPECT_EQ(dest()->cursor_x, 1);
    EXPECT_EQ(dest()->wrap_state, 0);
}

TEST_F(PrintTest, CellAttributeCarriesColoursAndBlink) {
    screen_color(30, 3, 0, 3);  // blinking yellow on cyan
    print("A", 0);
    EXPECT_EQ(cell(1, 1), 0x80 << 8 | 0x30 << 8 | 0x0E << 8 | 'A');
    EXPECT_EQ(cell(1, 2), kBlankCell);
}

TEST_F(PrintTest, TabStops) {
    struct TabCase {
        int column;
        int spaces;
    };
    for (const TabCase c : {TabCase{1, 8}, TabCase{8, 1}, TabCase{9, 8}, TabCase{78, 3}}) {
        SCOPED_TRACE(c.column);
        SetUp();
        locate(3, c.column);
        print("\t", 0);
        EXPECT_EQ(dest()->cursor_x, std::min(c.column + c.spaces, 80));
        if (c.column + c.spaces > 80) {
            EXPECT_EQ(dest()->wrap_state, 1);
        }
    }
}

TEST_F(PrintTest, TabOnOddWidthStopsAtTheEdge) {
    screen_width(79, 25, 3);
    ASSERT_EQ(dest()->width, 79);
    locate(1, 77);
    print("\t", 0);  // would never reach a tab stop on column 79
    EXPECT_EQ(dest()->cursor_x, 79);
    EXPECT_EQ(dest()->wrap_state, 1);
}

TEST_F(PrintTest, CursorMovementCodes) {
    struct MoveCase {
        const char* name;
        int row, column;
        char code;
        int want_row, want_column;
    };
    const MoveCase cases[] = {
        {"right", 5, 10, 28, 5, 11},
        {"right past the last column", 5, 80, 28, 6, 1},
        {"right on the last column of the last window row", 24, 80, 28, 24, 80},
        {"left", 5, 10, 29, 5, 9},
        {"left from column 1", 5, 1, 29, 4, 80},
        {"left at the window top does nothing", 1, 1, 29, 1, 1},
        {"up", 5, 10, 30, 4, 10},
        {"up at the top", 1, 10, 30, 1, 10},
        {"down", 5, 10, 31, 6, 10},
        {"down at the window bottom", 24, 10, 31, 24, 10},
        {"home", 12, 40, 11, 1, 1},
        {"line feed", 5, 10, 10, 6, 1},
        {"carriage return", 5, 10, 13, 6, 1},
    };
    for (const MoveCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        locate(c.row, c.column);
        const char text[2] = {c.code, 0};
        print(text, 0);
        EXPECT_EQ(dest()->cursor_y, c.want_row);
        EXPECT_EQ(dest()->cursor_x, c.want_column);
        EXPECT_EQ(row_text(c.row), "");  // nothing drawn
    }
}

TEST_F(PrintTest, ControlCharacterModeShowsGlyphs) {
    print_set_control_chars(2);
    const char codes[] = {7, 9, 10, 13, 28, 29, 30, 31, 0};
    print(codes, 0);
    print_set_control_chars(1);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(cell(1, i + 1) & 0xFF, static_cast<uint8_t>(codes[i]));
    EXPECT_EQ(dest()->cursor_x, 9);
}

TEST_F(PrintTest, FormFeedClears) {
    print("hello", 1);
    print("\f", 0);
    EXPECT_EQ(row_text(1), "");
    EXPECT_EQ(dest()->cursor_y, 1);
}

TEST_F(PrintTest, ScrollKeepsTheLastRow) {
    locate(25, 1);
    print("status", 0);
    for (int i = 1; i <= 30; ++i) {
        locate(i <= 24 ? i : 24, 1);
        print(("line " + std::to_string(i)).c_str(), 1);
    }
    EXPECT_EQ(row_text(25), "status");
    EXPECT_EQ(row_text(24), "");
    EXPECT_EQ(row_text(23), "line 30");
    EXPECT_EQ(row_text(1), "line 8");
    EXPECT_EQ(dest()->cursor_y, 24);
}

TEST_F(PrintTest, LineEndOnRow25ScrollsTheWindow) {
    print("top", 1);
    locate(25, 1);
    print("bottom", 1);
    EXPECT_EQ(row_text(25), "bottom");
    EXPECT_EQ(row_text(1), "");  // "top" scrolled out
    EXPECT_EQ(dest()->cursor_y, 24);
    EXPECT_EQ(dest()->cursor_x, 1);
}

TEST_F(PrintTest, ScrolledRowTakesTheCurrentColours) {
    screen_color(14, 1, 0, 3);
    locate(24, 1);
    print("x", 1);
    EXPECT_EQ(cell(24, 1), (0x1E << 8) | ' ');
}

TEST_F(PrintTest, MakeFit) {
    struct FitCase {
        int column;
        int length;
        bool new_row;
    };
    for (const FitCase c : {FitCase{75, 10, true}, FitCase{71, 10, false}, FitCase{1, 200, false},
                            FitCase{80, 1, false}, FitCase{80, 2, true}}) {
        SCOPED_TRACE(c.column * 1000 + c.length);
        SetUp();
        locate(3, c.column);
        print_make_fit_bytes(nullptr, c.length);
        EXPECT_EQ(dest()->cursor_y, c.new_row ? 4 : 3);
    }
}

TEST_F(PrintTest, ItemsAfterAHeldCursorStartANewRow) {
    item(std::string(80, 'a').c_str());
    item("b");
    EXPECT_EQ(row_text(2), "b");
}

TEST_F(PrintTest, NothingHappensWhileAnErrorIsPending) {
    error_state.error_number = 5;
    print("abc", 1);
    print_newline();
    EXPECT_EQ(error_state.error_number, 5u);
    error_state.error_number = 0;
    EXPECT_EQ(row_text(1), "");
    EXPECT_EQ(dest()->cursor_y, 1);
}

TEST_F(PrintTest, NothingWritesOutsideTheTextBuffer) {
    // Page 7 is the last page in the text buffer; what lies behind it must stay untouched.
    uint8_t* after = EmulatedMemory + kVideoTextAddress + kVideoTextBytes;
    after[0] = 0x5A;
    screen_mode(0, 7, 7, kScreenPassedActive | kScreenPassedVisual);
    for (int i = 0; i < 60; ++i) print(std::string(100, 'z').c_str(), 1);
    locate(25, 80);
    print("zzz", 1);
    EXPECT_EQ(after[0], 0x5A);
}

TEST_F(PrintTest, GraphicsPageDrawsGlyphsAndScrolls) {
    screen_mode(12, 0, 0, kScreenPassedMode);
    ASSERT_EQ(take_error(), 0u);
    ImageRecord* d = dest();
    ASSERT_EQ(d->font, 16);
    print("\xDB", 0);  // the full block: every pixel of the cell in the foreground
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 8; ++x) ASSERT_EQ(d->pixels[y * 640 + x], 15) << x << "," << y;
    }
    EXPECT_EQ(d->pixels[8], 0);
    EXPECT_EQ(d->cursor_x, 2);
    // 30 rows of 16 pixels; the window is rows 1-29.
    locate(29, 1);
    print("\xDB", 1);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(d->pixels[(27 * 16) * 640 + x], 15);
    EXPECT_EQ(d->pixels[(28 * 16) * 640], 0);
    EXPECT_EQ(d->cursor_y, 29);
}

TEST_F(PrintTest, GraphicsWrapHoldsOnTheLastColumn) {
    screen_mode(12, 0, 0, kScreenPassedMode);
    print(std::string(80, 'x').c_str(), 0);
    EXPECT_EQ(dest()->cursor_x, 80);
    EXPECT_EQ(dest()->wrap_state, 1);
    print("y", 0);
    EXPECT_EQ(dest()->cursor_y, 2);
    EXPECT_EQ(dest()->cursor_x, 2);
}

TEST_F(PrintTest, TextWidthOnTextPagesAndBadHandles) {
    BasicString s{};
    uint8_t bytes[] = {'a', 'b', 'c'};
    s.text = bytes;
    s.length = 3;
    EXPECT_EQ(print_text_width(&s, 0, 1), 0);
    EXPECT_EQ(error_state.error_number, 5u);
    error_state.error_number = 0;
    EXPECT_EQ(print_text_width(&s, -100000, 1), 0);
    EXPECT_EQ(error_state.error_number, 258u);
    error_state.error_number = 0;
    const int32_t h = image_new(64, 32, 13, 1);
    EXPECT_EQ(print_text_width(&s, h, 1), 24);
    image_free(h, 1);
}

}  // namespace

namespace {

// A stand-in font renderer: glyph width 2 + (code & 3), one column fully covered, the
// next half covered, the rest empty; font height 4 plus the two extra rows.
bool fake_renderer(int32_t, uint32_t code, bool solid, GlyphBitmap& out) {
    if (code == '!') return false;
    out.width = 2 + static_cast<int32_t>(code & 3);
    out.height = 6;
    out.coverage.assign(static_cast<size_t>(out.width * out.height), 0);
    for (int r = 0; r < out.height; ++r) {
        out.coverage[r * out.width] = 255;
        out.coverage[r * out.width + 1] = solid ? 255 : 128;
    }
    return true;
}

class LoadedFontTest : public ScreenTest {
protected:
    static constexpr int32_t kFont = 40;
    void SetUp() override {
        ScreenTest::SetUp();
        font_table.ttf_handle[kFont] = &font_table;  // any non-null handle marks it loaded
        font_table.height[kFont] = 4;
        font_table.width[kFont] = 0;
        font_table.style[kFont] = 0;
        screen_glyph_renderer = fake_renderer;
    }
    void TearDown() override {
        font_table.ttf_handle[kFont] = nullptr;
        font_table.height[kFont] = 0;
        screen_glyph_renderer = nullptr;
        image_set_destination(0);
        ScreenTest::TearDown();
    }
    static uint32_t word(const ImageRecord* image, int x, int y) {
        return reinterpret_cast<const uint32_t*>(image->pixels)[y * image->width + x];
    }
};

TEST_F(LoadedFontTest, TextPagesRefuseFontsWithoutFixedWidth) {
    image_set_font(kFont, 0, 0);
    EXPECT_EQ(take_error(), 5u);
    EXPECT_EQ(dest()->font, 16);
}

TEST_F(LoadedFontTest, GlyphsAdvanceByTheirWidthAndBlendCoverage) {
    const int32_t h = image_new(20, 12, 32, 1);
    image_set_destination(h);
    image_set_font(kFont, h, 1);
    ASSERT_EQ(take_error(), 0u);
    ImageRecord* d = dest();
    d->fg_color = 0xFFFFFFFFu;
    d->bg_color = 0xFF000000u;
    print("a", 0);  // 'a' = 97: width 3
    EXPECT_EQ(d->cursor_x, 4);
    EXPECT_EQ(word(d, 0, 0), 0xFFFFFFFFu);     // full coverage: the foreground
    EXPECT_EQ(word(d, 2, 0), 0xFF000000u);     // none: the background
    EXPECT_EQ(word(d, 1, 3), 0xFF808080u);     // half: between the two
    EXPECT_EQ(word(d, 0, 4), 0u);              // below the font height nothing is drawn
    print("!", 0);                             // unrenderable: skipped, width 0
    EXPECT_EQ(d->cursor_x, 4);
    BasicString s{};
    uint8_t bytes[] = {'a', 'b'};
    s.text = bytes;
    s.length = 2;
    EXPECT_EQ(print_text_width(&s, h, 1), 3 + 4);
    // The row holds 20 pixels: the next 'b' (width 4) wraps after a few more.
    print("bbbbb", 0);
    EXPECT_EQ(d->cursor_y, 2);
    image_free(h, 1);
}

TEST_F(LoadedFontTest, SolidOnIndexedImagesByPrintMode) {
    const int32_t h = image_new(16, 8, 13, 1);
    image_set_destination(h);
    image_set_font(kFont, h, 1);
    ImageRecord* d = dest();
    d->fg_color = 9;
    d->bg_color = 4;
    d->print_mode = 1;  // glyph pixels only
    print("a", 0);
    EXPECT_EQ(d->pixels[0], 9);
    EXPECT_EQ(d->pixels[1], 9);  // solid rendering: half coverage counts as set
    EXPECT_EQ(d->pixels[2], 0);
    d->print_mode = 2;  // background pixels only
    print("a", 0);
    EXPECT_EQ(d->pixels[3], 0);
    EXPECT_EQ(d->pixels[5], 4);
    image_free(h, 1);
}

}  // namespace

namespace {

using TinyImageTest = ScreenTest;

// Images smaller than a character cell or a single cell: printing, tabs, commas and
// scrolling stay inside the storage (the sanitizer builds check the bounds).
TEST_F(TinyImageTest, PrintingNeverWritesOutside) {
    struct TinyCase {
        int32_t width, height, mode;
    };
    for (const TinyCase c : {TinyCase{1, 1, 0}, TinyCase{3, 2, 0}, TinyCase{4, 4, 13}, TinyCase{9, 9, 13},
                             TinyCase{5, 20, 32}, TinyCase{12, 3, 1}}) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " mode " << c.mode);
        const int32_t h = image_new(c.width, c.height, c.mode, 1);
        ASSERT_LE(h, -2);
        image_set_destination(h);
        print("hello\tworld", 1);
        print_comma();
        print(std::string(50, 'q').c_str(), 0);
        print("\x1C\x1D\x1E\x1F\x0B", 0);
        print_newline();
        screen_cls(0, 0, 0);
        screen_cls(2, 0, 1);
        EXPECT_GE(dest()->cursor_y, 1);
        EXPECT_EQ(take_error(), 0u);
        image_set_destination(0);
        image_free(h, 1);
    }
}

}  // namespace
