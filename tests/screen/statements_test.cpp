// The screen statements: PRINT commas, CLS, COLOR, LOCATE, VIEW PRINT and the key line.
#include <string>

#include "display/fonts.h"
#include "screen_fixture.h"

namespace {

using StatementTest = ScreenTest;

// Fills every row of the screen with its row letter.
void fill_rows() {
    for (int row = 1; row <= 25; ++row) {
        screen_locate(row, 1, 0, 0, 0, 3);
        const std::string text(80, static_cast<char>('A' + row - 1));
        print_bytes(reinterpret_cast<const uint8_t*>(text.data()), 80, 0);
    }
}

TEST_F(StatementTest, CommaZones) {
    struct CommaCase {
        int from, to;
    };
    for (const CommaCase c : {CommaCase{1, 15}, CommaCase{15, 29}, CommaCase{2, 15}, CommaCase{43, 57}, CommaCase{57, 80},
                              CommaCase{67, 80}, CommaCase{70, 80}}) {
        SCOPED_TRACE(c.from);
        SetUp();
        locate(1, c.from);
        print_comma();
        EXPECT_EQ(dest()->cursor_x, c.to);
        EXPECT_EQ(dest()->cursor_y, 1);
    }
}

TEST_F(StatementTest, CommaAfterAHeldCursorStartsTheNextRow) {
    print(std::string(80, 'x').c_str(), 0);
    print_comma();
    EXPECT_EQ(dest()->cursor_y, 2);
    EXPECT_EQ(dest()->cursor_x, 1);
    EXPECT_EQ(dest()->wrap_state, 0);
    // A comma at column 80 holds the cursor there.
    locate(3, 80);
    print_comma();
    EXPECT_EQ(dest()->cursor_x, 80);
    EXPECT_EQ(dest()->wrap_state, 1);
}

TEST_F(StatementTest, ClsKinds) {
    struct ClsCase {
        const char* name;
        int32_t kind;
        uint32_t passed;
        std::string rows_kept;  // which of rows 1..25 keep their text ('1') or are cleared ('0')
    };
    const std::string window_cleared = std::string(4, '1') + std::string(6, '0') + std::string(14, '1') + "0";
    const ClsCase cases[] = {
        {"no kind clears the window and the last row", 0, 0, window_cleared},
        {"kind 0 clears everything", 0, 1, std::string(25, '0')},
        {"kind 1 only homes the cursor", 1, 1, std::string(25, '1')},
        {"kind 2 clears the window only", 2, 1, std::string(4, '1') + std::string(6, '0') + std::string(15, '1')},
    };
    for (const ClsCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        fill_rows();
        screen_view_print(5, 10, 1);
        locate(8, 8);
        screen_cls(c.kind, 0, c.passed);
        ASSERT_EQ(take_error(), 0u);
        for (int row = 1; row <= 25; ++row) {
            EXPECT_EQ(row_text(row).empty(), c.rows_kept[row - 1] == '0') << row;
        }
        EXPECT_EQ(dest()->cursor_y, 5);
        EXPECT_EQ(dest()->cursor_x, 1);
    }
}

TEST_F(StatementTest, ClsWithoutArgumentsClearsRow25) {
    fill_rows();
    screen_cls(0, 0, 0);
    for (int row = 1; row <= 25; ++row) EXPECT_EQ(row_text(row), "") << row;
    EXPECT_EQ(dest()->cursor_y, 1);
}

TEST_F(StatementTest, ClsColourAndErrors) {
    screen_color(14, 0, 0, 1);
    screen_cls(0, 4, 2);
    EXPECT_EQ(take_error(), 0u);
    EXPECT_EQ(cell(3, 3), (0x4E << 8) | ' ');
    fill_rows();
    for (auto [kind, colour, passed] : {std::tuple{3, 0u, 1u}, {-1, 0u, 1u}, {0, 0x10000u, 2u}}) {
        screen_cls(kind, colour, passed);
        EXPECT_EQ(take_error(), 5u);
    }
    EXPECT_EQ(row_text(3), std::string(80, 'C'));
}

TEST_F(StatementTest, ClsAfterAHeldCursorPrintsOnTheFirstRow) {
    print(std::string(80, 'x').c_str(), 0);
    screen_cls(0, 0, 0);
    print("a", 0);
    EXPECT_EQ(row_text(1), "a");
}

TEST_F(StatementTest, ClsOnGraphics) {
    screen_mode(13, 0, 0, kScreenPassedMode);
    ImageRecord* d = dest();
    d->pixels[100] = 9;
    screen_cls(0, 2, 2);
    EXPECT_EQ(d->pixels[100], 2);
    EXPECT_EQ(d->pixels[63999], 2);
    EXPECT_EQ(d->last_x, 160.0f);
    screen_cls(0, 256, 2);
    EXPECT_EQ(take_error(), 5u);
}

struct ColorCase {
    int32_t mode;
    uint32_t fore, back, border;
    uint32_t passed;
    uint32_t error;
};

TEST_F(StatementTest, ColorRangesPerMode) {
    const ColorCase cases[] = {
        {0, 31, 15, 0, 3, 0},     {0, 32, 0, 0, 1, 5},     {0, 0, 16, 0, 2, 5},   {0, 1, 1, 9, 7, 0},
        {0, 0xFFFFFFFF, 0, 0, 1, 5},
        {1, 15, 1, 0, 3, 0},      {1, 16, 0, 0, 1, 5},     {1, 1, 0, 1, 5, 5},
        {2, 1, 15, 0, 3, 0},      {2, 2, 0, 0, 1, 5},      {2, 0, 16, 0, 2, 5},
        {7, 15, 15, 0, 3, 0},     {7, 16, 0, 0, 1, 5},     {8, 0, 16, 0, 2, 5},
        {9, 15, 63, 0, 3, 0},     {9, 0, 64, 0, 2, 5},     {9, 16, 0, 0, 1, 5},
        {10, 3, 8, 0, 3, 0},      {10, 4, 0, 0, 1, 5},     {10, 0, 9, 0, 2, 5},
        {11, 1, 1, 0, 3, 0},      {11, 2, 0, 0, 1, 5},     {11, 0, 2, 0, 2, 5},
        {12, 15, 15, 0, 3, 0},    {12, 16, 0, 0, 1, 5},    {12, 0, 0, 0, 4, 5},
        {13, 255, 255, 0, 3, 0},  {13, 256, 0, 0, 1, 5},   {13, 0, 256, 0, 2, 5},
    };
    for (const ColorCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " fore " << c.fore << " back " << c.back
                                        << " passed " << c.passed);
        SetUp();
        if (c.mode != 0) screen_mode(c.mode, 0, 0, kScreenPassedMode);
        ImageRecord* d = dest();
        const ImageRecord before = *d;
        uint32_t palette_before[256];
        std::memcpy(palette_before, d->palette, sizeof palette_before);
        screen_color(c.fore, c.back, c.border, c.passed);
        EXPECT_EQ(take_error(), c.error);
        if (c.error != 0) {
            EXPECT_EQ(d->fg_color, before.fg_color);
            EXPECT_EQ(d->bg_color, before.bg_color);
            EXPECT_EQ(std::memcmp(palette_before, d->palette, sizeof palette_before), 0);
        }
    }
}

TEST_F(StatementTest, ColorEffects) {
    screen_color(14, 0, 0, 1);
    EXPECT_EQ(dest()->fg_color, 14u);
    screen_color(16, 0, 0, 1);
    print("b", 0);
    EXPECT_EQ(cell(1, 1) >> 8, 0x80);  // blinking black
    screen_color(0, 9, 0, 2);
    EXPECT_EQ(dest()->bg_color, 1u);
    screen_color(0, 0, 0, 0);  // no arguments: nothing
    EXPECT_EQ(dest()->bg_color, 1u);

    screen_mode(1, 0, 0, kScreenPassedMode);
    screen_color(4, 0, 0, 1);
    EXPECT_EQ(dest()->palette[0], PaletteVga[4]);
    screen_color(0, 2, 0, 2);
    EXPECT_EQ(dest()->palette[1], PaletteVga[2]);
    EXPECT_EQ(dest()->palette[3], PaletteVga[6]);
    screen_mode(9, 0, 0, kScreenPassedMode);
    screen_color(0, 20, 0, 2);
    EXPECT_EQ(dest()->palette[0], PaletteEga[20]);
    screen_mode(10, 0, 0, kScreenPassedMode);
    screen_color(0, 7, 0, 2);
    EXPECT_EQ(dest()->palette[4], 7u);
}

TEST_F(StatementTest, LocateArgumentErrorsChangeNothing) {
    struct LocateCase {
        const char* name;
        int32_t row, column, cursor, start, stop;
        uint32_t passed;
    };
    const LocateCase cases[] = {
        {"row 0", 0, 1, 0, 0, 0, 1},      {"column 0", 1, 0, 0, 0, 0, 2},   {"column 81", 1, 81, 0, 0, 0, 2},
        {"cursor 2", 1, 1, 2, 0, 0, 4},   {"start 32", 1, 1, 0, 32, 0, 8},  {"stop -1", 1, 1, 0, 0, -1, 16},
        {"good row, bad column", 3, 99, 0, 0, 0, 3},
    };
    for (const LocateCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        locate(7, 7);
        screen_locate(c.row, c.column, c.cursor, c.start, c.stop, c.passed);
        EXPECT_EQ(take_error(), 5u);
        EXPECT_EQ(dest()->cursor_y, 7);
        EXPECT_EQ(dest()->cursor_x, 7);
        EXPECT_EQ(dest()->cursor_start, 4);
        EXPECT_EQ(dest()->height, 25);
    }
}

TEST_F(StatementTest, LocateRowsOutsideTheWindow) {
    screen_untouched_default = 0;
    screen_view_print(5, 10, 1);
    screen_locate(4, 0, 0, 0, 0, 1);
    EXPECT_EQ(take_error(), 5u);
    screen_locate(11, 0, 0, 0, 0, 1);
    EXPECT_EQ(take_error(), 5u);
    screen_locate(25, 0, 0, 0, 0, 1);  // the last row is always allowed
    EXPECT_EQ(take_error(), 0u);
    EXPECT_EQ(dest()->cursor_y, 25);
}

TEST_F(StatementTest, LocateCursorShapeOnEveryPage) {
    screen_locate(0, 0, 1, 0, 7, 4 | 8 | 16);
    for (int page = 0; page < 8; ++page) {
        const ImageRecord* p = image_record(page_table.entries[page]);
        EXPECT_EQ(p->cursor_visible, 1);
        EXPECT_EQ(p->cursor_start, 0);
        EXPECT_EQ(p->cursor_stop, 7);
    }
}

TEST_F(StatementTest, LocateWithoutPositionShowsTheHeldCursorOnTheNextRow) {
    print(std::string(80, 'x').c_str(), 0);
    screen_locate(0, 0, 1, 0, 0, 4);
    EXPECT_EQ(dest()->wrap_state, 2);
    locate(5, 5);
    EXPECT_EQ(dest()->wrap_state, 0);
}

TEST_F(StatementTest, Locate30SwitchesTheUntouchedScreenTo50Rows) {
    print("kept text", 0);
    screen_color(14, 1, 0, 3);
    locate(30, 5);
    EXPECT_EQ(take_error(), 0u);
    EXPECT_EQ(dest()->height, 50);
    EXPECT_EQ(dest()->font, 8);
    EXPECT_EQ(row_text(1), "kept text");
    EXPECT_EQ(dest()->cursor_y, 30);
    EXPECT_EQ(dest()->cursor_x, 5);
    EXPECT_EQ(dest()->fg_color, 14u);
    EXPECT_EQ(dest()->bg_color, 1u);
    EXPECT_EQ(screen_untouched_default, 0);
}

TEST_F(StatementTest, Locate30AfterWidthOrScreenIsIllegal) {
    screen_width(80, 25, 3);
    locate(30, 1);
    EXPECT_EQ(take_error(), 5u);
    SetUp();
    screen_mode(0, 0, 0, kScreenPassedMode | kScreenPassedActive);
    locate(30, 1);
    EXPECT_EQ(take_error(), 5u);
    SetUp();
    locate(51, 1);
    EXPECT_EQ(take_error(), 5u);
    EXPECT_EQ(dest()->height, 25);
}

TEST_F(StatementTest, ViewPrint) {
    for (auto [top, bottom] : {std::pair{0, 5}, {6, 5}, {1, 26}}) {
        screen_view_print(top, bottom, 1);
        EXPECT_EQ(take_error(), 5u);
    }
    EXPECT_EQ(dest()->view_bottom, 24);
    screen_view_print(0, 0, 0);  // every row scrolls
    EXPECT_EQ(dest()->view_bottom, 25);
    fill_rows();
    locate(25, 1);
    print("", 1);
    EXPECT_EQ(row_text(24), std::string(80, 'Y'));
    EXPECT_EQ(row_text(25), "");
    EXPECT_EQ(row_text(1), std::string(80, 'B'));
}

TEST_F(StatementTest, KeyLine) {
    const uint8_t run[] = {'R', 'U', 'N', 13};
    screen_key_set_text(2, run, 4);
    locate(3, 4);
    screen_color(7, 0, 0, 3);
    screen_key_line_show(1);
    const std::string line = row_text(25);
    EXPECT_EQ(line.substr(0, 1), "1");
    EXPECT_EQ(line.substr(8, 9), std::string("2RUN\x1B   3"));
    EXPECT_EQ(cell(25, 10) >> 8, 0x70);  // key text in reversed colours
    EXPECT_EQ(cell(25, 9) >> 8, 0x07);   // the number in the normal ones
    EXPECT_EQ(line.substr(72, 2), "10");
    EXPECT_EQ(dest()->cursor_y, 3);      // the cursor is put back
    EXPECT_EQ(dest()->cursor_x, 4);
    // A CLS redraws it; turning it off clears the row.
    screen_cls(0, 0, 0);
    EXPECT_EQ(row_text(25).substr(0, 1), "1");
    screen_key_line_show(0);
    EXPECT_EQ(row_text(25), "");
    screen_key_set_text(2, nullptr, 0);
}

}  // namespace
