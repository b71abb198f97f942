// Frame composition into a 32-bit pixel buffer: text cells, cursor, blink, graphics pages.
#include "display/private/compose.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "display/fonts.h"
#include "screen/screen.h"

namespace {

// The program thread writes cells, pixels and palette entries while a frame reads
// them; relaxed atomic reads keep that a benign, well-defined race.
uint16_t load_cell(const uint8_t* cell) {
    return std::atomic_ref<uint16_t>(*reinterpret_cast<uint16_t*>(const_cast<uint8_t*>(cell)))
        .load(std::memory_order_relaxed);
}
uint8_t load_byte(const uint8_t* p) {
    return std::atomic_ref<uint8_t>(*const_cast<uint8_t*>(p)).load(std::memory_order_relaxed);
}
uint32_t load_word(const uint32_t* p) {
    return std::atomic_ref<uint32_t>(*const_cast<uint32_t*>(p)).load(std::memory_order_relaxed);
}
uint32_t load_pixel32(const uint8_t* p) {
    return load_word(reinterpret_cast<const uint32_t*>(p));
}

void load_palette(const uint32_t* palette, std::array<uint32_t, 256>& out) {
    for (size_t i = 0; i < out.size(); ++i) out[i] = palette ? load_word(palette + i) : 0;
}

constexpr int32_t kMaxCellWidth = 64;
constexpr int32_t kMaxCellHeight = 256;

// Glyph of a loaded font's character as cell_width x cell_height bytes (nonzero = glyph
// pixel); built-in glyphs are read in place by the caller.
bool display_glyph(int32_t font, uint8_t code, int32_t cell_width, int32_t cell_height, uint8_t* out) {
    if (!font_is_loaded(font)) return false;
    // Cells hold code page 437 characters, also on a page whose face takes code points.
    const bool unicode = (font_table.style[font] & kFontStyleUnicode) != 0;
    GlyphBitmap glyph;
    if (!font_render_glyph(font, unicode ? Cp437ToUnicode[code] : code, true, glyph)) return false;
    for (int32_t y = 0; y < cell_height; ++y) {
        const int32_t sy = y + 1;  // the rendered line starts one row above the cell
        for (int32_t x = 0; x < cell_width; ++x) {
            const bool inside = sy < glyph.height && x < glyph.width;
            out[y * cell_width + x] = inside ? glyph.coverage[static_cast<size_t>(sy) * glyph.width + x] : 0;
        }
    }
    return true;
}

void fill_rect(const DisplayTarget& target, int32_t x0, int32_t y0, int32_t w, int32_t h, uint32_t colour) {
    const int32_t x1 = std::min(x0 + w, target.width);
    const int32_t y1 = std::min(y0 + h, target.height);
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    for (int32_t y = y0; y < y1; ++y) {
        std::fill(target.pixels + static_cast<size_t>(y) * target.width + x0,
                  target.pixels + static_cast<size_t>(y) * target.width + x1, colour);
    }
}

// Writes one source pixel as a scale_x x scale_y block.
inline void put_scaled(const DisplayTarget& target, int32_t x, int32_t y, int32_t sx, int32_t sy, uint32_t colour) {
    for (int32_t dy = 0; dy < sy; ++dy) {
        const int32_t ty = y + dy;
        if (ty < 0 || ty >= target.height) continue;
        uint32_t* row = target.pixels + static_cast<size_t>(ty) * target.width;
        for (int32_t dx = 0; dx < sx; ++dx) {
            const int32_t tx = x + dx;
            if (tx >= 0 && tx < target.width) row[tx] = colour;
        }
    }
}

}  // namespace

CursorRows display_cursor_rows(int32_t start, int32_t stop, int32_t cell_height) {
    const int32_t s = start;
    const int32_t e = stop;
    const int32_t ch = cell_height;
    const int32_t bottom = ch == 16 ? 14 : ch - 1;  // a 16-row cell keeps its last row free
    CursorRows r{0, -1};
    if (e == 0 && s == 0) r = {0, 0};
    else if (e == 0) r = {0, -1};
    else if (e < s) r = {e, ch - 1};
    else if (s == e && s <= 3) r = {s, s};
    else if (s == e) r = {bottom, bottom};
    else if (s >= 3 && e == s + 1) r = {bottom - 1, bottom};
    else if (s >= 3 && e == s + 2) r = {bottom - 2, bottom};
    else if (s >= 3) r = {ch - ch / 2, ch - 1};
    else if (s <= 1 && e <= 3) r = {s, e};
    else if (s <= 1) r = {s, ch - 1};
    else if (e == 3) r = {2, 3};           // s = 2 from here on
    else if (e == 4) r = {bottom - 2, bottom};
    else r = {2, ch - 1};
    if (r.first >= ch) return {0, -1};
    r.first = std::max(r.first, 0);
    r.last = std::min(r.last, ch - 1);
    return r;
}

DisplaySize display_picture_size(const DisplayPageView& page) {
    if (!page.is_text) return {page.width, page.height};
    return {page.width * font_cell_width(page.font), page.height * font_cell_height(page.font)};
}

bool display_compose_text(DisplayComposeState& state, const DisplayPageView& page, const DisplayTarget& target) {
    const int32_t cw = font_cell_width(page.font);
    const int32_t ch = font_cell_height(page.font);
    if (cw <= 0 || ch <= 0 || cw > kMaxCellWidth || ch > kMaxCellHeight || page.pixels == nullptr) return false;

    bool valid = state.frame_valid && page.identity == state.previous_identity && page.font == state.previous_font;
    const size_t cell_bytes = static_cast<size_t>(page.width) * page.height * 2;
    if (state.previous_cells.size() != cell_bytes) {
        state.previous_cells.assign(cell_bytes, 0);
        valid = false;
    }
    if (!valid && state.frame_valid) {
        // The page itself changed under a valid frame: nothing drawn before can stay.
        fill_rect(target, 0, 0, target.width, target.height, 0);
    }

    std::array<uint32_t, 256> palette;
    load_palette(page.palette, palette);
    if (valid && palette != state.previous_palette) valid = false;
    if (!valid) state.previous_palette = palette;

    int32_t cursor_column = page.cursor_x - 1;
    int32_t cursor_row = page.cursor_y - 1;
    if (page.wrap_state == 2 && cursor_row < page.height - 1) {
        cursor_column = 0;
        cursor_row += 1;
    }
    const int32_t cursor_phase = (state.frame_counter >> 2) & 1;
    const int32_t blink_phase = (state.frame_counter >> 3) & 1;
    const CursorRows shape = display_cursor_rows(page.cursor_start, page.cursor_stop, ch);
    const bool cursor_shown = page.cursor_visible && cursor_phase == 1 && shape.first <= shape.last;
    // The cursor cells need drawing when what the cursor looks like, or where, changed.
    const bool cursor_changed = cursor_shown != state.previous_cursor_shown ||
                                cursor_column != state.previous_cursor_column ||
                                cursor_row != state.previous_cursor_row ||
                                (cursor_shown && (shape.first != state.previous_cursor_first_row ||
                                                  shape.last != state.previous_cursor_last_row));
    const bool blink_changed = blink_phase != state.previous_blink_phase;

    uint8_t glyph[kMaxCellWidth * kMaxCellHeight];
    bool drawn = false;
    for (int32_t row = 0; row < page.height; ++row) {
        for (int32_t column = 0; column < page.width; ++column) {
            const size_t index = (static_cast<size_t>(row) * page.width + column) * 2;
            const uint16_t cell = load_cell(page.pixels + index);
            const uint8_t code = cell & 0xFF;
            const uint8_t attribute = cell >> 8;
            const bool is_cursor = column == cursor_column && row == cursor_row;
            const bool was_cursor = column == state.previous_cursor_column && row == state.previous_cursor_row;
            if (valid && state.previous_cells[index] == code && state.previous_cells[index + 1] == attribute &&
                (!(attribute & 0x80) || !blink_changed) && !(cursor_changed && (is_cursor || was_cursor))) {
                continue;
            }
            // Built-in glyphs are read in place; others are rendered into the scratch cell.
            const uint8_t* glyph_rows = font_builtin_glyph(page.font, code);
            int32_t glyph_stride = 8;
            const bool doubled = glyph_rows != nullptr && cw == 16;
            if (glyph_rows == nullptr) {
                if (!display_glyph(page.font, code, cw, ch, glyph)) continue;  // retried next frame
                glyph_rows = glyph;
                glyph_stride = cw;
            }
            state.previous_cells[index] = code;
            state.previous_cells[index + 1] = attribute;
            drawn = true;

            int32_t fg_index = attribute & 15;
            const int32_t bg_index = (attribute >> 4) & 7;
            if ((attribute & 0x80) && blink_phase == 1) fg_index = bg_index;
            const uint32_t fg = palette[fg_index] & 0xFFFFFF;
            const uint32_t bg = palette[bg_index] & 0xFFFFFF;
            const int32_t x0 = state.offset_x + column * cw;
            const int32_t y0 = state.offset_y + row * ch;
            const bool inside = x0 >= 0 && y0 >= 0 && x0 + cw <= target.width && y0 + ch <= target.height;
            for (int32_t y = 0; y < ch; ++y) {
                const uint8_t* source = glyph_rows + y * glyph_stride;
                if (inside) {
                    uint32_t* out = target.pixels + static_cast<size_t>(y0 + y) * target.width + x0;
                    for (int32_t x = 0; x < cw; ++x) out[x] = source[doubled ? x / 2 : x] ? fg : bg;
                } else {
                    for (int32_t x = 0; x < cw; ++x) {
                        put_scaled(target, x0 + x, y0 + y, 1, 1, source[doubled ? x / 2 : x] ? fg : bg);
                    }
                }
            }
            if (cursor_shown && is_cursor) {
                fill_rect(target, x0, y0 + shape.first, cw, shape.last - shape.first + 1,
                          palette[attribute & 15] & 0xFFFFFF);
            }
        }
    }
    state.previous_blink_phase = blink_phase;
    state.previous_cursor_column = cursor_column;
    state.previous_cursor_row = cursor_row;
    state.previous_cursor_shown = cursor_shown;
    state.previous_cursor_first_row = shape.first;
    state.previous_cursor_last_row = shape.last;
    state.previous_identity = page.identity;
    state.previous_font = page.font;
    state.frame_valid = true;
    return drawn;
}

void display_compose_rgb32(const DisplayComposeState& state, const DisplayPageView& page, const DisplayTarget& target) {
    if (page.pixels == nullptr) return;
    for (int32_t y = 0; y < page.height; ++y) {
        const uint8_t* row = page.pixels + static_cast<size_t>(y) * page.width * 4;
        const int32_t ty = state.offset_y + y * state.scale_y;
        for (int32_t x = 0; x < page.width; ++x) {
            put_scaled(target, state.offset_x + x * state.scale_x, ty, state.scale_x, state.scale_y,
                       load_pixel32(row + x * 4) & 0xFFFFFF);
        }
    }
}

bool display_compose_indexed(DisplayComposeState& state, const DisplayPageView& page, const DisplayTarget& target) {
    if (page.pixels == nullptr || page.palette == nullptr) return false;
    const size_t count = static_cast<size_t>(page.width) * page.height;
    const size_t colours = page.bits_per_pixel >= 8 ? 256 : (size_t{1} << page.bits_per_pixel);
    std::array<uint32_t, 256> palette;
    load_palette(page.palette, palette);

    bool same = state.frame_valid && state.previous_pixels.size() == count &&
                std::equal(palette.begin(), palette.begin() + colours, state.previous_pixel_palette.begin());
    if (state.previous_pixels.size() != count) state.previous_pixels.assign(count, 0);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t v = load_byte(page.pixels + i);
        if (v != state.previous_pixels[i]) {
            same = false;
            state.previous_pixels[i] = v;
        }
    }
    if (same) return false;
    std::copy(palette.begin(), palette.begin() + colours, state.previous_pixel_palette.begin());

    for (int32_t y = 0; y < page.height; ++y) {
        const uint8_t* row = state.previous_pixels.data() + static_cast<size_t>(y) * page.width;
        const int32_t ty = state.offset_y + y * state.scale_y;
        for (int32_t x = 0; x < page.width; ++x) {
            put_scaled(target, state.offset_x + x * state.scale_x, ty, state.scale_x, state.scale_y,
                       palette[row[x]] & 0xFFFFFF);
        }
    }
    return true;
}

void display_mode10_palette(uint32_t* palette, uint32_t ticks_ms) {
    const uint32_t phase = (ticks_ms & 512) ? 1 : 0;
    for (int32_t i = 0; i < 4; ++i) {
        const uint32_t pseudo = load_word(palette + i + 4);
        const uint32_t colour = pseudo < 9 ? PseudoColourTable[phase * 9 + pseudo] : 0;
        std::atomic_ref<uint32_t>(palette[i]).store(colour, std::memory_order_relaxed);
    }
}

FullscreenChoice display_choose_fullscreen(const std::vector<DisplaySize>& sizes, DisplaySize picture) {
    if (picture.width <= 512 && picture.height <= 384) {
        picture.width *= 2;
        picture.height *= 2;
    }
    FullscreenChoice choice{-1, -1};
    int64_t best_fit_excess = 0;
    int64_t best_4_3_excess = 0;
    for (size_t i = 0; i < sizes.size(); ++i) {
        const DisplaySize s = sizes[i];
        if (s.width <= 639 || s.width < picture.width || s.height < picture.height) continue;
        const int64_t excess = int64_t{s.width} + s.height - picture.width - picture.height;
        if (choice.best_fit < 0 || excess <= best_fit_excess) {  // a later size wins a tie
            choice.best_fit = static_cast<int32_t>(i);
            best_fit_excess = excess;
        }
        if (s.width / 4 == s.height / 3 && (choice.best_4_3 < 0 || excess <= best_4_3_excess)) {
            choice.best_4_3 = static_cast<int32_t>(i);
            best_4_3_excess = excess;
        }
    }
    return choice;
}

int32_t display_fullscreen_resolve(int32_t wanted, const std::vector<DisplaySize>& sizes, FullscreenChoice choice) {
    if (wanted == 1) return choice.best_fit >= 0 ? 1 : -1;  // -1: stay as it is
    if (wanted == 2) {
        if (choice.best_4_3 < 0) return 0;
        if (choice.best_fit >= 0 && sizes[choice.best_4_3].width == sizes[choice.best_fit].width &&
            sizes[choice.best_4_3].height == sizes[choice.best_fit].height) {
            return 0;
        }
        return 2;
    }
    return 0;
}

DisplaySize display_place(DisplayComposeState& state, DisplaySize picture, int32_t fullscreen_mode,
                          const std::vector<DisplaySize>& sizes, FullscreenChoice choice) {
    state.offset_x = state.offset_y = 0;
    state.scale_x = state.scale_y = 1;
    const int32_t index = fullscreen_mode == 1 ? choice.best_fit : fullscreen_mode == 2 ? choice.best_4_3 : -1;
    if (index < 0 || static_cast<size_t>(index) >= sizes.size()) return picture;
    int32_t scale = 1;
    if (picture.width <= 512 && picture.height <= 384) scale = 2;
    state.scale_x = state.scale_y = scale;
    const DisplaySize size = sizes[index];
    state.offset_x = (size.width - picture.width * scale) / 2;
    state.offset_y = (size.height - picture.height * scale) / 2;
    return size;
}
