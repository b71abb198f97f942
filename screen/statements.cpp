// The screen statements: the PRINT comma, CLS, COLOR, LOCATE, VIEW PRINT and the key line.
#include <array>
#include <cstring>
#include <string>

#include "display/fonts.h"
#include "errors/errors.h"
#include "frame/frame.h"
#include "graphics/graphics.h"
#include "screen/private/screen_private.h"
#include "screen/screen.h"

namespace {

constexpr int32_t kZoneWidth = 14;
constexpr int32_t kZonePixels = 112;

void raise_illegal() { error_raise(kErrorIllegalFunctionCall); }

// ---------------------------------------------------------------------------------------
// The function-key line
// ---------------------------------------------------------------------------------------

struct KeyLineState {
    uint8_t on;
    uint8_t drawn;
    uint8_t force;
    std::array<std::string, 32> texts;  // keys 1..10 at their numbers, 11 and 12 at 30 and 31
};
KeyLineState key_line{};

int32_t key_text_entry(int32_t key) { return key <= 10 ? key : key + 19; }

// Substitute glyphs for control codes in a key's text.
uint8_t key_line_substitute(uint8_t c) {
    switch (c) {
    case 7: return 14;
    case 8: return 254;
    case 9: return 26;
    case 10: return 60;
    case 11: return 127;
    case 12: return 22;
    case 13: return 27;
    case 28: return 16;
    case 29: return 17;
    case 30: return 24;
    case 31: return 25;
    default: return c;
    }
}

// The cursor fields are read by the display loop, so they are written atomically.
void key_line_place(ImageRecord* page, int32_t x, int32_t y, uint8_t wrap) {
    image_field_store(page->cursor_x, static_cast<int16_t>(x));
    image_field_store(page->cursor_y, static_cast<int16_t>(y));
    image_field_store(page->wrap_state, wrap);
}

void key_line_print(const std::string& text) {
    print_raw = 1;
    print_bytes(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()), 0);
    print_raw = 0;
}

void key_line_draw_labels(ImageRecord* page, int32_t rows, uint32_t fg, uint32_t bg) {
    const int32_t columns = image_text_columns(page);
    if (image_font_width(page) == 0 && !page->is_text) return;  // pixel layout needs loaded-font metrics
    int32_t lw = columns / 12;
    int32_t usable = lw * 12;
    if (lw <= 7) {
        lw = 8;
        usable = (columns / 8) * 8;
    }
    if (columns < 8) lw = usable = columns;
    const uint32_t reverse_fg = bg == 0 ? 0 : 7;
    const uint32_t reverse_bg = bg == 0 ? 7 : 0;
    for (int32_t key = 1; key <= 12; ++key) {
        const int32_t start = (key - 1) * lw + 1;
        if (start - 1 >= usable) break;
        const int32_t end = key * lw;  // the label ends before this column
        key_line_place(page, start, rows, 0);
        page->fg_color = fg;
        page->bg_color = bg;
        std::string number = std::to_string(key);
        const int32_t room = end - start;
        if (static_cast<int32_t>(number.size()) > room) number.resize(room > 0 ? room : 0);
        key_line_print(number);
        const std::string& assigned = key_line.texts[key_text_entry(key)];
        if (assigned.empty()) continue;
        const int32_t left = end - page->cursor_x;
        if (left <= 0 || page->wrap_state != 0) continue;
        std::string shown;
        for (char c : assigned) {
            if (static_cast<int32_t>(shown.size()) >= left) break;
            shown.push_back(static_cast<char>(key_line_substitute(static_cast<uint8_t>(c))));
        }
        shown.resize(left, ' ');
        if (page->is_text) {
            page->fg_color = reverse_fg;
            page->bg_color = reverse_bg;
        }
        key_line_print(shown);
    }
}

void screen_clear_text_window(ImageRecord* d, uint32_t fill) {
    const uint16_t cell = screen_cell_value(32, d->fg_color, fill);
    screen_fill_text_rows(d, d->view_top, d->view_bottom, cell);
}

void screen_clear_graphics(ImageRecord* d, uint32_t fill, bool viewport_only) {
    int32_t x1 = 0, y1 = 0, x2 = d->width - 1, y2 = d->height - 1;
    if (viewport_only) {
        x1 = d->view_x1 < 0 ? 0 : d->view_x1;
        y1 = d->view_y1 < 0 ? 0 : d->view_y1;
        x2 = d->view_x2 >= d->width ? d->width - 1 : d->view_x2;
        y2 = d->view_y2 >= d->height ? d->height - 1 : d->view_y2;
    }
    if (x1 <= x2 && y1 <= y2) {
        const uint8_t saved = d->no_blend;
        d->no_blend = 1;
        graphics_fill_rect_on(d, x1, y1, x2, y2, fill);
        d->no_blend = saved;
    }
    const float vw = static_cast<float>(d->view_x2 - d->view_x1 + 1);
    const float vh = static_cast<float>(d->view_y2 - d->view_y1 + 1);
    if (d->coord_mode == 2) {
        d->last_x = (vw / d->scale_x) / 2.0f + d->offset_x;
        d->last_y = (vh / d->scale_y) / 2.0f + d->offset_y;
    } else {
        d->last_x = vw / 2.0f;
        d->last_y = vh / 2.0f;
    }
}

}  // namespace

void screen_key_line_force() { key_line.force = 1; }

void screen_key_line_show(int32_t on) {
    key_line.on = on ? 1 : 0;
    screen_key_line_refresh();
}

void screen_key_set_text(int32_t key, const uint8_t* text, int32_t length) {
    if (key < 1 || key > 12 || length < 0) return;
    key_line.texts[key_text_entry(key)].assign(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
}

void screen_key_line_refresh() {
    if (error_pending()) return;
    if (key_line.force) {
        key_line.force = 0;
        if (!key_line.on) return;
    } else if (key_line.on == key_line.drawn) {
        return;
    }
    key_line.drawn = key_line.on;
    if (page_table.entries == nullptr || page_table.entries[0] == 0) return;
    const int32_t saved_destination = current_images.destination_number;
    const int32_t page_number = page_table.entries[0];
    ImageRecord* page = image_record(page_number);
    screen_select_destination(page_number);
    const int16_t saved_x = page->cursor_x;
    const int16_t saved_y = page->cursor_y;
    const uint8_t saved_wrap = page->wrap_state;
    const uint32_t saved_fg = page->fg_color;
    const uint32_t saved_bg = page->bg_color;
    const int32_t rows = image_text_rows(page);
    if (rows >= 1) {
        if (page->is_text) {
            key_line_place(page, 1, rows, 0);
            const std::string blank(static_cast<size_t>(page->width), ' ');
            key_line_print(blank);
        } else {
            const uint32_t fill = page->bits_per_pixel >= 32 ? (page->bg_color | 0xFF000000u) : page->bg_color;
            screen_fill_graphics_rows(page, rows, rows, fill);
        }
        if (key_line.on) key_line_draw_labels(page, rows, saved_fg, saved_bg);
    }
    key_line_place(page, saved_x, saved_y, saved_wrap);
    page->fg_color = saved_fg;
    page->bg_color = saved_bg;
    screen_select_destination(saved_destination);
}

// ---------------------------------------------------------------------------------------
// PRINT comma
// ---------------------------------------------------------------------------------------

void print_comma() {
    if (error_pending()) return;
    ImageRecord* d = current_images.destination;
    if (d == nullptr) return;
    if (d->wrap_state != 0) {
        print_newline();
        image_field_store(d->wrap_state, static_cast<uint8_t>(0));
        return;
    }
    static const uint8_t kSpace = ' ';
    if (d->is_text || image_font_width(d) != 0) {
        const int32_t columns = image_text_columns(d);
        for (;;) {
            print_bytes(&kSpace, 1, 0);
            if (error_pending()) return;
            const int32_t x = d->cursor_x;
            if (x == 1 || ((x - 1) % kZoneWidth == 0 && x <= columns - 13) || x >= columns) return;
        }
    }
    const int32_t fh = image_font_height(d);
    const int32_t x = d->cursor_x - 1;
    const int32_t t = (x / kZonePixels) * kZonePixels + kZonePixels;
    const int32_t y1 = (d->cursor_y - 1) * fh;
    const int32_t y2 = d->cursor_y * fh - 1;
    const bool row_inside = y1 >= 0 && y2 < d->height && x >= 0;
    if (t >= d->width) {
        if (row_inside && x < d->width) graphics_fill_rect_on(d, x, y1, d->width - 1, y2, d->bg_color);
        print_newline();
    } else {
        if (row_inside && x <= t - 1) graphics_fill_rect_on(d, x, y1, t - 1, y2, d->bg_color);
        // cursor_x - 1 is the pixel column, so the next character starts at pixel t.
        image_field_store(d->cursor_x, static_cast<int16_t>(t + 1));
    }
}

// ---------------------------------------------------------------------------------------
// CLS
// ---------------------------------------------------------------------------------------

void screen_cls(int32_t kind, uint32_t colour, uint32_t passed) {
    if (error_pending()) return;
    ImageRecord* d = current_images.destination;
    if (d == nullptr) return;
    const bool kind_given = (passed & 1u) != 0;
    const bool colour_given = (passed & 2u) != 0;
    uint32_t fill = d->bg_color;
    if (colour_given) {
        if (d->bits_per_pixel < 32 && colour > d->color_mask) {
            raise_illegal();
            return;
        }
        fill = colour;
    }
    if (kind_given && (kind < 0 || kind > 2)) {
        raise_illegal();
        return;
    }
    image_field_store(d->cursor_y, d->view_top);
    image_field_store(d->cursor_x, static_cast<int16_t>(1));
    // A cursor held on the last column belongs to the text just cleared.
    image_field_store(d->wrap_state, static_cast<uint8_t>(0));
    d->draw_angle = 0.0;
    d->draw_scale = 1.0;
    const uint16_t cell = screen_cell_value(32, d->fg_color, fill);
    if (!kind_given) {
        if (d->is_text) {
            screen_clear_text_window(d, fill);
            screen_fill_text_rows(d, d->height, d->height, cell);
            screen_key_line_force();
            screen_key_line_refresh();
            return;
        }
        screen_clear_graphics(d, fill, true);
    } else if (kind == 0) {
        if (d->is_text) {
            screen_fill_text_rows(d, 1, d->height, cell);
            screen_key_line_force();
            screen_key_line_refresh();
            return;
        }
        screen_clear_graphics(d, fill, false);
    } else if (kind == 1) {
        if (d->is_text) return;
        screen_clear_graphics(d, fill, true);
    } else {
        if (d->is_text) {
            screen_clear_text_window(d, fill);
        } else {
            screen_fill_graphics_rows(d, d->view_top, d->view_bottom, fill);
        }
        return;
    }
    screen_key_line_force();
    screen_key_line_refresh();
}

// ---------------------------------------------------------------------------------------
// COLOR
// ---------------------------------------------------------------------------------------

void screen_color(uint32_t fore, uint32_t back, uint32_t border, uint32_t passed) {
    (void)border;
    if (error_pending()) return;
    ImageRecord* d = current_images.destination;
    if (d == nullptr || (passed & 7u) == 0) return;
    const bool fore_given = (passed & 1u) != 0;
    const bool back_given = (passed & 2u) != 0;
    const bool border_given = (passed & 4u) != 0;
    struct Range {
        uint32_t fore_max, back_max;
        bool border_allowed;
    };
    Range range{};
    switch (d->mode) {
    case 0: range = {31, 15, true}; break;
    case 1: range = {15, 0xFFFFFFFFu, false}; break;
    case 2: range = {1, 15, false}; break;
    case 7:
    case 8: range = {15, 15, false}; break;
    case 9: range = {15, 63, false}; break;
    case 10: range = {3, 8, false}; break;
    case 11: range = {1, 1, false}; break;
    case 12: range = {15, 15, false}; break;
    case 13:
    case 256: range = {255, 255, false}; break;
    default: range = {0xFFFFFFFFu, 0xFFFFFFFFu, false}; break;
    }
    if ((border_given && !range.border_allowed) || (fore_given && fore > range.fore_max) ||
        (back_given && back > range.back_max)) {
        raise_illegal();
        return;
    }
    uint32_t* palette = d->palette;
    const bool palette_needed = d->mode == 1 || (back_given && (d->mode == 2 || d->mode == 7 || d->mode == 8 ||
                                                                 d->mode == 9 || d->mode == 10));
    if (palette_needed && palette == nullptr) {
        raise_illegal();
        return;
    }
    switch (d->mode) {
    case 0:
        if (fore_given) d->fg_color = fore;
        if (back_given) d->bg_color = back & 7u;
        break;
    case 1:
        if (fore_given) image_field_store(palette[0], PaletteVga[fore]);
        if (back_given) {
            const int first = (back & 1u) ? 3 : 2;
            for (int i = 0; i < 3; ++i) image_field_store(palette[1 + i], PaletteVga[first + 2 * i]);
        }
        break;
    case 2:
    case 7:
    case 8:
        if (fore_given) d->fg_color = fore;
        if (back_given) image_field_store(palette[0], PaletteVga[back]);
        break;
    case 9:
        if (fore_given) d->fg_color = fore;
        if (back_given) image_field_store(palette[0], PaletteEga[back]);
        break;
    case 10:
        if (fore_given) d->fg_color = fore;
        if (back_given) image_field_store(palette[4], back);
        break;
    default:
        if (fore_given) d->fg_color = fore;
        if (back_given) d->bg_color = back;
        break;
    }
}

// ---------------------------------------------------------------------------------------
// LOCATE
// ---------------------------------------------------------------------------------------

namespace {

// The untouched default screen grows to 80 x 50 and keeps what it shows.
void screen_switch_to_50_rows() {
    uint8_t saved[4000];
    const uint8_t* buffer = EmulatedMemory + kVideoTextAddress;
    for (int i = 0; i < 4000; i += 2) {
        const uint16_t cell = screen_cell_load(buffer + i);
        std::memcpy(saved + i, &cell, 2);
    }
    const uint32_t fg = current_images.destination->fg_color;
    const uint32_t bg = current_images.destination->bg_color;
    screen_width(80, 50, 3);
    if (error_pending()) return;
    ImageRecord* screen = image_record(page_table.entries[0]);
    for (int i = 0; i < 4000; i += 2) {
        uint16_t cell;
        std::memcpy(&cell, saved + i, 2);
        screen_cell_store(screen->pixels + i, cell);
    }
    current_images.destination->fg_color = fg;
    current_images.destination->bg_color = bg;
}

}  // namespace

void screen_locate(int32_t row, int32_t column, int32_t cursor, int32_t start, int32_t stop, uint32_t passed) {
    if (error_pending()) return;
    ImageRecord* d = current_images.destination;
    if (d == nullptr) return;
    const bool row_given = (passed & 1u) != 0;
    const bool column_given = (passed & 2u) != 0;
    const bool cursor_given = (passed & 4u) != 0;
    const bool start_given = (passed & 8u) != 0;
    const bool stop_given = (passed & 16u) != 0;
    const int32_t rows = image_text_rows(d);
    const int32_t columns = image_text_columns(d);
    bool grow = false;
    if (row_given) {
        if (row < d->view_top) {
            raise_illegal();
            return;
        }
        if (row != rows && row > d->view_bottom) {
            const bool default_screen = screen_untouched_default && d->is_text &&
                                        (d->image_flags & kImageScreenPage) && d->width == 80;
            if (!default_screen) {
                raise_illegal();
                return;
            }
            screen_untouched_default = 0;
            if (row > 50) {
                raise_illegal();
                return;
            }
            grow = true;
        }
    }
    if ((column_given && (column < 1 || column > columns)) || (cursor_given && cursor != 0 && cursor != 1) ||
        (start_given && (start < 0 || start > 31)) || (stop_given && (stop < 0 || stop > 31))) {
        raise_illegal();
        return;
    }
    if (grow) {
        screen_switch_to_50_rows();
        if (error_pending()) return;
        d = current_images.destination;
    }
    if (row_given) {
        image_field_store(d->cursor_y, static_cast<int16_t>(row));
        image_field_store(d->wrap_state, static_cast<uint8_t>(0));
    }
    if (column_given) {
        image_field_store(d->cursor_x, static_cast<int16_t>(column));
        image_field_store(d->wrap_state, static_cast<uint8_t>(0));
    }
    if (!row_given && !column_given && d->wrap_state == 1) image_field_store(d->wrap_state, static_cast<uint8_t>(2));
    const bool on_screen = (d->image_flags & kImageScreenPage) != 0;
    if (cursor_given) {
        const uint8_t visible = cursor != 0 ? 1 : 0;
        if (on_screen) {
            for (int32_t page = 0; page < page_table.length; ++page) {
                if (page_table.entries[page] != 0) {
                    image_field_store(image_record(page_table.entries[page])->cursor_visible, visible);
                }
            }
        } else {
            image_field_store(d->cursor_visible, visible);
        }
    }
    if (start_given || stop_given) {
        if (start_given) image_field_store(d->cursor_start, static_cast<uint8_t>(start));
        if (stop_given) image_field_store(d->cursor_stop, static_cast<uint8_t>(stop));
        if (on_screen) {
            for (int32_t page = 0; page < page_table.length; ++page) {
                if (page_table.entries[page] == 0) continue;
                ImageRecord* p = image_record(page_table.entries[page]);
                image_field_store(p->cursor_start, d->cursor_start);
                image_field_store(p->cursor_stop, d->cursor_stop);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// VIEW PRINT
// ---------------------------------------------------------------------------------------

void screen_view_print(int32_t top, int32_t bottom, int32_t given) {
    if (error_pending()) return;
    ImageRecord* d = current_images.destination;
    if (d == nullptr) return;
    const int32_t rows = image_text_rows(d);
    if (given) {
        if (top < 1 || top > bottom || bottom > rows) {
            raise_illegal();
            return;
        }
    } else {
        top = 1;
        bottom = rows < 1 ? 1 : rows;
    }
    d->view_top = static_cast<int16_t>(top);
    d->view_bottom = static_cast<int16_t>(bottom);
    image_field_store(d->cursor_y, static_cast<int16_t>(top));
    image_field_store(d->cursor_x, static_cast<int16_t>(1));
    image_field_store(d->wrap_state, static_cast<uint8_t>(0));
}
