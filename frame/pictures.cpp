// The mouse pointer picture and the window icon (a small monitor), built at compile time.
#include <cstddef>

#include "frame/private/frame_logic.h"

const char* const CursorPicture[kCursorPictureLines] = {
    "    32    32        3            1",
    "X c #000000",
    ". c #ffffff",
    "  c None",
    "X                               ",
    "XX                              ",
    "X.X                             ",
    "X..X                            ",
    "X...X                           ",
    "X....X                          ",
    "X.....X                         ",
    "X......X                        ",
    "X.......X                       ",
    "X........X                      ",
    "X.........X                     ",
    "X......XXXXX                    ",
    "X...X..X                        ",
    "X..XX..X                        ",
    "X.X  X..X                       ",
    "XX   X..X                       ",
    "X     X..X                      ",
    "      X..X                      ",
    "       X..X                     ",
    "       X..X                     ",
    "        XX                      ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "0,0",
};

namespace {

// The icon drawn one character per pixel, top row first.
constexpr const char* kIconPicture[32] = {
    "                                ",
    "                                ",
    " wwwwwwwwwwwwwwwwwwwwwwwwwwwwww ",
    " w############################8 ",
    " w##........................##8 ",
    " w##.bbbbbbbbbbbbbbbbbbbbbb.##8 ",
    " w##.bbbbbbbbbbbbbbbbbbbbbb.##8 ",
    " w##.bbwwwbbbbbwbbbwbbbbbbb.##8 ",
    " w##.bbwbbbbwbbwbbbbwbbbbbb.##8 ",
    " w##.bbwbbbbbbbbwbbbbwbbbbb.##8 ",
    " w##.bbwbbbbwbbbbwbbwbbbbbb.##8 ",
    " w##.bbwwwbbbbbbbwbwbbbyyyb.##8 ",
    " w##.bbbbbbbbbbbbbbbbbbbbbb.##8 ",
    " w##.bbbbbbbbbbbbbbbbbbbbbb.##8 ",
    " w##.bb7b7b7b7b7b7b7b7bbbbb.##8 ",
    " w##.bbbbbbbbbbbbbbbbbbbbbb.##8 ",
    " w##.bb7b7b7b7b7bbbbbbbbbbb.##8 ",
    " w##.bbbbbbbbbbbbbbbbbbbbbb.##8 ",
    " w##.bbbbbbbbbbbbbbbbbbbbbb.##8 ",
    " w##.bbbbbbbbbbbbbbbbbbbbbb.##8 ",
    " w##........................##8 ",
    " w###################ggggggr##8 ",
    " w############################8 ",
    " w88888888888888888888888888888 ",
    "            88888888            ",
    "            88888888            ",
    "            88888888            ",
    "        ################        ",
    "        8888888888888888        ",
    "                                ",
    "                                ",
    "                                ",
};

struct IconColour {
    char key;
    uint8_t index;
    uint8_t red, green, blue;
};

// The sixteen colours of the classic text palette that the picture uses.
constexpr IconColour kIconColours[] = {
    {' ', 0, 0x00, 0x00, 0x00}, {'.', 0, 0x00, 0x00, 0x00}, {'b', 1, 0x00, 0x00, 0xAA},
    {'g', 2, 0x00, 0xAA, 0x00}, {'r', 4, 0xAA, 0x00, 0x00}, {'#', 7, 0xAA, 0xAA, 0xAA},
    {'7', 7, 0xAA, 0xAA, 0xAA}, {'8', 8, 0x55, 0x55, 0x55}, {'y', 14, 0xFF, 0xFF, 0x55},
    {'w', 15, 0xFF, 0xFF, 0xFF},
};

constexpr void put_u16(std::array<uint8_t, kIconBmpSize>& out, size_t at, uint32_t value) {
    out[at] = static_cast<uint8_t>(value);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}

constexpr void put_u32(std::array<uint8_t, kIconBmpSize>& out, size_t at, uint32_t value) {
    put_u16(out, at, value & 0xFFFF);
    put_u16(out, at + 2, value >> 16);
}

constexpr uint8_t icon_index(char key) {
    for (const IconColour& colour : kIconColours) {
        if (colour.key == key) return colour.index;
    }
    return 0;
}

constexpr std::array<uint8_t, kIconBmpSize> make_icon_bmp() {
    constexpr size_t kFileHeader = 14;
    constexpr size_t kInfoHeader = 40;
    constexpr size_t kPaletteBytes = 256 * 4;
    constexpr size_t kPixelOffset = kFileHeader + kInfoHeader + kPaletteBytes;
    static_assert(kPixelOffset + 32 * 32 == kIconBmpSize);

    std::array<uint8_t, kIconBmpSize> out{};
    out[0] = 'B';
    out[1] = 'M';
    put_u32(out, 2, kIconBmpSize);
    put_u32(out, 10, kPixelOffset);
    put_u32(out, 14, kInfoHeader);
    put_u32(out, 18, 32);           // width
    put_u32(out, 22, 32);           // height; positive, so rows are stored bottom-up
    put_u16(out, 26, 1);            // planes
    put_u16(out, 28, 8);            // bits per pixel
    put_u32(out, 30, 0);            // no compression
    put_u32(out, 34, 32 * 32);
    put_u32(out, 38, 2835);         // 72 dots per inch
    put_u32(out, 42, 2835);
    put_u32(out, 46, 256);          // colours used
    for (const IconColour& colour : kIconColours) {
        const size_t at = kFileHeader + kInfoHeader + colour.index * 4u;
        out[at] = colour.blue;
        out[at + 1] = colour.green;
        out[at + 2] = colour.red;
    }
    for (size_t y = 0; y < 32; ++y) {
        const char* row = kIconPicture[31 - y];
        for (size_t x = 0; x < 32; ++x) out[kPixelOffset + y * 32 + x] = icon_index(row[x]);
    }
    return out;
}

}  // namespace

constinit const std::array<uint8_t, kIconBmpSize> WindowIconBmp = make_icon_bmp();
