// Image table, handles, screen modes, pages, WIDTH, fonts and the display handshake.
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "display/display.h"
#include "display/fonts.h"
#include "screen_fixture.h"

namespace {

using ImageTest = ScreenTest;

int32_t screen_page_count() {
    int32_t count = 0;
    for (int32_t i = 0; i < page_table.length; ++i) count += page_table.entries[i] != 0;
    return count;
}

TEST_F(ImageTest, DefaultScreen) {
    const ImageRecord* d = dest();
    EXPECT_EQ(d->width, 80);
    EXPECT_EQ(d->height, 25);
    EXPECT_EQ(d->font, 16);
    EXPECT_EQ(d->fg_color, 7u);
    EXPECT_EQ(d->bg_color, 0u);
    EXPECT_EQ(d->view_top, 1);
    EXPECT_EQ(d->view_bottom, 24);
    EXPECT_EQ(d->color_mask, 0xFFFFu);
    EXPECT_EQ(d->cursor_start, 4);
    EXPECT_EQ(d->cursor_stop, 4);
    EXPECT_TRUE(d->image_flags & kImageScreenPage);
    EXPECT_EQ(current_images.display.load(), d);
    EXPECT_EQ(current_images.source, d);
    ASSERT_GE(page_table.length, 8);
    for (int page = 0; page < 8; ++page) {
        const ImageRecord* p = image_record(page_table.entries[page]);
        EXPECT_EQ(p->pixels, EmulatedMemory + kVideoTextAddress + page * 4096) << page;
        EXPECT_FALSE(p->image_flags & kImageOwnsPixels);
        EXPECT_TRUE(p->image_flags & kImageOwnsPalette);
        EXPECT_EQ(p->palette[14], PaletteVga[14]);
    }
    EXPECT_EQ(cell(1, 1), kBlankCell);
}

TEST_F(ImageTest, HandlesAndTheFreeList) {
    const int32_t a = image_new(10, 10, 13, 1);
    const int32_t b = image_new(10, 10, 13, 1);
    EXPECT_LE(a, -2);
    EXPECT_LE(b, -2);
    EXPECT_NE(a, b);
    image_free(a, 1);
    EXPECT_EQ(take_error(), 0u);
    EXPECT_EQ(image_new(5, 5, 32, 1), a);  // the released number is used again first
    image_free(a, 1);
    image_free(b, 1);
    EXPECT_EQ(take_error(), 0u);
}

TEST_F(ImageTest, BadHandlesRaiseAndChangeNothing) {
    struct BadCase {
        const char* name;
        int32_t handle;
        uint32_t error;
    };
    const int32_t freed = image_new(4, 4, 13, 1);
    image_free(freed, 1);
    const BadCase cases[] = {
        {"never used", -100000, 258}, {"reserved 1", -1, 258}, {"freed", freed, 258},
        {"most negative", INT32_MIN, 258},
    };
    const int32_t destination = image_get_destination();
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        image_set_destination(c.handle);
        EXPECT_EQ(take_error(), c.error);
        EXPECT_EQ(image_get_destination(), destination);
        image_free(c.handle, 1);
        EXPECT_EQ(take_error(), c.error);
        image_set_font(8, c.handle, 1);
        EXPECT_EQ(take_error(), c.error);
    }
}

TEST_F(ImageTest, FreeingScreenPagesIsIllegal) {
    image_free(0, 1);
    EXPECT_EQ(take_error(), 5u);
    image_free(image_get_display(), 1);
    EXPECT_EQ(take_error(), 5u);
    image_free(0, 0);  // the destination is a screen page
    EXPECT_EQ(take_error(), 5u);
    EXPECT_EQ(dest()->in_use, 1);
}

TEST_F(ImageTest, FreeingTheDestinationFallsBackToTheDisplay) {
    const int32_t h = image_new(16, 16, 13, 1);
    image_set_destination(h);
    image_set_source(h);
    image_free(h, 1);
    EXPECT_EQ(take_error(), 0u);
    EXPECT_EQ(image_get_destination(), image_get_display());
    EXPECT_EQ(image_get_source(), image_get_display());
}

TEST_F(ImageTest, NewImageArguments) {
    for (int32_t mode : {3, 4, 5, 6, 14, 31, 255, -1}) {
        EXPECT_EQ(image_new(8, 8, mode, 1), 0) << mode;
        EXPECT_EQ(take_error(), 5u) << mode;
    }
    EXPECT_EQ(image_new(0, 8, 13, 1), 0);
    EXPECT_EQ(take_error(), 5u);
    EXPECT_EQ(image_new(8, -1, 13, 1), 0);
    EXPECT_EQ(take_error(), 5u);
    EXPECT_EQ(image_new(70000, 1, 13, 1), 0);
    EXPECT_EQ(take_error(), 5u);
}

TEST_F(ImageTest, NewImageDefaultsPerMode) {
    struct ModeCase {
        int32_t mode;
        uint8_t bits, bytes;
        int32_t font;
        uint32_t fg, bg, clear;
        uint32_t palette1;
    };
    const ModeCase cases[] = {
        {0, 16, 2, 16, 7, 0, kNoClearColor, PaletteVga[1]},
        {1, 2, 1, 8, 3, 0, kNoClearColor, PaletteVga[3]},
        {2, 1, 1, 8, 1, 0, kNoClearColor, 0x00FFFFFFu},
        {7, 4, 1, 8, 15, 0, kNoClearColor, PaletteVga[1]},
        {9, 4, 1, 14, 15, 0, kNoClearColor, PaletteEga[1]},
        {10, 2, 1, 14, 3, 0, kNoClearColor, 0},
        {11, 1, 1, 16, 1, 0, kNoClearColor, 0x00FFFFFFu},
        {12, 4, 1, 16, 15, 0, kNoClearColor, PaletteVga[1]},
        {13, 8, 1, 8, 15, 0, kNoClearColor, PaletteVga[1]},
        {256, 8, 1, 16, 15, 0, kNoClearColor, PaletteVga[1]},
        {32, 32, 4, 16, 0xFFFFFFFFu, 0xFF000000u, 0, 0},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.mode);
        const int32_t h = image_new(64, 48, c.mode, 1);
        ASSERT_LE(h, -2);
        const ImageRecord* r = image_record(-h);
        EXPECT_EQ(r->bits_per_pixel, c.bits);
        EXPECT_EQ(r->bytes_per_pixel, c.bytes);
        EXPECT_EQ(r->font, c.font);
        EXPECT_EQ(r->fg_color, c.fg);
        EXPECT_EQ(r->draw_color, c.fg);
        EXPECT_EQ(r->bg_color, c.bg);
        EXPECT_EQ(r->clear_color, c.clear);
        EXPECT_EQ(r->print_mode, 3);
        EXPECT_EQ(r->draw_scale, 1.0);
        if (c.mode == 32) {
            EXPECT_EQ(r->palette, nullptr);
            EXPECT_EQ(r->color_mask, 0xFFFFFFFFu);
        } else {
            ASSERT_NE(r->palette, nullptr);
            EXPECT_EQ(r->palette[1], c.palette1);
            EXPECT_EQ(r->color_mask, (1u << c.bits) - 1u);
        }
        if (c.mode == 10) {
            EXPECT_EQ(r->palette[5], 4u);
        }
        if (c.mode != 0) {
            EXPECT_EQ(r->view_x2, 63);
            EXPECT_EQ(r->view_y2, 47);
            EXPECT_EQ(r->last_x, 32.0f);
            EXPECT_EQ(r->view_bottom, std::max(1, 48 / font_cell_height(c.font) - 1));
        } else {
            EXPECT_EQ(r->view_bottom, 47);
        }
        image_free(h, 1);
    }
    EXPECT_EQ(take_error(), 0u);
}

TEST_F(ImageTest, NewImageWithoutModeCopiesTheDestination) {
    screen_color(14, 1, 0, 3);
    const int32_t h = image_new(20, 5, 0, 0);
    ASSERT_LE(h, -2);
    const ImageRecord* r = image_record(-h);
    EXPECT_EQ(r->mode, 0);
    EXPECT_EQ(r->fg_color, 14u);
    EXPECT_EQ(r->bg_color, 1u);
    EXPECT_EQ(r->font, 16);
    EXPECT_EQ(cell(r, 5, 20), kBlankCell);
    image_free(h, 1);
}

TEST_F(ImageTest, CopyIsIndependent) {
    print("abc", 0);
    const int32_t h = image_copy(0, 0);
    ASSERT_LE(h, -2);
    ImageRecord* copy = image_record(-h);
    EXPECT_FALSE(copy->image_flags & kImageScreenPage);
    EXPECT_TRUE(copy->image_flags & kImageOwnsPixels);
    EXPECT_NE(copy->pixels, dest()->pixels);
    EXPECT_NE(copy->palette, dest()->palette);
    EXPECT_EQ(row_text(copy, 1), "abc");
    print("def", 0);
    EXPECT_EQ(row_text(copy, 1), "abc");
    image_free(h, 1);
}

TEST_F(ImageTest, ImageNumbersZeroAndOneAreNeverHandedOut) {
    for (int i = 0; i < 50; ++i) {
        const int32_t n = image_alloc_slot();
        EXPECT_GE(n, 2);
        image_release_slot(n);
    }
    EXPECT_EQ(image_release_slot(0), 0);
    EXPECT_EQ(image_release_slot(1), 0);
    EXPECT_EQ(image_release_slot(1 << 30), 0);
}

TEST_F(ImageTest, TableGrowthKeepsRecordsInPlace) {
    ImageRecord* screen = dest();
    std::vector<int32_t> handles;
    for (int i = 0; i < kImageTableGrowth + 10; ++i) handles.push_back(image_new(1, 1, 13, 1));
    EXPECT_EQ(take_error(), 0u);
    EXPECT_GE(image_table.block_count, 2);
    EXPECT_EQ(dest(), screen);
    EXPECT_EQ(screen->width, 80);
    for (int32_t h : handles) image_free(h, 1);
    EXPECT_EQ(take_error(), 0u);
}

TEST_F(ImageTest, IllegalModesChangeNothing) {
    print("keep", 0);
    const int32_t screen = page_table.entries[0];
    for (int32_t mode : {3, 4, 5, 6, 14, 32, 256}) {
        screen_mode(mode, 0, 0, kScreenPassedMode);
        EXPECT_EQ(take_error(), 5u) << mode;
    }
    screen_mode(0, -1, 0, kScreenPassedMode | kScreenPassedActive);
    EXPECT_EQ(take_error(), 5u);
    screen_mode(0, 0, -2, kScreenPassedVisual);
    EXPECT_EQ(take_error(), 5u);
    screen_mode(-99999, 0, 0, kScreenPassedMode);
    EXPECT_EQ(take_error(), 258u);
    EXPECT_EQ(page_table.entries[0], screen);
    EXPECT_EQ(row_text(1), "keep");
    EXPECT_EQ(screen_untouched_default, 1);
}

TEST_F(ImageTest, Screen0OnTheSameTextModeKeepsTheScreen) {
    print("still here", 0);
    screen_mode(0, 0, 0, kScreenPassedMode);
    EXPECT_EQ(row_text(1), "still here");
    EXPECT_EQ(screen_untouched_default, 1);
    screen_mode(0, 0, 0, kScreenPassedMode | kScreenPassedActive);
    EXPECT_EQ(screen_untouched_default, 0);
}

TEST_F(ImageTest, GraphicsModesTakeTheirSizes) {
    struct GraphicsCase {
        int32_t mode, width, height, font, rows;
    };
    const GraphicsCase cases[] = {
        {1, 320, 200, 8, 25}, {2, 640, 200, 8, 25},  {7, 320, 200, 8, 25},  {8, 640, 200, 8, 25},
        {9, 640, 350, 14, 25}, {10, 640, 350, 14, 25}, {11, 640, 480, 16, 30}, {12, 640, 480, 16, 30},
        {13, 320, 200, 8, 25},
    };
    for (const GraphicsCase& c : cases) {
        SCOPED_TRACE(c.mode);
        SetUp();
        screen_mode(c.mode, 0, 0, kScreenPassedMode);
        ASSERT_EQ(take_error(), 0u);
        const ImageRecord* d = dest();
        EXPECT_EQ(d->mode, c.mode);
        EXPECT_EQ(d->width, c.width);
        EXPECT_EQ(d->height, c.height);
        EXPECT_EQ(d->font, c.font);
        EXPECT_EQ(image_text_rows(d), c.rows);
        EXPECT_EQ(screen_page_count(), 1);
        EXPECT_EQ(screen_untouched_default, 0);
    }
    EXPECT_EQ(dest()->pixels, EmulatedMemory + kVideoGraphicsAddress);
}

TEST_F(ImageTest, Screen12FontFollowsTheOldTextSize) {
    screen_mode(12, 0, 0, kScreenPassedMode);
    EXPECT_EQ(dest()->font, 16);
    SetUp();
    screen_width(80, 60, 3);
    ASSERT_EQ(dest()->height, 60);
    screen_mode(12, 0, 0, kScreenPassedMode);
    EXPECT_EQ(dest()->font, 8);
    EXPECT_EQ(image_text_rows(dest()), 60);
}

TEST_F(ImageTest, WidthPageSizes) {
    struct WidthCase {
        int32_t columns, rows, font, page_bytes, pages_in_buffer;
    };
    const WidthCase cases[] = {
        {40, 25, 17, 2048, 8}, {80, 25, 16, 4096, 8}, {80, 43, 14, 6880, 8},
        {80, 50, 8, 8000, 8},  {132, 60, 8, 15840, 4}, {40, 50, 9, 4000, 8},
    };
    for (const WidthCase& c : cases) {
        SCOPED_TRACE(c.columns * 1000 + c.rows);
        SetUp();
        screen_width(c.columns, c.rows, 3);
        ASSERT_EQ(take_error(), 0u);
        EXPECT_EQ(dest()->width, c.columns);
        EXPECT_EQ(dest()->height, c.rows);
        for (int page = 0; page < 8; ++page) {
            const ImageRecord* p = image_record(page_table.entries[page]);
            EXPECT_EQ(p->font, c.font);
            if (page < c.pages_in_buffer) {
                EXPECT_EQ(p->pixels, EmulatedMemory + kVideoTextAddress + page * c.page_bytes) << page;
            } else {
                EXPECT_TRUE(p->image_flags & kImageOwnsPixels) << page;
                EXPECT_EQ(cell(p, c.rows, c.columns), kBlankCell);
            }
        }
        EXPECT_EQ(screen_untouched_default, 0);
    }
}

TEST_F(ImageTest, Width40KeepsItsSizeAcrossScreen0) {
    screen_width(40, 0, 1);
    EXPECT_EQ(dest()->width, 40);
    EXPECT_EQ(dest()->font, 17);
    screen_mode(1, 0, 0, kScreenPassedMode);
    screen_mode(0, 0, 0, kScreenPassedMode);
    EXPECT_EQ(dest()->width, 40);
    EXPECT_EQ(dest()->height, 25);
}

TEST_F(ImageTest, WidthArgumentErrors) {
    for (auto [columns, rows, passed] : {std::tuple{0, 25, 3u}, {80, 0, 3u}, {-5, 0, 1u}, {70000, 0, 1u}}) {
        screen_width(columns, rows, passed);
        EXPECT_EQ(take_error(), 5u);
    }
    EXPECT_EQ(dest()->width, 80);
    EXPECT_EQ(screen_untouched_default, 1);
}

TEST_F(ImageTest, WidthOnGraphicsScreens) {
    screen_mode(12, 0, 0, kScreenPassedMode);
    screen_width(80, 60, 3);  // 8-pixel rows fit 480 lines
    EXPECT_EQ(take_error(), 0u);
    EXPECT_EQ(dest()->mode, 12);
    EXPECT_EQ(dest()->font, 8);
    screen_width(80, 43, 3);  // no match: a text screen of that size
    EXPECT_EQ(take_error(), 0u);
    EXPECT_EQ(dest()->mode, 0);
    EXPECT_EQ(dest()->height, 43);
    SetUp();
    screen_mode(12, 0, 0, kScreenPassedMode);
    screen_width(100, 0, 1);
    EXPECT_EQ(take_error(), 5u);
    EXPECT_EQ(dest()->mode, 12);
}

TEST_F(ImageTest, ActivePageAloneIsAlsoVisual) {
    screen_mode(0, 2, 0, kScreenPassedActive);
    EXPECT_EQ(take_error(), 0u);
    EXPECT_EQ(current_images.destination_number, page_table.entries[2]);
    EXPECT_EQ(current_images.display_number.load(), page_table.entries[2]);
    screen_mode(0, 1, 0, kScreenPassedActive | kScreenPassedVisual);
    EXPECT_EQ(current_images.destination_number, page_table.entries[1]);
    EXPECT_EQ(current_images.display_number.load(), page_table.entries[0]);
}

TEST_F(ImageTest, LazyGraphicsPagesSharePage0Palette) {
    screen_mode(7, 0, 0, kScreenPassedMode);
    screen_mode(0, 3, 0, kScreenPassedActive | kScreenPassedVisual);
    ASSERT_EQ(take_error(), 0u);
    ASSERT_GE(page_table.length, 4);
    const ImageRecord* page3 = image_record(page_table.entries[3]);
    EXPECT_EQ(page3->palette, image_record(page_table.entries[0])->palette);
    EXPECT_FALSE(page3->image_flags & kImageOwnsPalette);
    EXPECT_TRUE(page3->image_flags & kImageScreenPage);
    EXPECT_EQ(page_table.entries[1], 0);
    screen_mode(0, 0, 0, kScreenPassedMode);  // disposes the pages without a double free
    EXPECT_EQ(take_error(), 0u);
}

TEST_F(ImageTest, HugePageNumbersAreRefused) {
    screen_mode(0, 1 << 30, 0, kScreenPassedActive);
    EXPECT_EQ(take_error(), 5u);
    EXPECT_LT(page_table.length, 1000);
}

TEST_F(ImageTest, ProgramImageAsTheScreen) {
    const int32_t h = image_new(100, 50, 32, 1);
    screen_mode(h, 0, 0, kScreenPassedMode);
    ASSERT_EQ(take_error(), 0u);
    EXPECT_EQ(page_table.entries[0], -h);
    EXPECT_EQ(image_get_display(), h);
    screen_mode(0, 0, 0, kScreenPassedMode);
    EXPECT_EQ(take_error(), 0u);
    EXPECT_EQ(image_record(-h)->in_use, 1);  // it belongs to the program again
    EXPECT_FALSE(image_record(-h)->image_flags & kImageScreenPage);
    image_free(h, 1);
    EXPECT_EQ(take_error(), 0u);
}

TEST_F(ImageTest, ScreenPagesCannotBecomeTheScreen) {
    screen_mode(-page_table.entries[3], 0, 0, kScreenPassedMode);
    EXPECT_EQ(take_error(), 5u);
}

TEST_F(ImageTest, Fonts) {
    image_set_font(12, 0, 0);
    EXPECT_EQ(take_error(), 258u);
    image_set_font(500, 0, 0);  // nothing loaded there
    EXPECT_EQ(take_error(), 258u);
    locate(10, 10);
    image_set_font(8, 0, 0);  // the whole text screen; cursors stay
    EXPECT_EQ(take_error(), 0u);
    for (int page = 0; page < 8; ++page) EXPECT_EQ(image_record(page_table.entries[page])->font, 8);
    EXPECT_EQ(dest()->cursor_y, 10);

    const int32_t h = image_new(64, 64, 13, 1);
    image_set_destination(h);
    locate(3, 3);
    image_set_font(16, h, 1);
    EXPECT_EQ(dest()->font, 16);
    EXPECT_EQ(dest()->cursor_y, 1);
    EXPECT_EQ(dest()->view_bottom, 3);
    image_free(h, 1);
}

TEST_F(ImageTest, PaletteAndBlendSettings) {
    image_set_palette_color(256, 0, 0, 0);
    EXPECT_EQ(take_error(), 5u);
    image_set_palette_color(3, 0xFF123456u, 0, 0);
    EXPECT_EQ(dest()->palette[3], 0xFF123456u);
    image_set_blend(0, 0, 1);
    EXPECT_EQ(take_error(), 5u);
    image_set_blend(0, 0, 0);
    EXPECT_EQ(take_error(), 0u);
    const int32_t h = image_new(2, 2, 32, 1);
    image_set_palette_color(0, 0, h, 1);
    EXPECT_EQ(take_error(), 5u);
    image_set_blend(h, 1, 0);
    EXPECT_EQ(image_record(-h)->no_blend, 1);
    image_set_blend(h, 1, 1);
    EXPECT_EQ(image_record(-h)->no_blend, 0);
    image_free(h, 1);
}

TEST_F(ImageTest, RecordFileFormRoundTrip) {
    ImageRecord r = *dest();
    r.cursor_x = 17;
    r.fg_color = 0x1E;
    r.draw_scale = 2.5;
    r.view_x2 = -3;
    uint8_t bytes[kImageRecordFileBytes];
    image_record_to_bytes(r, bytes);
    EXPECT_EQ(bytes[17], 1);   // is_text
    EXPECT_EQ(bytes[20], 80);  // width
    EXPECT_EQ(bytes[56], 17);  // cursor_x
    EXPECT_EQ(bytes[36], 0x1E);
    double scale;
    std::memcpy(&scale, bytes + 160, 8);
    EXPECT_EQ(scale, 2.5);
    ImageRecord back{};
    image_record_from_bytes(bytes, back);
    EXPECT_EQ(back.cursor_x, 17);
    EXPECT_EQ(back.view_x2, -3);
    EXPECT_EQ(back.width, 80);
    EXPECT_EQ(back.font, 16);
    EXPECT_EQ(back.pixels, nullptr);
}

TEST_F(ImageTest, DisplayLockHandshake) {
    // A stand-in display loop grants requests the way the frame composer does.
    std::atomic<bool> running{true};
    std::atomic<int> grants{0};
    std::thread display([&] {
        while (running.load()) {
            if (DisplayLock.load() == kDisplayLockRequested) grants.fetch_add(1);
            screen_display_lock_grant();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    frame_state.threads_running.store(1);
    const int32_t saved_auto = AutoDisplay.load();
    AutoDisplay.store(1);
    screen_mode(12, 0, 0, kScreenPassedMode);
    image_set_font(8, 0, 0);
    frame_state.threads_running.store(0);
    AutoDisplay.store(saved_auto);
    running.store(false);
    display.join();
    EXPECT_EQ(take_error(), 0u);
    EXPECT_EQ(grants.load(), 1);  // the mode change; a graphics font change needs no lock
    EXPECT_EQ(DisplayLock.load(), kDisplayLockIdle);
    EXPECT_FALSE(screen_display_lock_grant());
}

}  // namespace
