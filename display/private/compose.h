// Frame composition into a plain 32-bit pixel buffer, independent of the window.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

// A rectangle of 0x00RRGGBB words, row after row, `width` words per row.
struct DisplayTarget {
    uint32_t* pixels;
    int32_t width;
    int32_t height;
};

// What one frame needs of the display page; cells and pixels are read in place.
struct DisplayPageView {
    const void* identity;     // the record, so a switch of page forces a full frame
    bool is_text;
    int32_t width;            // cells or pixels
    int32_t height;
    int32_t bytes_per_pixel;  // 2 text, 1 indexed, 4 for 32-bit
    int32_t bits_per_pixel;
    int32_t mode;
    int32_t font;
    int32_t cursor_x;         // 1-based
    int32_t cursor_y;
    bool cursor_visible;
    int32_t cursor_start;
    int32_t cursor_stop;
    int32_t wrap_state;
    const uint8_t* pixels;
    uint32_t* palette;        // 256 entries, null for 32-bit pages
};

// What the composer keeps from one frame to the next.
struct DisplayComposeState {
    uint32_t frame_counter = 0;
    bool frame_valid = false;
    int32_t offset_x = 0;
    int32_t offset_y = 0;
    int32_t scale_x = 1;
    int32_t scale_y = 1;
    std::vector<uint8_t> previous_cells;
    std::array<uint32_t, 256> previous_palette{};
    std::vector<uint8_t> previous_pixels;
    std::array<uint32_t, 256> previous_pixel_palette{};
    int32_t previous_blink_phase = 0;
    int32_t previous_cursor_column = -1;
    int32_t previous_cursor_row = -1;
    bool previous_cursor_shown = false;
    int32_t previous_cursor_first_row = 0;
    int32_t previous_cursor_last_row = -1;
    const void* previous_identity = nullptr;
    int32_t previous_font = 0;
};

// Rows of a cell filled by the text cursor for scan lines start..stop; first > last
// when none.
struct CursorRows {
    int32_t first;
    int32_t last;
};
CursorRows display_cursor_rows(int32_t start, int32_t stop, int32_t cell_height);

// Text page: redraws the cells whose look changed since the last frame (all of them
// when the frame is not valid). Returns true when any cell was drawn.
bool display_compose_text(DisplayComposeState& state, const DisplayPageView& page, const DisplayTarget& target);

// 32-bit page: copies every pixel, scaled and offset.
void display_compose_rgb32(const DisplayComposeState& state, const DisplayPageView& page, const DisplayTarget& target);

// Indexed page: converts through the palette unless pixels and palette are as last
// drawn and the frame is valid. Returns true when the picture was converted.
bool display_compose_indexed(DisplayComposeState& state, const DisplayPageView& page, const DisplayTarget& target);

// Mode 10: palette entries 0..3 from the pseudo-colour numbers in entries 4..7.
void display_mode10_palette(uint32_t* palette, uint32_t ticks_ms);

// Picture size of a page in pixels (text: cells times the font cell).
struct DisplaySize {
    int32_t width;
    int32_t height;
};
DisplaySize display_picture_size(const DisplayPageView& page);

// Best-fit and best 4:3 full-screen sizes for a picture; index -1 when none fits.
struct FullscreenChoice {
    int32_t best_fit;
    int32_t best_4_3;
};
FullscreenChoice display_choose_fullscreen(const std::vector<DisplaySize>& sizes, DisplaySize picture);

// Next full-screen mode for a wanted mode (0 window, 1 best-fit, 2 best 4:3), given
// which sizes exist.
int32_t display_fullscreen_resolve(int32_t wanted, const std::vector<DisplaySize>& sizes, FullscreenChoice choice);

// Placement of the picture in the window: offsets and scales; the window size.
DisplaySize display_place(DisplayComposeState& state, DisplaySize picture, int32_t fullscreen_mode,
                          const std::vector<DisplaySize>& sizes, FullscreenChoice choice);
