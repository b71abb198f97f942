// Internals shared by the screen sources: mode defaults, cell attributes, page helpers.
#pragma once

#include <cstdint>

#include "screen/screen.h"

enum class PaletteKind : uint8_t { none, colours16, colours4, colours2, ega, mono, colours256 };

// Defaults every new image of a mode gets.
struct ScreenModeDefaults {
    int32_t mode;
    int32_t width;       // screen size in pixels (0 for text and image-only modes)
    int32_t height;
    uint8_t bits_per_pixel;
    uint8_t bytes_per_pixel;
    int32_t font;
    uint32_t fg_color;
    uint32_t bg_color;
    PaletteKind palette;
};

// The mode's defaults, or null for a number that is not a mode.
const ScreenModeDefaults* screen_mode_defaults(int32_t mode);

// Attribute byte of a cell: blink from bit 4 of fg, background bits 6-4, foreground bits 3-0.
inline uint8_t screen_cell_attribute(uint32_t fg, uint32_t bg) {
    return static_cast<uint8_t>(((fg & 0x10u) << 3) | ((bg & 7u) << 4) | (fg & 15u));
}
inline uint16_t screen_cell_value(uint8_t character, uint32_t fg, uint32_t bg) {
    return static_cast<uint16_t>(character | (screen_cell_attribute(fg, bg) << 8));
}

// Fills text rows first_row .. last_row (1-based, inclusive) of a text page with a cell.
void screen_fill_text_rows(ImageRecord* image, int32_t first_row, int32_t last_row, uint16_t cell);
// Fills text rows of a graphics image (font-height pixel rows each) with a colour,
// replacing 32-bit pixels rather than blending.
void screen_fill_graphics_rows(ImageRecord* image, int32_t first_row, int32_t last_row, uint32_t colour);

// Sets the destination (or source) selection to an image number.
void screen_select_destination(int32_t n);
void screen_select_source(int32_t n);
void screen_select_display(int32_t n);

// Resets the cursor and text window of an image for its font (single-image font change).
void image_reset_text_window(ImageRecord* image);
// Changes the font of one image and resets its cursor and text window.
void image_apply_font(ImageRecord* image, int32_t font);
// Frees what an image owns and releases its slot.
void image_dispose(int32_t n);
// The page table grows to at least `length` entries (new entries 0).
bool screen_page_table_reserve(int32_t length);

// Highest screen page number accepted (pages beyond it would only waste memory).
inline constexpr int32_t kScreenMaxPage = 65535;

// Control-character mode and the one-call raw-print flag of the function-key line.
extern uint8_t print_control_chars;
extern uint8_t print_raw;

// The page last made active by SCREEN.
extern int32_t screen_last_active_page;
