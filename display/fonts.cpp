// Built-in fonts, the font tables, the code page 437 table and the colour tables.
#include "display/fonts.h"
#include "screen/screen.h"

#include <cstddef>

#include "display/font_tables.inc"

namespace {

// Spreads one-byte glyph rows into one byte per pixel (0 or 255), leftmost bit first.
template <size_t kRows>
constexpr std::array<uint8_t, kRows * 8> font_expand_rows(const std::array<uint8_t, kRows>& rows) {
    std::array<uint8_t, kRows * 8> pixels{};
    for (size_t r = 0; r < kRows; ++r) {
        for (size_t bit = 0; bit < 8; ++bit) {
            pixels[r * 8 + bit] = (rows[r] & (0x80u >> bit)) ? 255 : 0;
        }
    }
    return pixels;
}

constexpr std::array<uint32_t, 256> kVgaColours = {
    0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
    0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF,
    0x000000, 0x141414, 0x202020, 0x2D2D2D, 0x393939, 0x454545, 0x515151, 0x616161,
    0x717171, 0x828282, 0x929292, 0xA2A2A2, 0xB6B6B6, 0xCACACA, 0xE3E3E3, 0xFFFFFF,
    0x0000FF, 0x4100FF, 0x7D00FF, 0xBE00FF, 0xFF00FF, 0xFF00BE, 0xFF007D, 0xFF0041,
    0xFF0000, 0xFF4100, 0xFF7D00, 0xFFBE00, 0xFFFF00, 0xBEFF00, 0x7DFF00, 0x41FF00,
    0x00FF00, 0x00FF41, 0x00FF7D, 0x00FFBE, 0x00FFFF, 0x00BEFF, 0x007DFF, 0x0041FF,
    0x7D7DFF, 0x9E7DFF, 0xBE7DFF, 0xDF7DFF, 0xFF7DFF, 0xFF7DDF, 0xFF7DBE, 0xFF7D9E,
    0xFF7D7D, 0xFF9E7D, 0xFFBE7D, 0xFFDF7D, 0xFFFF7D, 0xDFFF7D, 0xBEFF7D, 0x9EFF7D,
    0x7DFF7D, 0x7DFF9E, 0x7DFFBE, 0x7DFFDF, 0x7DFFFF, 0x7DDFFF, 0x7DBEFF, 0x7D9EFF,
    0xB6B6FF, 0xC6B6FF, 0xDBB6FF, 0xEBB6FF, 0xFFB6FF, 0xFFB6EB, 0xFFB6DB, 0xFFB6C6,
    0xFFB6B6, 0xFFC6B6, 0xFFDBB6, 0xFFEBB6, 0xFFFFB6, 0xEBFFB6, 0xDBFFB6, 0xC6FFB6,
    0xB6FFB6, 0xB6FFC6, 0xB6FFDB, 0xB6FFEB, 0xB6FFFF, 0xB6EBFF, 0xB6DBFF, 0xB6C6FF,
    0x000071, 0x1C0071, 0x390071, 0x550071, 0x710071, 0x710055, 0x710039, 0x71001C,
    0x710000, 0x711C00, 0x713900, 0x715500, 0x717100, 0x557100, 0x397100, 0x1C7100,
    0x007100, 0x00711C, 0x007139, 0x007155, 0x007171, 0x005571, 0x003971, 0x001C71,
    0x393971, 0x453971, 0x553971, 0x613971, 0x713971, 0x713961, 0x713955, 0x713945,
    0x713939, 0x714539, 0x715539, 0x716139, 0x717139, 0x617139, 0x557139, 0x457139,
    0x397139, 0x397145, 0x397155, 0x397161, 0x397171, 0x396171, 0x395571, 0x394571,
    0x515171, 0x595171, 0x615171, 0x695171, 0x715171, 0x715169, 0x715161, 0x715159,
    0x715151, 0x715951, 0x716151, 0x716951, 0x717151, 0x697151, 0x617151, 0x597151,
    0x517151, 0x517159, 0x517161, 0x517169, 0x517171, 0x516971, 0x516171, 0x515971,
    0x000041, 0x100041, 0x200041, 0x310041, 0x410041, 0x410031, 0x410020, 0x410010,
    0x410000, 0x411000, 0x412000, 0x413100, 0x414100, 0x314100, 0x204100, 0x104100,
    0x004100, 0x004110, 0x004120, 0x004131, 0x004141, 0x003141, 0x002041, 0x001041,
    0x202041, 0x282041, 0x312041, 0x392041, 0x412041, 0x412039, 0x412031, 0x412028,
    0x412020, 0x412820, 0x413120, 0x413920, 0x414120, 0x394120, 0x314120, 0x284120,
    0x204120, 0x204128, 0x204131, 0x204139, 0x204141, 0x203941, 0x203141, 0x202841,
    0x2D2D41, 0x312D41, 0x352D41, 0x3D2D41, 0x412D41, 0x412D3D, 0x412D35, 0x412D31,
    0x412D2D, 0x41312D, 0x41352D, 0x413D2D, 0x41412D, 0x3D412D, 0x35412D, 0x31412D,
    0x2D412D, 0x2D4131, 0x2D4135, 0x2D413D, 0x2D4141, 0x2D3D41, 0x2D3541, 0x2D3141,
    0x000000, 0x000000, 0x000000, 0x000000, 0x000000, 0x000000, 0x000000, 0x000000,
};

constexpr std::array<uint32_t, 256> palette_full_alpha(const std::array<uint32_t, 256>& colours) {
    std::array<uint32_t, 256> out{};
    for (size_t i = 0; i < colours.size(); ++i) out[i] = colours[i] | 0xFF000000u;
    return out;
}

// EGA: 0xAA per primary for bits 0-2 (blue, green, red), 0x55 for bits 3-5.
constexpr std::array<uint32_t, 64> palette_ega_build() {
    std::array<uint32_t, 64> out{};
    for (uint32_t i = 0; i < 64; ++i) {
        uint32_t blue = ((i & 1) ? 0xAA : 0) + ((i & 8) ? 0x55 : 0);
        uint32_t green = ((i & 2) ? 0xAA : 0) + ((i & 16) ? 0x55 : 0);
        uint32_t red = ((i & 4) ? 0xAA : 0) + ((i & 32) ? 0x55 : 0);
        out[i] = 0xFF000000u | (red << 16) | (green << 8) | blue;
    }
    return out;
}

constexpr std::array<uint32_t, 18> kPseudoColours = {
    0x000000, 0x000000, 0x000000, 0x808080, 0x808080, 0x808080, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
    0x000000, 0x808080, 0xFFFFFF, 0x000000, 0x808080, 0xFFFFFF, 0x000000, 0x808080, 0xFFFFFF,
};

constexpr FontTable font_table_defaults() {
    FontTable t{};
    struct Builtin { int32_t font, width, height; };
    constexpr Builtin builtins[] = {{8, 8, 8}, {14, 8, 14}, {16, 8, 16}, {9, 16, 8}, {15, 16, 14}, {17, 16, 16}};
    for (const Builtin& b : builtins) {
        t.width[b.font] = b.width;
        t.height[b.font] = b.height;
        t.style[b.font] = kFontStyleMonospace;
    }
    return t;
}

}  // namespace

constinit FontTable font_table = font_table_defaults();
constinit std::array<uint8_t, kFont8x8Bytes> Font8x8 = font_expand_rows(kFont8x8Rows);
constinit std::array<uint8_t, kFont8x16Bytes> Font8x16 = font_expand_rows(kFont8x16Rows);
const std::array<uint16_t, 256> Cp437ToUnicode = kCp437Unicode;
constinit std::array<uint32_t, 256> PaletteVga = palette_full_alpha(kVgaColours);
constinit std::array<uint32_t, 64> PaletteEga = palette_ega_build();
constinit std::array<uint32_t, 18> PseudoColourTable = kPseudoColours;

void font_tables_init() {
    // Loaded TrueType fonts are kept; only the built-in entries and data are refreshed.
    const FontTable defaults = font_table_defaults();
    for (int32_t f = 0; f < kFontFirstLoaded; ++f) {
        font_table.ttf_handle[f] = nullptr;
        font_table.width[f] = defaults.width[f];
        font_table.height[f] = defaults.height[f];
        font_table.style[f] = defaults.style[f];
    }
    screen_glyph_renderer = font_render_glyph;
    Font8x8 = font_expand_rows(kFont8x8Rows);
    Font8x16 = font_expand_rows(kFont8x16Rows);
    PaletteVga = palette_full_alpha(kVgaColours);
    PaletteEga = palette_ega_build();
    PseudoColourTable = kPseudoColours;
}

bool font_is_builtin(int32_t font) {
    return font == 8 || font == 9 || font == 14 || font == 15 || font == 16 || font == 17;
}

bool font_is_loaded(int32_t font) {
    return font >= kFontFirstLoaded && font < kFontCount && font_table.ttf_handle[font] != nullptr;
}

const uint8_t* font_builtin_glyph(int32_t font, uint8_t code) {
    switch (font) {
        case 8:
        case 9:
            return Font8x8.data() + code * 64;
        case 14:
        case 15:
            return Font8x16.data() + code * 128 + 8;  // rows 1..14 of the 8 x 16 glyph
        case 16:
        case 17:
            return Font8x16.data() + code * 128;
        default:
            return nullptr;
    }
}

int32_t font_cell_width(int32_t font) {
    return (font >= 0 && font < kFontCount) ? font_table.width[font] : 0;
}

int32_t font_cell_height(int32_t font) {
    return (font >= 0 && font < kFontCount) ? font_table.height[font] : 0;
}

int32_t cp437_from_unicode(uint32_t u) {
    for (int32_t code = 0; code < 256; ++code) {
        if (Cp437ToUnicode[code] == u) return code;
    }
    return 0;
}

std::u16string font_to_utf16(int32_t font, const uint8_t* codes, int32_t count) {
    std::u16string out;
    if (codes == nullptr || count <= 0) return out;
    const bool unicode = font >= 0 && font < kFontCount && (font_table.style[font] & kFontStyleUnicode) != 0;
    if (!unicode) {
        out.reserve(static_cast<size_t>(count));
        for (int32_t i = 0; i < count; ++i) out.push_back(static_cast<char16_t>(Cp437ToUnicode[codes[i]]));
        return out;
    }
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* p = codes + static_cast<size_t>(i) * 4;
        const uint32_t cp = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
        out.push_back(static_cast<char16_t>(cp));  // one unit per code point, no surrogate pairs
    }
    return out;
}

int32_t palette_nearest_index(const uint32_t* palette, int32_t count, int32_t r, int32_t g, int32_t b) {
    int32_t best = 0;
    int32_t best_distance = INT32_MAX;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t er = (palette[i] >> 16) & 0xFF;
        const int32_t eg = (palette[i] >> 8) & 0xFF;
        const int32_t eb = palette[i] & 0xFF;
        const int32_t distance = (r > er ? r - er : er - r) + (g > eg ? g - eg : eg - g) + (b > eb ? b - eb : eb - b);
        if (distance == 0) return i;
        if (distance < best_distance) {
            best_distance = distance;
            best = i;
        }
    }
    return best;
}
