// Reading text cells back out of a picture drawn with the built-in fonts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr int32_t kDecodeBlank = -2;    // colour of a cell whose fore- and background agree
inline constexpr int32_t kDecodeUnknown = -1;  // glyph or colour not recognised

struct DecodedCell {
    int32_t code;  // code page 437 character, kDecodeUnknown when no glyph matched
    int32_t fg;    // palette index, kDecodeBlank or kDecodeUnknown
    int32_t bg;
};

// Decodes columns x rows cells of cell_height pixels (cell width = image width / columns,
// 16 meaning double-width glyphs) from 0x00RRGGBB pixels. Colours are matched to the
// nearest of palette_count palette entries. A cell showing a block text cursor still
// decodes as its character.
std::vector<DecodedCell> display_decode_cells(const uint32_t* pixels, int32_t image_width, int32_t image_height,
                                              int32_t columns, int32_t rows, int32_t cell_height,
                                              const uint32_t* palette, int32_t palette_count);

// UTF-8 of a code page 437 character as it looks on screen (0 and 255 as spaces).
std::string display_cp437_utf8(int32_t code);
