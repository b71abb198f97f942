// Reading text cells back out of a picture: colours to palette indexes, pixels to glyphs.
#include "display/private/decode.h"

#include <array>

#include "display/fonts.h"

namespace {

// One row of a cell as a bit mask, leftmost pixel in the highest used bit.
using RowMask = uint32_t;

struct GlyphMasks {
    std::array<std::array<RowMask, 16>, 256> rows{};
};

GlyphMasks glyph_masks(int32_t font, int32_t cell_width, int32_t cell_height) {
    GlyphMasks masks;
    for (int32_t code = 0; code < 256; ++code) {
        const uint8_t* glyph = font_builtin_glyph(font, static_cast<uint8_t>(code));
        for (int32_t y = 0; y < cell_height; ++y) {
            RowMask m = 0;
            for (int32_t x = 0; x < cell_width; ++x) {
                const int32_t gx = cell_width == 16 ? x / 2 : x;
                m = (m << 1) | (glyph[y * 8 + gx] ? 1u : 0u);
            }
            masks.rows[code][y] = m;
        }
    }
    return masks;
}

// Space first, so that a blank cell reads as a space rather than as code 0 or 255.
constexpr std::array<int32_t, 256> search_order() {
    std::array<int32_t, 256> order{};
    int32_t n = 0;
    order[n++] = 32;
    for (int32_t code = 1; code < 256; ++code) {
        if (code != 32) order[n++] = code;
    }
    order[n] = 0;
    return order;
}

struct Match {
    int32_t code = kDecodeUnknown;
    int32_t skipped_rows = 0;  // rows taken for the cursor
    int32_t score = -1;        // glyph pixels under those rows
};

// Best glyph for a cell whose pixels of the glyph colour form `cell`. With
// `allow_cursor`, rows entirely in that colour may be a text cursor drawn over the glyph:
// the glyph needing the fewest such rows wins, then the one with the most pixels under them.
Match match_glyph(const GlyphMasks& masks, const RowMask* cell, int32_t cell_height, RowMask full_row,
                  bool allow_cursor) {
    Match best;
    for (int32_t code : search_order()) {
        const auto& glyph = masks.rows[code];
        Match m{code, 0, 0};
        bool ok = true;
        for (int32_t y = 0; y < cell_height && ok; ++y) {
            if (glyph[y] == cell[y]) continue;
            if (allow_cursor && cell[y] == full_row) {
                m.skipped_rows += 1;
                m.score += __builtin_popcount(glyph[y]);
                continue;
            }
            ok = false;
        }
        if (!ok) continue;
        if (!allow_cursor) return m;
        if (best.code == kDecodeUnknown || m.skipped_rows < best.skipped_rows ||
            (m.skipped_rows == best.skipped_rows && m.score > best.score)) {
            best = m;
        }
    }
    return best;
}

}  // namespace

std::vector<DecodedCell> display_decode_cells(const uint32_t* pixels, int32_t image_width, int32_t image_height,
                                              int32_t columns, int32_t rows, int32_t cell_height,
                                              const uint32_t* palette, int32_t palette_count) {
    std::vector<DecodedCell> cells(static_cast<size_t>(columns > 0 ? columns : 0) * (rows > 0 ? rows : 0),
                                   {kDecodeUnknown, kDecodeUnknown, kDecodeUnknown});
    if (columns <= 0 || rows <= 0 || cell_height <= 0 || cell_height > 16) return cells;
    const int32_t cell_width = image_width / columns;
    if (cell_width != 8 && cell_width != 16) return cells;
    const int32_t base_font = cell_height == 8 ? 8 : cell_height == 14 ? 14 : 16;
    if (cell_height != font_cell_height(base_font)) return cells;
    const GlyphMasks masks = glyph_masks(cell_width == 16 ? base_font + 1 : base_font, cell_width, cell_height);
    const RowMask full_row = (RowMask{1} << cell_width) - 1;

    for (int32_t row = 0; row < rows; ++row) {
        for (int32_t column = 0; column < columns; ++column) {
            DecodedCell& out = cells[static_cast<size_t>(row) * columns + column];
            const int32_t x0 = column * cell_width;
            const int32_t y0 = row * cell_height;
            if (x0 + cell_width > image_width || y0 + cell_height > image_height) continue;

            uint32_t colours[2] = {pixels[static_cast<size_t>(y0) * image_width + x0] & 0xFFFFFF, 0};
            int32_t colour_count = 1;
            RowMask first_colour[16];  // pixels of colours[0]
            bool too_many = false;
            for (int32_t y = 0; y < cell_height && !too_many; ++y) {
                RowMask m = 0;
                for (int32_t x = 0; x < cell_width; ++x) {
                    const uint32_t c = pixels[static_cast<size_t>(y0 + y) * image_width + x0 + x] & 0xFFFFFF;
                    if (c != colours[0] && colour_count == 1) {
                        colours[1] = c;
                        colour_count = 2;
                    } else if (c != colours[0] && c != colours[1]) {
                        too_many = true;
                        break;
                    }
                    m = (m << 1) | (c == colours[0] ? 1u : 0u);
                }
                first_colour[y] = m;
            }
            if (too_many) continue;

            auto index_of = [&](uint32_t c) {
                return palette_nearest_index(palette, palette_count, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
            };
            if (colour_count == 1) {
                const int32_t i = index_of(colours[0]);
                if (i <= 7) {
                    out = {32, kDecodeBlank, i};
                } else {
                    out = {219, i, kDecodeBlank};  // a full block: the background is hidden
                }
                continue;
            }

            RowMask second_colour[16];
            for (int32_t y = 0; y < cell_height; ++y) second_colour[y] = ~first_colour[y] & full_row;
            const int32_t index0 = index_of(colours[0]);
            const int32_t index1 = index_of(colours[1]);
            // Either colour may be the glyph's. A background is one of 0..7, so a reading
            // with a brighter background is taken only when nothing else fits.
            struct Reading { const RowMask* glyph; int32_t fg; int32_t bg; };
            const Reading readings[2] = {{first_colour, index0, index1}, {second_colour, index1, index0}};
            for (bool allow_cursor : {false, true}) {
                const Match m0 = match_glyph(masks, readings[0].glyph, cell_height, full_row, allow_cursor);
                const Match m1 = match_glyph(masks, readings[1].glyph, cell_height, full_row, allow_cursor);
                const bool ok0 = m0.code != kDecodeUnknown;
                const bool ok1 = m1.code != kDecodeUnknown;
                bool take0 = ok0 && !ok1;
                if (ok0 && ok1) {
                    if (m0.skipped_rows != m1.skipped_rows) {
                        take0 = m0.skipped_rows < m1.skipped_rows;
                    } else {
                        take0 = readings[0].bg <= 7 || readings[1].bg > 7;
                    }
                }
                if (take0) {
                    out = {m0.code, readings[0].fg, readings[0].bg};
                    break;
                }
                if (ok1) {
                    out = {m1.code, readings[1].fg, readings[1].bg};
                    break;
                }
            }
        }
    }
    return cells;
}

std::string display_cp437_utf8(int32_t code) {
    if (code < 0 || code > 255) return "?";
    const uint32_t u = Cp437ToUnicode[static_cast<size_t>(code)];
    std::string out;
    if (u < 0x80) {
        out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (u >> 6)));
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (u >> 12)));
        out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
    return out;
}
