// Images and screen pages, screen modes, character output and the screen statements.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

struct BasicString;

// ---------------------------------------------------------------------------------------
// Image records
// ---------------------------------------------------------------------------------------

// Registration of an image with the memory-block facility.
struct MemBlockDescriptor {
    uint32_t word0;
    uint32_t word1;
    uint32_t kind;
    void* pointer;
};

// One drawing surface: a text page of 2-byte cells or a graphics image of pixels.
struct ImageRecord {
    MemBlockDescriptor mem_block;
    uint8_t in_use;
    uint8_t is_text;
    uint8_t is_console;
    uint16_t width;              // cells (text) or pixels (graphics)
    uint16_t height;
    uint8_t bytes_per_pixel;     // 2 text, 1 indexed, 4 for 32-bit
    uint8_t bits_per_pixel;      // 16 text; 1, 2, 4, 8 indexed; 32
    uint32_t color_mask;
    uint16_t mode;               // 0, 1, 2, 7..13, 256 or 32
    uint32_t fg_color;           // text: 0..31, bit 4 = blink
    uint32_t bg_color;           // text: 0..7
    uint32_t draw_color;
    int32_t font;
    int16_t view_top;            // text window (VIEW PRINT), 1-based rows
    int16_t view_bottom;
    int16_t cursor_x;            // 1-based; a pixel column + 1 with a variable-width font
    int16_t cursor_y;
    uint8_t cursor_visible;
    uint8_t cursor_start;        // cursor shape scan lines
    uint8_t cursor_stop;
    uint8_t* pixels;             // width * height * bytes_per_pixel bytes, row by row
    uint32_t image_flags;        // kImageOwnsPalette | kImageScreenPage | kImageOwnsPixels
    uint32_t* palette;           // 256 entries 0xAARRGGBB, null for 32-bit images
    uint32_t clear_color;        // 0xFFFFFFFF: none
    uint8_t no_blend;
    uint8_t wrap_state;          // 0 normal, 1 held on the last column, 2 held and shown on the next row
    uint8_t print_mode;          // 1 glyph pixels, 2 background pixels, 3 both
    int32_t view_x1, view_y1, view_x2, view_y2;
    int32_t view_origin_x, view_origin_y;
    float last_x, last_y;
    uint8_t coord_mode;          // 0 plain, 1 viewport, 2 window coordinates
    float scale_x, scale_y, offset_x, offset_y;
    float window_x1, window_y1, window_x2, window_y2;
    double draw_angle;
    double draw_scale;
};

inline constexpr uint32_t kImageOwnsPalette = 1;
inline constexpr uint32_t kImageScreenPage = 2;
inline constexpr uint32_t kImageOwnsPixels = 4;
inline constexpr uint32_t kNoClearColor = 0xFFFFFFFF;

// Size of a record written to a file whole (the chaining hand-over).
inline constexpr int32_t kImageRecordFileBytes = 176;
// Writes / reads the 176-byte little-endian file form; pointers are stored as 32-bit
// values and must be replaced by the reader.
void image_record_to_bytes(const ImageRecord& record, uint8_t* out);
void image_record_from_bytes(const uint8_t* in, ImageRecord& record);

// All image slots, indexed by image number. Records live in blocks of
// kImageTableGrowth that never move, so pointers to records stay valid while the
// table grows (the display loop may be reading one at that moment).
inline constexpr int32_t kImageTableGrowth = 4096;
struct ImageTable {
    ImageRecord** blocks;        // block b holds image numbers b * 4096 ...
    int32_t block_count;
    int32_t capacity;            // block_count * 4096
    int32_t used;                // slots handed out at least once (never-used slots follow)
    int32_t* free_list;          // stack of released image numbers
    int32_t free_count;
    int32_t free_capacity;
};
extern ImageTable image_table;

// The record of image number n (no checks; n must be below image_table.used).
inline ImageRecord* image_record(int32_t n) {
    return &image_table.blocks[n / kImageTableGrowth][n % kImageTableGrowth];
}

// Image numbers indexed by screen page number; 0 means the page does not exist yet.
struct PageTable {
    int32_t* entries;
    int32_t length;              // at least 1; entry 0 is the screen itself
};
extern PageTable page_table;

// The three current images, each an image number plus its record. The display
// selection is read by the display loop, so it is atomic.
struct CurrentImages {
    int32_t destination_number;
    ImageRecord* destination;
    int32_t source_number;
    ImageRecord* source;
    std::atomic<int32_t> display_number;
    std::atomic<ImageRecord*> display;
};
extern CurrentImages current_images;

// Handshake word with the display loop: 0 idle, 1 requested by the program thread,
// 2 granted by the display loop.
extern std::atomic<uint32_t> DisplayLock;
inline constexpr uint32_t kDisplayLockIdle = 0;
inline constexpr uint32_t kDisplayLockRequested = 1;
inline constexpr uint32_t kDisplayLockGranted = 2;

// Program thread: requests the lock and sleeps ~1 ms per poll until it is granted.
void screen_display_lock_take();
// Program thread: hands the display back.
void screen_display_lock_release();
// Display loop: grants a pending request (1 -> 2). Returns true while the word is not
// 0, meaning the display must draw nothing now.
bool screen_display_lock_grant();

// WIDTH values waiting for the next text-mode SCREEN change; -1 when unset.
struct PendingWidth {
    int32_t columns;
    int32_t rows;
    int32_t font;
};
extern PendingWidth pending_width;

// 1 from start-up until any WIDTH or SCREEN other than a plain SCREEN 0.
extern uint8_t screen_untouched_default;

// Video memory regions inside EmulatedMemory.
inline constexpr uint32_t kVideoGraphicsAddress = 0xA0000;  // mode 13 page 0, 64000 bytes
inline constexpr uint32_t kVideoGraphicsBytes = 64000;
inline constexpr uint32_t kVideoTextAddress = 0xB8000;      // text pages back to back
inline constexpr uint32_t kVideoTextBytes = 65536;

// An empty text cell: space on attribute 7 (little-endian 0x0720).
inline constexpr uint16_t kBlankCell = 0x0720;

// Cells and the cursor fields the display loop reads while the program thread writes
// them go through relaxed atomic accesses, so a frame may show a half-printed line
// but the two threads never race.
inline void screen_cell_store(uint8_t* cell, uint16_t value) {
    std::atomic_ref<uint16_t>(*reinterpret_cast<uint16_t*>(cell)).store(value, std::memory_order_relaxed);
}
inline uint16_t screen_cell_load(const uint8_t* cell) {
    return std::atomic_ref<uint16_t>(*reinterpret_cast<uint16_t*>(const_cast<uint8_t*>(cell)))
        .load(std::memory_order_relaxed);
}
template <class T>
inline void image_field_store(T& field, T value) {
    std::atomic_ref<T>(field).store(value, std::memory_order_relaxed);
}
template <class T>
inline T image_field_load(const T& field) {
    return std::atomic_ref<T>(const_cast<T&>(field)).load(std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------------------
// Image table, handles and current images
// ---------------------------------------------------------------------------------------

// Allocates the image table, the free list and the one-entry page table, and reserves
// image numbers 0 and 1. Start-up, before the program thread.
void image_table_init();

int32_t image_alloc_slot();
int32_t image_release_slot(int32_t n);
int32_t image_init_record(uint8_t* storage, int32_t width, int32_t height, int32_t mode);
int32_t image_create(int32_t width, int32_t height, int32_t mode);
int32_t image_new(int32_t width, int32_t height, int32_t mode, int32_t mode_given);
void image_free(int32_t handle, int32_t handle_given);
void image_free_all();
int32_t image_copy(int32_t handle, int32_t handle_given);
// Error raised for an image or font handle that names nothing.
inline constexpr int32_t kErrorInvalidHandle = 258;
// Image number behind a handle; 0 (with kErrorInvalidHandle raised) when it is bad.
int32_t image_resolve(int32_t handle);
void image_set_destination(int32_t handle);
void image_set_source(int32_t handle);
int32_t image_get_destination();
int32_t image_get_source();
int32_t image_get_display();
int32_t screen_page_image(int32_t page);

void image_default_colors();
void image_set_default_palette(ImageRecord* image);
void image_set_font(int32_t font, int32_t handle, int32_t handle_given);
void image_set_palette_color(int32_t index, uint32_t colour, int32_t handle, int32_t handle_given);
void image_set_blend(int32_t handle, int32_t handle_given, int32_t on);

// Text rows and columns of an image (cells on a text page; font cells on a graphics
// image; pixel columns when the font has no fixed width).
int32_t image_text_rows(const ImageRecord* image);
int32_t image_text_columns(const ImageRecord* image);
// Font cell size of an image's font (width 0 when the font has none).
int32_t image_font_width(const ImageRecord* image);
int32_t image_font_height(const ImageRecord* image);

// Screen modes: SCREEN and WIDTH.
inline constexpr uint32_t kScreenPassedMode = 1;
inline constexpr uint32_t kScreenPassedActive = 4;
inline constexpr uint32_t kScreenPassedVisual = 8;
void screen_mode(int32_t mode, int32_t page_active, int32_t page_visual, uint32_t passed);
void screen_width(int32_t columns, int32_t rows, uint32_t passed);
// Start-up: image tables and the default 80 x 25 screen with its untouched flag.
void screen_startup();

// ---------------------------------------------------------------------------------------
// Character output
// ---------------------------------------------------------------------------------------

void print_string(const BasicString* text, int32_t end_line);
// The same for plain bytes (used by the runtime's own printing).
void print_bytes(const uint8_t* text, int32_t length, int32_t end_line);
void print_newline();
void print_make_fit(const BasicString* text);
void print_make_fit_bytes(const uint8_t* text, int32_t length);
void print_put_char(uint32_t code);
int32_t print_glyph_width(uint32_t code);
int32_t print_text_width(const BasicString* text, int32_t handle, int32_t handle_given);
void print_set_control_chars(int32_t mode);

// One character of a loaded font rendered for drawing on a graphics image: `width`
// columns by `height` rows of coverage bytes (0 none .. 255 full; a solid rendering
// uses only 0 and 255), as the font renderer produced them (font height + 2 rows).
struct GlyphBitmap {
    std::vector<uint8_t> coverage;
    int32_t width;
    int32_t height;
};
// Renders `code` (a code page 437 character, or a code point for a UNICODE font) in a
// loaded font; false when it cannot be rendered. Installed by the display side, which
// owns the font library; null means loaded-font glyphs are skipped.
using ScreenGlyphRenderer = bool (*)(int32_t font, uint32_t code, bool solid, GlyphBitmap& out);
extern ScreenGlyphRenderer screen_glyph_renderer;

// ---------------------------------------------------------------------------------------
// Screen statements
// ---------------------------------------------------------------------------------------

void print_comma();
void screen_cls(int32_t kind, uint32_t colour, uint32_t passed);
void screen_color(uint32_t fore, uint32_t back, uint32_t border, uint32_t passed);
void screen_locate(int32_t row, int32_t column, int32_t cursor, int32_t start, int32_t stop,
                   uint32_t passed);
void screen_view_print(int32_t top, int32_t bottom, int32_t given);

// The function-key line.
void screen_key_line_refresh();
// KEY ON / KEY OFF.
void screen_key_line_show(int32_t on);
// Forces the next refresh to redraw (CLS and SCREEN ask for it).
void screen_key_line_force();
// The assigned text of function key n (1..12; 11 and 12 are kept at entries 30 and 31).
void screen_key_set_text(int32_t key, const uint8_t* text, int32_t length);
