// Character and colour data: built-in bitmap fonts, the font tables, TrueType fonts,
// the code page 437 to Unicode table and the fixed colour tables.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct BasicString;

// Font numbers: 8, 14, 16 built in (8 x 8, 8 x 14, 8 x 16), 9, 15, 17 their
// double-width forms, 32..1023 loaded TrueType fonts.
inline constexpr int32_t kFontCount = 1024;
inline constexpr int32_t kFontFirstLoaded = 32;

// Style flag bits; the low three equal SDL_ttf's bold, italic and underline bits.
inline constexpr uint32_t kFontStyleBold = 1;
inline constexpr uint32_t kFontStyleItalic = 2;
inline constexpr uint32_t kFontStyleUnderline = 4;
inline constexpr uint32_t kFontStyleDontBlend = 8;
inline constexpr uint32_t kFontStyleMonospace = 16;
inline constexpr uint32_t kFontStyleUnicode = 32;

// The four parallel font tables indexed by font number.
struct FontTable {
    void* ttf_handle[kFontCount];  // TTF_Font*, null when none
    int32_t height[kFontCount];    // character height in pixels
    int32_t width[kFontCount];     // character width in pixels, 0 = no fixed width
    uint32_t style[kFontCount];    // style flag bits
};
extern FontTable font_table;

// Working copies of the built-in fonts, one byte per pixel (0 background, 255 glyph),
// glyph after glyph for codes 0..255, row after row, 8 bytes per row.
inline constexpr int32_t kFont8x8Bytes = 256 * 64;
inline constexpr int32_t kFont8x16Bytes = 256 * 128;
extern std::array<uint8_t, kFont8x8Bytes> Font8x8;
extern std::array<uint8_t, kFont8x16Bytes> Font8x16;

// Code page 437 byte -> Unicode (0 and 255 map to U+0020).
extern const std::array<uint16_t, 256> Cp437ToUnicode;

// Colour tables as 0xAARRGGBB. VGA and EGA carry full alpha after font_tables_init.
extern std::array<uint32_t, 256> PaletteVga;
extern std::array<uint32_t, 64> PaletteEga;
// Mode 10 monochrome pseudo-colours: [phase * 9 + pseudo colour], alpha 0.
extern std::array<uint32_t, 18> PseudoColourTable;

// Fills the font tables, the working font copies and the colour tables. Safe to call
// again; the tables also hold these values from program load on.
void font_tables_init();

// The built-in glyph rows for a font number (8, 9, 14, 15, 16, 17): first row of glyph
// `code`; the caller reads font height rows of 8 bytes. Null for other fonts.
const uint8_t* font_builtin_glyph(int32_t font, uint8_t code);
bool font_is_builtin(int32_t font);
// A font number with an open TrueType face.
bool font_is_loaded(int32_t font);
// Table width and height of any font number (0 for an unused number).
int32_t font_cell_width(int32_t font);
int32_t font_cell_height(int32_t font);

// First code page 437 code whose Unicode value is u; 0 when none.
int32_t cp437_from_unicode(uint32_t u);

// TrueType fonts.
int32_t font_open(const char* file_name, double size, uint32_t style);  // 32..1023, 0 on failure
int32_t font_load(BasicString* file_name, double size, BasicString* style_text, int32_t style_given);
void font_free(int32_t font);
int32_t font_width(int32_t font, int32_t font_given);
int32_t font_height(int32_t font, int32_t font_given);
int32_t image_font(int32_t handle, int32_t handle_given);
// Renders one character of a loaded font for graphics images (installed as the
// screen's glyph renderer by font_tables_init).
struct GlyphBitmap;
bool font_render_glyph(int32_t font, uint32_t code, bool solid, GlyphBitmap& out);

// Characters as UTF-16 through the code page 437 table, or as 32-bit little-endian
// code points (4 bytes each) when the font has the UNICODE style.
std::u16string font_to_utf16(int32_t font, const uint8_t* codes, int32_t count);

// Nearest palette entry: sum of absolute channel differences, first smallest wins,
// an exact match returns at once. Entries are 0xAARRGGBB; count entries are searched.
int32_t palette_nearest_index(const uint32_t* palette, int32_t count, int32_t r, int32_t g, int32_t b);
