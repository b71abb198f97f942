// Screen modes: SCREEN, the text-mode WIDTH, screen fonts and the display handshake.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "display/display.h"
#include "display/fonts.h"
#include "errors/errors.h"
#include "frame/frame.h"
#include "platform/platform.h"
#include "screen/private/screen_private.h"
#include "screen/screen.h"

std::atomic<uint32_t> DisplayLock{kDisplayLockIdle};
PendingWidth pending_width{-1, -1, -1};
uint8_t screen_untouched_default = 0;
int32_t screen_last_active_page = 0;

namespace {

constexpr int32_t kCriticalOutOfMemory = 502;
constexpr int32_t kMaxTextPages = 8;

// Image number of page 0 when a program image was made the screen by a negative mode.
int32_t screen_program_image = 0;

bool screen_lock_wanted() {
    return AutoDisplay.load() != 0 && frame_state.threads_running.load() != 0;
}

struct TextSize {
    int32_t columns;
    int32_t rows;
};

TextSize screen_old_text_size() {
    if (page_table.entries == nullptr || page_table.entries[0] == 0) return {0, 0};
    const ImageRecord* screen = image_record(page_table.entries[0]);
    return {image_text_columns(screen), image_text_rows(screen)};
}

// Frees every screen page; a program image that was made the screen only loses its
// screen-page mark.
void screen_dispose_pages() {
    for (int32_t page = page_table.length - 1; page >= 0; --page) {
        const int32_t n = page_table.entries[page];
        if (n == 0) continue;
        page_table.entries[page] = 0;
        if (page == 0 && n == screen_program_image) {
            image_record(n)->image_flags &= ~kImageScreenPage;
            continue;
        }
        image_dispose(n);
    }
    screen_program_image = 0;
    page_table.length = 1;
}

void screen_make_page0(int32_t n) {
    if (n == 0) error_raise(kCriticalOutOfMemory);
    image_record(n)->image_flags |= kImageScreenPage;
    page_table.entries[0] = n;
    screen_select_destination(n);
    screen_select_source(n);
    screen_select_display(n);
}

// Text-mode size and font from the pending WIDTH values and the old size.
void screen_text_size(TextSize old, int32_t& columns, int32_t& rows, int32_t& font) {
    const PendingWidth p = pending_width;
    if (p.columns != -1 && p.rows != -1 && p.font != -1) {
        columns = p.columns;
        rows = p.rows;
        font = p.font;
    } else if (p.columns != -1) {
        columns = p.columns;
        if (old.rows == 43) {
            rows = 43;
            font = 14;
        } else if (old.rows == 50) {
            rows = 50;
            font = 8;
        } else {
            rows = 25;
            font = 16;
        }
        if (columns == 40) font += 1;
    } else if (p.rows != -1) {
        rows = p.rows;
        font = rows == 43 ? 14 : rows == 50 ? 8 : 16;
        columns = 80;
        if (old.columns == 40) {
            columns = 40;
            font += 1;
        }
    } else {
        struct Kept {
            int32_t columns, rows, font;
        };
        constexpr Kept kKept[] = {{80, 50, 8}, {40, 50, 9}, {80, 43, 8}, {40, 43, 9}, {40, 25, 17}};
        columns = 80;
        rows = 25;
        font = 16;
        for (const Kept& k : kKept) {
            if (old.columns == k.columns && old.rows == k.rows) {
                columns = k.columns;
                rows = k.rows;
                font = k.font;
            }
        }
    }
    pending_width = PendingWidth{-1, -1, -1};
}

void screen_build_text(TextSize old) {
    int32_t columns = 80, rows = 25, font = 16;
    screen_text_size(old, columns, rows, font);
    // 64-bit: a page of up to 65535 x 65535 cells overflows 32 bits, and a wrapped size
    // would place pages past the end of the video buffer.
    int64_t page_bytes = int64_t{columns} * rows * 2;
    if (columns == 40 && rows == 25) {
        font = 17;
        page_bytes = 2048;
    } else if (columns == 80 && rows == 25) {
        font = 16;
        page_bytes = 4096;
    }
    const int64_t in_buffer = std::min<int64_t>(kVideoTextBytes / page_bytes, kMaxTextPages);
    if (!screen_page_table_reserve(kMaxTextPages)) error_raise(kCriticalOutOfMemory);
    uint8_t* buffer = EmulatedMemory + kVideoTextAddress;
    for (uint32_t i = 0; i < kVideoTextBytes; i += 2) screen_cell_store(buffer + i, kBlankCell);
    for (int32_t page = 0; page < kMaxTextPages; ++page) {
        const int32_t n = page < in_buffer ? image_init_record(buffer + page * page_bytes, columns, rows, 0)
                                           : image_create(columns, rows, 0);
        if (n == 0) error_raise(kCriticalOutOfMemory);
        ImageRecord* image = image_record(n);
        image_apply_font(image, font);
        image->image_flags |= kImageScreenPage;
        page_table.entries[page] = n;
    }
    screen_make_page0(page_table.entries[0]);
}

// Colours and text window of the destination after a page change.
void screen_reset_page_window() {
    image_default_colors();
    ImageRecord* image = current_images.destination;
    image->view_top = 1;
    const int32_t rows = image_text_rows(image);
    if (image->cursor_y > rows) image_field_store(image->cursor_y, static_cast<int16_t>(1));
    image->view_bottom = static_cast<int16_t>(rows - 1 >= 1 ? rows - 1 : 1);
}

void screen_take_graphics_state(ImageRecord* to, const ImageRecord* from) {
    to->view_x1 = from->view_x1;
    to->view_y1 = from->view_y1;
    to->view_x2 = from->view_x2;
    to->view_y2 = from->view_y2;
    to->view_origin_x = from->view_origin_x;
    to->view_origin_y = from->view_origin_y;
    to->last_x = from->last_x;
    to->last_y = from->last_y;
    to->coord_mode = from->coord_mode;
    to->scale_x = from->scale_x;
    to->scale_y = from->scale_y;
    to->offset_x = from->offset_x;
    to->offset_y = from->offset_y;
    to->window_x1 = from->window_x1;
    to->window_y1 = from->window_y1;
    to->window_x2 = from->window_x2;
    to->window_y2 = from->window_y2;
    to->draw_angle = from->draw_angle;
    to->draw_scale = from->draw_scale;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The display handshake
// ---------------------------------------------------------------------------------------

void screen_display_lock_take() {
    uint32_t expected = kDisplayLockIdle;
    DisplayLock.compare_exchange_strong(expected, kDisplayLockRequested);
    // Once a stop is under way the display loop draws nothing more and never grants,
    // so the wait ends there too.
    while (DisplayLock.load() != kDisplayLockGranted && error_state.stop_requested.load() == 0) {
        platform_sleep_ms(1);
    }
}

void screen_display_lock_release() { DisplayLock.store(kDisplayLockIdle); }

bool screen_display_lock_grant() {
    uint32_t expected = kDisplayLockRequested;
    DisplayLock.compare_exchange_strong(expected, kDisplayLockGranted);
    return DisplayLock.load() != kDisplayLockIdle;
}

// ---------------------------------------------------------------------------------------
// Fonts
// ---------------------------------------------------------------------------------------

void image_set_font(int32_t font, int32_t handle, int32_t handle_given) {
    if (error_pending()) return;
    const int32_t n = handle_given ? image_resolve(handle) : current_images.destination_number;
    if (n == 0) return;
    ImageRecord* image = image_record(n);
    if (!font_is_builtin(font) && !font_is_loaded(font)) {
        error_raise(kErrorInvalidHandle);
        return;
    }
    if (image->is_text && font_cell_width(font) == 0) {
        error_raise(kErrorIllegalFunctionCall);
        return;
    }
    if (image->is_text && (image->image_flags & kImageScreenPage)) {
        const bool lock = screen_lock_wanted();
        if (lock) screen_display_lock_take();
        for (int32_t page = 0; page < page_table.length; ++page) {
            const int32_t p = page_table.entries[page];
            if (p != 0) image_field_store(image_record(p)->font, font);
        }
        display_invalidate();
        if (lock) screen_display_lock_release();
        return;
    }
    image_apply_font(image, font);
}

// ---------------------------------------------------------------------------------------
// SCREEN
// ---------------------------------------------------------------------------------------

void screen_mode(int32_t mode, int32_t page_active, int32_t page_visual, uint32_t passed) {
    if (error_pending()) return;
    const bool mode_given = (passed & kScreenPassedMode) != 0;
    const bool active_given = (passed & kScreenPassedActive) != 0;
    bool visual_given = (passed & kScreenPassedVisual) != 0;
    const bool plain_text_mode = passed == kScreenPassedMode && mode == 0;
    const int32_t screen_number = page_table.entries != nullptr ? page_table.entries[0] : 0;

    // Every check comes before any change.
    bool mode_change = false;
    int32_t program_image = 0;
    if (mode_given) {
        if (mode < 0) {
            const int32_t n = image_resolve(mode);
            if (n == 0) return;
            // A page of the current screen cannot become the screen: it is about to be freed.
            if (n != screen_number && (image_record(n)->image_flags & kImageScreenPage)) {
                error_raise(kErrorIllegalFunctionCall);
                return;
            }
            if (n != screen_number) {
                mode_change = true;
                program_image = n;
            }
        } else if ((mode >= 3 && mode <= 6) || mode > 13) {
            error_raise(kErrorIllegalFunctionCall);
            return;
        } else {
            mode_change = screen_number == 0 || mode != image_record(screen_number)->mode ||
                          pending_width.columns != -1 || pending_width.rows != -1 || pending_width.font != -1;
        }
    }
    if ((active_given && (page_active < 0 || page_active > kScreenMaxPage)) ||
        (visual_given && (page_visual < 0 || page_visual > kScreenMaxPage))) {
        error_raise(kErrorIllegalFunctionCall);
        return;
    }
    if (active_given && !visual_given) {
        page_visual = page_active;
        visual_given = true;
    }
    if (screen_untouched_default && !plain_text_mode) screen_untouched_default = 0;

    if (!mode_change) {
        bool page_change = false;
        if (active_given) {
            const int32_t n = screen_page_image(page_active);
            if (n == 0) return;
            page_change = n != current_images.destination_number || n != current_images.source_number;
        }
        if (visual_given) {
            const int32_t n = screen_page_image(page_visual);
            if (n == 0) return;
            page_change = page_change || n != current_images.display_number.load();
        }
        if (!page_change) return;
    }

    const bool lock = mode_change && screen_lock_wanted();
    if (lock) screen_display_lock_take();
    display_invalidate();

    if (mode_change) {
        const TextSize old = screen_old_text_size();
        screen_dispose_pages();
        if (program_image != 0) {
            screen_make_page0(program_image);
            screen_program_image = program_image;
        } else {
            switch (mode) {
            case 13: {
                uint8_t* video = EmulatedMemory + kVideoGraphicsAddress;
                std::memset(video, 0, kVideoGraphicsBytes);
                screen_make_page0(image_init_record(video, 320, 200, 13));
                break;
            }
            case 12:
            case 11:
                screen_make_page0(image_create(640, 480, mode));
                if (old.columns == 80 && old.rows == 60) image_apply_font(current_images.destination, 8);
                break;
            case 10:
            case 9:
                screen_make_page0(image_create(640, 350, mode));
                if (old.columns == 80 && old.rows == 43) image_apply_font(current_images.destination, 8);
                break;
            case 8:
            case 2:
                screen_make_page0(image_create(640, 200, mode));
                break;
            case 7:
            case 1:
                screen_make_page0(image_create(320, 200, mode));
                break;
            default:
                screen_build_text(old);
                break;
            }
        }
        current_images.destination->draw_angle = 0.0;
        current_images.destination->draw_scale = 1.0;
        screen_last_active_page = 0;
    }

    if (active_given) {
        const int32_t n = screen_page_image(page_active);
        if (n != 0) {
            if (n != current_images.destination_number || n != current_images.source_number) {
                screen_select_destination(n);
                screen_select_source(n);
                screen_reset_page_window();
            }
            if (page_active != screen_last_active_page) {
                ImageRecord* image = image_record(n);
                const int32_t last = screen_last_active_page < page_table.length
                                         ? page_table.entries[screen_last_active_page]
                                         : 0;
                if (!image->is_text && last != 0 && last != n) screen_take_graphics_state(image, image_record(last));
                screen_last_active_page = page_active;
            }
        }
    }
    if (visual_given && !error_pending()) {
        const int32_t n = screen_page_image(page_visual);
        if (n != 0 && n != current_images.display_number.load()) {
            screen_select_display(n);
            screen_reset_page_window();
        }
    }

    if (lock) screen_display_lock_release();
    if (mode_change) {
        screen_key_line_force();
        screen_key_line_refresh();
    }
}

void screen_startup() {
    image_table_init();
    screen_mode(0, 0, 0, kScreenPassedMode);
    screen_untouched_default = 1;
}

// ---------------------------------------------------------------------------------------
// WIDTH
// ---------------------------------------------------------------------------------------

namespace {

int32_t text_font_for(int32_t columns, int32_t rows) {
    int32_t font = rows >= 50 ? 8 : rows >= 43 ? 14 : 16;
    if (columns <= 40) font += 1;
    return font;
}

// Drops every screen page but page 0; selections on dropped pages move to page 0.
void screen_keep_only_page0() {
    const int32_t screen = page_table.entries[0];
    for (int32_t page = page_table.length - 1; page >= 1; --page) {
        const int32_t n = page_table.entries[page];
        if (n == 0) continue;
        if (current_images.destination_number == n) screen_select_destination(screen);
        if (current_images.source_number == n) screen_select_source(screen);
        if (current_images.display_number.load() == n) screen_select_display(screen);
        page_table.entries[page] = 0;
        image_dispose(n);
    }
    page_table.length = 1;
}

void screen_width_graphics(int32_t columns, int32_t rows, uint32_t passed) {
    const bool columns_given = (passed & 1u) != 0;
    const bool rows_given = (passed & 2u) != 0;
    const int32_t screen_number = page_table.entries[0];
    ImageRecord* screen = image_record(screen_number);
    if (!columns_given) columns = image_text_columns(screen);
    if (!rows_given) rows = image_text_rows(screen);
    const int32_t w = screen->width;
    const int32_t h = screen->height;
    const int32_t mode = screen->mode;
    int32_t font = 0;
    if (columns * 8 == w) {
        if (rows * 8 == h) {
            font = 8;
        } else if ((mode == 9 || mode == 10) && rows * 14 == h) {
            font = 14;
        } else if ((mode == 9 || mode == 10) && rows == 43 && h == 350) {
            font = 8;
        } else if ((mode == 11 || mode == 12) && rows * 16 == h) {
            font = 16;
        }
    }
    if (font != 0) {
        screen_untouched_default = 0;
        if (screen->font == font) return;
        const bool lock = screen_lock_wanted();
        if (lock) screen_display_lock_take();
        screen_keep_only_page0();
        image_apply_font(screen, font);
        display_invalidate();
        if (lock) screen_display_lock_release();
        return;
    }
    const bool columns_ok = !columns_given || columns == 40 || columns == 80;
    const bool rows_ok = !rows_given || rows == 25 || rows == 43 || rows == 50;
    if (!columns_ok || !rows_ok || (!columns_given && !rows_given)) {
        error_raise(kErrorIllegalFunctionCall);
        return;
    }
    screen_untouched_default = 0;
    // Both values given: the font follows from them, so none of them is lost.
    if (columns_given && rows_given) {
        pending_width = PendingWidth{columns, rows, text_font_for(columns, rows)};
    } else {
        pending_width = PendingWidth{columns_given ? columns : -1, rows_given ? rows : -1, -1};
    }
    screen_mode(0, 0, 0, kScreenPassedMode);
}

}  // namespace

void screen_width(int32_t columns, int32_t rows, uint32_t passed) {
    if (error_pending()) return;
    const bool columns_given = (passed & 1u) != 0;
    const bool rows_given = (passed & 2u) != 0;
    // The size fields hold 16 bits; larger sizes cannot be represented.
    if ((columns_given && (columns < 1 || columns > 65535)) || (rows_given && (rows < 1 || rows > 65535))) {
        error_raise(kErrorIllegalFunctionCall);
        return;
    }
    const ImageRecord* image = current_images.destination;
    if (image == nullptr) {
        error_raise(kErrorIllegalFunctionCall);
        return;
    }
    if (!image->is_text) {
        screen_width_graphics(columns, rows, passed);
        return;
    }
    if (!columns_given) columns = image->width;
    if (!rows_given) rows = image->height;
    const int32_t font = text_font_for(columns, rows);
    screen_untouched_default = 0;
    if (font == image->font && columns == image->width && rows == image->height) return;
    pending_width = PendingWidth{columns, rows, font};
    screen_mode(0, 0, 0, kScreenPassedMode);
}
