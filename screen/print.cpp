// Character output: print_string with control characters, wrapping, scrolling and glyphs.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "display/fonts.h"
#include "errors/errors.h"
#include "graphics/graphics.h"
#include "platform/platform.h"
#include "screen/private/screen_private.h"
#include "screen/screen.h"
#include "sound/sound.h"
#include "strings/strings.h"

uint8_t print_control_chars = 0;
uint8_t print_raw = 0;
ScreenGlyphRenderer screen_glyph_renderer = nullptr;

namespace {

constexpr uint32_t kBellDelayMs = 250;
constexpr double kBellFrequencyHz = 783.99;
constexpr double kBellDurationSeconds = 0.2;

uint8_t* cell_at(ImageRecord* image, int32_t row, int32_t column) {
    const size_t index = static_cast<size_t>(row - 1) * image->width + static_cast<size_t>(column - 1);
    return image->pixels + index * 2;
}

void cursor_set(ImageRecord* image, int32_t x, int32_t y) {
    image_field_store(image->cursor_x, static_cast<int16_t>(x));
    image_field_store(image->cursor_y, static_cast<int16_t>(y));
}

void cursor_set_x(ImageRecord* image, int32_t x) { image_field_store(image->cursor_x, static_cast<int16_t>(x)); }

void wrap_set(ImageRecord* image, uint8_t state) { image_field_store(image->wrap_state, state); }

// Draws a built-in glyph on a graphics image by the image's print mode; double-width
// fonts draw every pixel twice across.
void put_builtin_glyph(ImageRecord* image, uint8_t code, int32_t x0, int32_t y0) {
    const uint8_t* glyph = font_builtin_glyph(image->font, code);
    if (glyph == nullptr) return;
    const int32_t rows = font_cell_height(image->font);
    const int32_t repeat = font_cell_width(image->font) >= 16 ? 2 : 1;
    const uint32_t fg = image->fg_color;
    const uint32_t bg = image->bg_color;
    const uint8_t mode = image->print_mode;
    for (int32_t r = 0; r < rows; ++r) {
        const int32_t py = y0 + r;
        if (py < 0 || py >= image->height) continue;
        for (int32_t c = 0; c < 8; ++c) {
            const bool on = glyph[r * 8 + c] != 0;
            if (on && !(mode & 1)) continue;
            if (!on && !(mode & 2)) continue;
            for (int32_t k = 0; k < repeat; ++k) {
                const int32_t px = x0 + c * repeat + k;
                if (px < 0 || px >= image->width) continue;
                graphics_write_pixel_on(image, px, py, on ? fg : bg);
            }
        }
    }
}

// Loaded fonts render solid on indexed images, on 32-bit images without blending and
// for fonts that ask for it; otherwise with 256 coverage levels.
bool glyph_solid(const ImageRecord* image) {
    return image->bits_per_pixel < 32 || image->no_blend || (font_table.style[image->font] & kFontStyleDontBlend);
}

bool glyph_render(const ImageRecord* image, uint32_t code, GlyphBitmap& glyph) {
    if (screen_glyph_renderer == nullptr || font_is_builtin(image->font)) return false;
    if (!screen_glyph_renderer(image->font, code, glyph_solid(image), glyph)) return false;
    return glyph.width > 0 && glyph.height > 0 &&
           glyph.coverage.size() >= static_cast<size_t>(glyph.width) * static_cast<size_t>(glyph.height);
}

uint32_t channel(uint32_t colour, int shift) { return (colour >> shift) & 0xFF; }

// One pixel of a coverage-rendered glyph by the print mode (32-bit images).
void put_coverage_pixel(ImageRecord* image, int32_t px, int32_t py, uint32_t q, uint32_t fg, uint32_t bg) {
    const uint8_t mode = image->print_mode;
    const uint32_t fa = fg >> 24;
    const uint32_t ba = bg >> 24;
    if (mode == 1) {
        if (q == 0) return;
        graphics_write_pixel_on(image, px, py, (fg & 0xFFFFFF) | ((q * (fa + 1) / 256) << 24));
        return;
    }
    if (mode == 2) {
        if (q == 255) return;
        graphics_write_pixel_on(image, px, py, (bg & 0xFFFFFF) | ((((ba + 1) * (255 - q)) / 256) << 24));
        return;
    }
    const double v = static_cast<double>(255 - q) / 255.0;
    const double alpha = fa + (static_cast<double>(ba) - fa) * v;
    const double ratio = fa == 0 ? 100000.0 : static_cast<double>(ba) / fa;
    double k = v * ratio;
    if (k > 1.0) k = 1.0;
    uint32_t colour = static_cast<uint32_t>(std::lround(alpha)) << 24;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double f = channel(fg, shift);
        const double b = channel(bg, shift);
        colour |= static_cast<uint32_t>(std::lround(f + (b - f) * k)) << shift;
    }
    graphics_write_pixel_on(image, px, py, colour);
}

void put_loaded_glyph(ImageRecord* image, const GlyphBitmap& glyph, int32_t x0, int32_t y0) {
    const int32_t font_height = font_table.height[image->font];
    const int32_t fixed = font_table.width[image->font];
    const int32_t columns = std::min(fixed > 0 ? fixed : glyph.width, glyph.width);
    const int32_t rows = std::min(font_height, glyph.height - 1);
    const bool solid = glyph_solid(image);
    const uint32_t fg = image->fg_color;
    const uint32_t bg = image->bg_color;
    for (int32_t r = 0; r < rows; ++r) {
        const int32_t py = y0 + r;
        if (py < 0 || py >= image->height) continue;
        const uint8_t* line = glyph.coverage.data() + static_cast<size_t>(r + 1) * glyph.width;
        for (int32_t c = 0; c < columns; ++c) {
            const int32_t px = x0 + c;
            if (px < 0 || px >= image->width) continue;
            const uint32_t q = line[c];
            if (solid) {
                const bool on = q != 0;
                if (on && (image->print_mode & 1)) graphics_write_pixel_on(image, px, py, fg);
                if (!on && (image->print_mode & 2)) graphics_write_pixel_on(image, px, py, bg);
            } else {
                put_coverage_pixel(image, px, py, q, fg, bg);
            }
        }
    }
}

// Top-left pixel of the cursor's character cell on a graphics image.
void cursor_pixel(const ImageRecord* image, int32_t& x0, int32_t& y0) {
    const int32_t fw = font_cell_width(image->font);
    x0 = fw > 0 ? (image->cursor_x - 1) * fw : image->cursor_x - 1;
    y0 = (image->cursor_y - 1) * image_font_height(image);
}

int32_t glyph_width_on(const ImageRecord* image, uint32_t code) {
    const int32_t fixed = font_cell_width(image->font);
    if (fixed > 0) return fixed;
    GlyphBitmap glyph;
    return glyph_render(image, code, glyph) ? glyph.width : 0;
}

void print_char_code(ImageRecord*& d, uint32_t code, bool last, int32_t end_line, bool& ended_by_wrap);

}  // namespace

// ---------------------------------------------------------------------------------------
// Row fills shared with CLS and the text window
// ---------------------------------------------------------------------------------------

void screen_fill_text_rows(ImageRecord* image, int32_t first_row, int32_t last_row, uint16_t cell) {
    if (first_row < 1) first_row = 1;
    if (last_row > image->height) last_row = image->height;
    for (int32_t row = first_row; row <= last_row; ++row) {
        uint8_t* p = cell_at(image, row, 1);
        for (int32_t column = 0; column < image->width; ++column) screen_cell_store(p + column * 2, cell);
    }
}

void screen_fill_graphics_rows(ImageRecord* image, int32_t first_row, int32_t last_row, uint32_t colour) {
    const int32_t fh = image_font_height(image);
    int32_t y1 = (first_row - 1) * fh;
    int32_t y2 = last_row * fh - 1;
    if (y1 < 0) y1 = 0;
    if (y2 >= image->height) y2 = image->height - 1;
    if (y1 > y2) return;
    const uint8_t saved = image->no_blend;
    image->no_blend = 1;
    graphics_fill_rect_on(image, 0, y1, image->width - 1, y2, colour);
    image->no_blend = saved;
}

// ---------------------------------------------------------------------------------------
// Output
// ---------------------------------------------------------------------------------------

void print_newline() {
    if (error_pending()) return;
    ImageRecord* d = current_images.destination;
    if (d == nullptr) return;
    const int32_t y = d->cursor_y + 1;
    if (y <= d->view_bottom) {
        cursor_set(d, 1, y);
        return;
    }
    const int32_t rows = image_text_rows(d);
    const int32_t top = d->view_top < 1 ? 1 : d->view_top;
    const int32_t bottom = d->view_bottom > rows ? rows : d->view_bottom;
    if (top <= bottom) {
        if (d->is_text) {
            // One overlapping move of the window, a cell at a time so the display loop
            // reading the page never races the copy.
            uint8_t* to = cell_at(d, top, 1);
            const uint8_t* from = cell_at(d, top + 1, 1);
            const size_t cells = static_cast<size_t>(bottom - top) * d->width;
            for (size_t i = 0; i < cells; ++i) screen_cell_store(to + i * 2, screen_cell_load(from + i * 2));
            screen_fill_text_rows(d, bottom, bottom, screen_cell_value(32, d->fg_color, d->bg_color));
        } else {
            const int32_t fh = image_font_height(d);
            const size_t row_bytes = static_cast<size_t>(d->width) * d->bytes_per_pixel;
            uint8_t* to = d->pixels + static_cast<size_t>(top - 1) * fh * row_bytes;
            const size_t bytes = static_cast<size_t>(bottom - top) * fh * row_bytes;
            std::memmove(to, to + fh * row_bytes, bytes);
            screen_fill_graphics_rows(d, bottom, bottom, d->bg_color);
        }
    }
    // An image smaller than one text row has no window; the cursor stays on row 1.
    cursor_set(d, 1, bottom >= 1 ? bottom : 1);
}

void print_put_char(uint32_t code) {
    if (error_pending()) return;
    ImageRecord* d = current_images.destination;
    if (d == nullptr) return;
    if (d->is_text) {
        if (d->cursor_y < 1 || d->cursor_y > d->height || d->cursor_x < 1 || d->cursor_x > d->width) return;
        screen_cell_store(cell_at(d, d->cursor_y, d->cursor_x),
                          screen_cell_value(static_cast<uint8_t>(code), d->fg_color, d->bg_color));
        return;
    }
    int32_t x0, y0;
    cursor_pixel(d, x0, y0);
    if (font_is_builtin(d->font)) {
        put_builtin_glyph(d, static_cast<uint8_t>(code), x0, y0);
        return;
    }
    GlyphBitmap glyph;
    if (glyph_render(d, code, glyph)) put_loaded_glyph(d, glyph, x0, y0);  // nothing for an unrenderable glyph
}

int32_t print_glyph_width(uint32_t code) {
    const ImageRecord* d = current_images.destination;
    if (d == nullptr) return 0;
    return glyph_width_on(d, code);
}

namespace {

// Pixel width of bytes printed on an image in its font.
int32_t print_text_width_on(const ImageRecord* image, const uint8_t* text, int32_t length) {
    const int32_t fixed = font_cell_width(image->font);
    if (fixed > 0) return length * fixed;
    const bool unicode = (font_table.style[image->font] & kFontStyleUnicode) != 0;
    const int32_t step = unicode ? 4 : 1;
    int32_t total = 0;
    for (int32_t i = 0; i + step <= length; i += step) {
        uint32_t code = text[i];
        if (unicode) std::memcpy(&code, text + i, 4);
        total += glyph_width_on(image, code);
    }
    return total;
}

}  // namespace

int32_t print_text_width(const BasicString* text, int32_t handle, int32_t handle_given) {
    if (error_pending()) return 0;
    const int32_t n = handle_given ? image_resolve(handle) : current_images.destination_number;
    if (n == 0) return 0;
    const ImageRecord* image = image_record(n);
    if (image->is_text) {
        error_raise(kErrorIllegalFunctionCall);
        return 0;
    }
    if (text == nullptr || text->length <= 0) return 0;
    return print_text_width_on(image, text->text, text->length);
}

void print_set_control_chars(int32_t mode) { print_control_chars = mode == 2 ? 1 : 0; }

namespace {

// Step for one printable character: draw, advance, and wrap or hold at the right edge.
void print_printable(ImageRecord* d, uint32_t code, bool last, int32_t end_line, bool& ended_by_wrap) {
    const bool fixed = image_font_width(d) != 0;
    int32_t w = 1;
    if (fixed) {
        print_put_char(code);
    } else {
        // Rendered once, both for its width and for drawing.
        GlyphBitmap glyph;
        const bool rendered = glyph_render(d, code, glyph);
        w = rendered ? glyph.width : 0;
        if (d->cursor_x + w > d->width) print_newline();
        if (rendered) {
            int32_t x0, y0;
            cursor_pixel(d, x0, y0);
            put_loaded_glyph(d, glyph, x0, y0);
        }
    }
    cursor_set_x(d, d->cursor_x + w);
    if (!d->is_text) {
        const int32_t fw = font_cell_width(d->font);
        const int32_t cw = fw > 0 ? fw : 1;
        if (d->width - cw < cw * (d->cursor_x - 1)) {
            if (end_line || !last) {
                print_newline();
                ended_by_wrap = true;
            } else {
                cursor_set_x(d, d->width / cw);
                wrap_set(d, 1);
                ended_by_wrap = false;
            }
            return;
        }
    } else if (d->cursor_x > d->width) {
        if (end_line || !last) {
            print_newline();
            ended_by_wrap = true;
        } else {
            cursor_set_x(d, d->cursor_x - 1);
            wrap_set(d, 1);
            ended_by_wrap = false;
        }
        return;
    }
    ended_by_wrap = false;
}

void print_tab(ImageRecord* d, bool last, int32_t end_line, bool& ended_by_wrap) {
    if (image_font_width(d) != 0) {
        // Spaces up to the next column after a multiple of 8. A tab ends at the right
        // edge: held there it would print on the same cell for ever, and on a row
        // narrower than 8 columns it would never reach a tab stop.
        for (;;) {
            const int32_t column = d->cursor_x;
            print_printable(d, 32, last, end_line, ended_by_wrap);
            if (column % 8 == 0 || d->wrap_state != 0 || ended_by_wrap || error_pending()) break;
        }
        return;
    }
    const int32_t fh = image_font_height(d);
    const int32_t x = d->cursor_x - 1;
    const int32_t t = (x / 64 + 1) * 64;
    const int32_t y1 = (d->cursor_y - 1) * fh;
    const int32_t y2 = d->cursor_y * fh - 1;
    const bool row_inside = y1 >= 0 && y2 < d->height && x >= 0;
    if (t < d->width) {
        if (row_inside && x <= t - 1) graphics_fill_rect_on(d, x, y1, t - 1, y2, d->bg_color);
        // cursor_x - 1 is the pixel column, so the next character starts at pixel t.
        cursor_set_x(d, t + 1);
        ended_by_wrap = false;
    } else {
        if (row_inside && x < d->width) graphics_fill_rect_on(d, x, y1, d->width - 1, y2, d->bg_color);
        print_newline();
        ended_by_wrap = true;
    }
}

void print_bell() {
    // The tone of BEEP, queued without waiting for it.
    sound_queue_tone(kBellFrequencyHz, kBellDurationSeconds, false);
    platform_sleep_ms(kBellDelayMs);
}

void print_char_code(ImageRecord*& d, uint32_t code, bool last, int32_t end_line, bool& ended_by_wrap) {
    if (print_control_chars || print_raw) {
        print_printable(d, code, last, end_line, ended_by_wrap);
        return;
    }
    const int32_t columns = image_text_columns(d);
    const int32_t x = d->cursor_x;
    const int32_t y = d->cursor_y;
    switch (code) {
    case 28:
        if (y < d->view_bottom || x < columns) {
            if (x + 1 > columns) {
                cursor_set(d, 1, y + 1);
            } else {
                cursor_set_x(d, x + 1);
            }
        }
        break;
    case 29:
        if ((y != d->view_top && y <= d->view_bottom) || x != 1) {
            if (x - 1 < 1) {
                // Never above the first row of the page.
                if (y > 1) cursor_set(d, columns, y - 1);
            } else {
                cursor_set_x(d, x - 1);
            }
        }
        break;
    case 30:
        if (d->view_top < y && y <= d->view_bottom) cursor_set(d, x, y - 1);
        break;
    case 31:
        if (d->view_top <= y && y < d->view_bottom) cursor_set(d, x, y + 1);
        break;
    case 12:
        screen_cls(0, 0, 0);
        d = current_images.destination;
        break;
    case 11:
        cursor_set(d, 1, d->view_top);
        break;
    case 9:
        print_tab(d, last, end_line, ended_by_wrap);
        return;
    case 7:
        print_bell();
        break;
    case 10:
    case 13:
        print_newline();
        break;
    default:
        print_printable(d, code, last, end_line, ended_by_wrap);
        return;
    }
    ended_by_wrap = false;
}

}  // namespace

void print_bytes(const uint8_t* text, int32_t length, int32_t end_line) {
    if (error_pending()) return;
    ImageRecord* d = current_images.destination;
    if (d == nullptr) return;
    if (length < 0) length = 0;
    if (d->is_console) {
        if (length > 0) std::fwrite(text, 1, static_cast<size_t>(length), stdout);
        if (end_line) std::fputc('\n', stdout);
        std::fflush(stdout);
        return;
    }
    if (d->wrap_state != 0) {
        if (length > 0) {
            wrap_set(d, 0);
            print_newline();
        } else if (end_line) {
            wrap_set(d, 0);
        }
    }
    bool ended_by_wrap = false;
    const bool unicode = (font_table.style[d->font] & kFontStyleUnicode) != 0;
    const int32_t step = unicode ? 4 : 1;
    for (int32_t i = 0; i + step <= length && !error_pending(); i += step) {
        uint32_t code = text[i];
        if (unicode) std::memcpy(&code, text + i, 4);
        const bool last = i + step + step > length;
        print_char_code(d, code, last, end_line, ended_by_wrap);
    }
    if (end_line && !ended_by_wrap) print_newline();
}

void print_string(const BasicString* text, int32_t end_line) {
    if (text == nullptr) {
        print_bytes(nullptr, 0, end_line);
        return;
    }
    print_bytes(text->text, text->length, end_line);
}

void print_make_fit_bytes(const uint8_t* text, int32_t length) {
    if (error_pending()) return;
    ImageRecord* d = current_images.destination;
    if (d == nullptr || d->wrap_state != 0 || d->cursor_x == 1) return;
    if (d->is_text) {
        if (d->cursor_x + length - 1 <= d->width) return;
    } else {
        const int32_t fw = font_cell_width(d->font);
        const int32_t cw = fw > 0 ? fw : 1;
        const int32_t text_width = print_text_width_on(d, text, length);
        if ((d->cursor_x - 1) * cw + text_width <= d->width) return;
    }
    print_newline();
}

void print_make_fit(const BasicString* text) {
    if (text == nullptr) {
        print_make_fit_bytes(nullptr, 0);
        return;
    }
    print_make_fit_bytes(text->text, text->length);
}
