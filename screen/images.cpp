// The image table, image records and their defaults, handles and the current images.
#include <cstdlib>
#include <cstring>
#include <new>

#include "display/fonts.h"
#include "errors/errors.h"
#include "graphics/graphics.h"
#include "screen/private/screen_private.h"
#include "screen/screen.h"

ImageTable image_table{};
PageTable page_table{};
CurrentImages current_images{};

namespace {

constexpr int32_t kCriticalTableGrowth = 502;
constexpr int32_t kCriticalFreeListGrowth = 503;

constexpr ScreenModeDefaults kModeDefaults[] = {
    {0, 0, 0, 16, 2, 16, 7, 0, PaletteKind::colours16},
    {1, 320, 200, 2, 1, 8, 3, 0, PaletteKind::colours4},
    {2, 640, 200, 1, 1, 8, 1, 0, PaletteKind::colours2},
    {7, 320, 200, 4, 1, 8, 15, 0, PaletteKind::colours16},
    {8, 640, 200, 4, 1, 8, 15, 0, PaletteKind::colours16},
    {9, 640, 350, 4, 1, 14, 15, 0, PaletteKind::ega},
    {10, 640, 350, 2, 1, 14, 3, 0, PaletteKind::mono},
    {11, 640, 480, 1, 1, 16, 1, 0, PaletteKind::colours2},
    {12, 640, 480, 4, 1, 16, 15, 0, PaletteKind::colours16},
    {13, 320, 200, 8, 1, 8, 15, 0, PaletteKind::colours256},
    {256, 0, 0, 8, 1, 16, 15, 0, PaletteKind::colours256},
    {32, 0, 0, 32, 4, 16, 0xFFFFFFFFu, 0xFF000000u, PaletteKind::none},
};

// EGA table entries that make up the 16 colours of mode 9.
constexpr uint8_t kEgaDefaultEntries[16] = {0, 1, 2, 3, 4, 5, 20, 7, 56, 57, 58, 59, 60, 61, 62, 63};

ImageRecord* image_checked(int32_t n) {
    if (n < 2 || n >= image_table.used) return nullptr;
    ImageRecord* image = image_record(n);
    return image->in_use ? image : nullptr;
}

// Adds one block of records; the existing blocks stay where they are.
void image_table_grow() {
    const int32_t blocks = image_table.block_count + 1;
    auto** list = static_cast<ImageRecord**>(std::realloc(image_table.blocks, sizeof(ImageRecord*) * blocks));
    if (list == nullptr) error_raise(kCriticalTableGrowth);
    image_table.blocks = list;
    auto* block = static_cast<ImageRecord*>(std::calloc(kImageTableGrowth, sizeof(ImageRecord)));
    if (block == nullptr) error_raise(kCriticalTableGrowth);
    image_table.blocks[image_table.block_count] = block;
    image_table.block_count = blocks;
    image_table.capacity = blocks * kImageTableGrowth;
}

void image_free_list_grow() {
    const int32_t capacity = image_table.free_capacity + kImageTableGrowth;
    auto* list = static_cast<int32_t*>(std::realloc(image_table.free_list, sizeof(int32_t) * capacity));
    if (list == nullptr) error_raise(kCriticalFreeListGrowth);
    image_table.free_list = list;
    image_table.free_capacity = capacity;
}

bool image_is_32bit(const ImageRecord* image) { return image->bits_per_pixel >= 32; }

}  // namespace

const ScreenModeDefaults* screen_mode_defaults(int32_t mode) {
    for (const ScreenModeDefaults& entry : kModeDefaults) {
        if (entry.mode == mode) return &entry;
    }
    return nullptr;
}

int32_t image_font_width(const ImageRecord* image) { return font_cell_width(image->font); }

int32_t image_font_height(const ImageRecord* image) {
    const int32_t h = font_cell_height(image->font);
    return h > 0 ? h : 1;
}

int32_t image_text_rows(const ImageRecord* image) {
    if (image->is_text) return image->height;
    return image->height / image_font_height(image);
}

int32_t image_text_columns(const ImageRecord* image) {
    if (image->is_text) return image->width;
    const int32_t w = image_font_width(image);
    return w > 0 ? image->width / w : image->width;
}

void image_table_init() {
    if (image_table.blocks != nullptr) return;
    image_table_grow();
    image_free_list_grow();
    image_table.used = 2;  // numbers 0 and 1 are never handed out
    image_table.free_count = 0;
    page_table.entries = static_cast<int32_t*>(std::calloc(1, sizeof(int32_t)));
    if (page_table.entries == nullptr) error_raise(kCriticalTableGrowth);
    page_table.length = 1;
}

int32_t image_alloc_slot() {
    if (image_table.blocks == nullptr) image_table_init();
    int32_t n;
    if (image_table.free_count > 0) {
        n = image_table.free_list[--image_table.free_count];
    } else {
        if (image_table.used == image_table.capacity) image_table_grow();
        n = image_table.used++;
    }
    image_record(n)->in_use = 1;
    return n;
}

int32_t image_release_slot(int32_t n) {
    ImageRecord* image = image_checked(n);
    if (image == nullptr) return 0;
    if (image_table.free_count == image_table.free_capacity) image_free_list_grow();
    // No memory-block facility holds registrations yet, so releasing it is clearing it.
    *image = ImageRecord{};
    image_table.free_list[image_table.free_count++] = n;
    return 1;
}

void image_set_default_palette(ImageRecord* image) {
    if (image->palette == nullptr) return;
    const ScreenModeDefaults* defaults = screen_mode_defaults(image->mode);
    if (defaults == nullptr) return;
    uint32_t colours[256] = {};
    switch (defaults->palette) {
    case PaletteKind::none:
        return;
    case PaletteKind::colours16:
        for (int i = 0; i < 16; ++i) colours[i] = PaletteVga[i];
        break;
    case PaletteKind::colours4:
        colours[0] = PaletteVga[0];
        colours[1] = PaletteVga[3];
        colours[2] = PaletteVga[5];
        colours[3] = PaletteVga[7];
        break;
    case PaletteKind::colours2:
        colours[0] = 0x00000000u;
        colours[1] = 0x00FFFFFFu;
        break;
    case PaletteKind::ega:
        for (int i = 0; i < 16; ++i) colours[i] = PaletteEga[kEgaDefaultEntries[i]];
        break;
    case PaletteKind::mono:
        colours[4] = 0;
        colours[5] = 4;
        colours[6] = 6;
        colours[7] = 8;
        break;
    case PaletteKind::colours256:
        for (int i = 0; i < 256; ++i) colours[i] = PaletteVga[i];
        break;
    }
    for (int i = 0; i < 256; ++i) image_field_store(image->palette[i], colours[i]);
}

void image_reset_text_window(ImageRecord* image) {
    image_field_store(image->cursor_x, static_cast<int16_t>(1));
    image_field_store(image->cursor_y, static_cast<int16_t>(1));
    image->view_top = 1;
    const int32_t rows = image_text_rows(image);
    image->view_bottom = static_cast<int16_t>(rows - 1 >= 1 ? rows - 1 : 1);
}

void image_apply_font(ImageRecord* image, int32_t font) {
    image_field_store(image->font, font);
    image_reset_text_window(image);
}

int32_t image_init_record(uint8_t* storage, int32_t width, int32_t height, int32_t mode) {
    const ScreenModeDefaults* defaults = screen_mode_defaults(mode);
    // The size fields are 16 bits wide; anything larger cannot be described.
    if (width < 1 || height < 1 || width > 65535 || height > 65535 || defaults == nullptr) return 0;
    const int32_t n = image_alloc_slot();
    ImageRecord* image = image_record(n);
    image->is_text = mode == 0 ? 1 : 0;
    image->width = static_cast<uint16_t>(width);
    image->height = static_cast<uint16_t>(height);
    image->bytes_per_pixel = defaults->bytes_per_pixel;
    image->bits_per_pixel = defaults->bits_per_pixel;
    image->color_mask = defaults->bits_per_pixel >= 32 ? 0xFFFFFFFFu : (1u << defaults->bits_per_pixel) - 1u;
    image->mode = static_cast<uint16_t>(mode);
    image->fg_color = defaults->fg_color;
    image->bg_color = defaults->bg_color;
    image->draw_color = defaults->fg_color;
    image->font = defaults->font;
    image->print_mode = 3;
    image->clear_color = defaults->bits_per_pixel >= 32 ? 0 : kNoClearColor;
    image->draw_angle = 0.0;
    image->draw_scale = 1.0;
    image->pixels = storage;
    image_reset_text_window(image);
    if (image->is_text) {
        image->cursor_visible = 0;
        image->cursor_start = 4;
        image->cursor_stop = 4;
    } else {
        image->last_x = static_cast<float>(width) / 2.0f;
        image->last_y = static_cast<float>(height) / 2.0f;
        image->view_x2 = width - 1;
        image->view_y2 = height - 1;
        image->window_x2 = static_cast<float>(width - 1);
        image->window_y2 = static_cast<float>(height - 1);
        image->scale_x = 1.0f;
        image->scale_y = 1.0f;
    }
    if (defaults->palette != PaletteKind::none) {
        auto* palette = static_cast<uint32_t*>(std::calloc(256, sizeof(uint32_t)));
        if (palette == nullptr) {
            image_release_slot(n);
            return 0;
        }
        image->palette = palette;
        image->image_flags |= kImageOwnsPalette;
        image_set_default_palette(image);
    }
    return n;
}

int32_t image_create(int32_t width, int32_t height, int32_t mode) {
    const ScreenModeDefaults* defaults = screen_mode_defaults(mode);
    if (width < 1 || height < 1 || width > 65535 || height > 65535 || defaults == nullptr) return 0;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    auto* storage = static_cast<uint8_t*>(std::calloc(count, defaults->bytes_per_pixel));
    if (storage == nullptr) return 0;
    if (mode == 0) {
        for (size_t i = 0; i < count; ++i) {
            storage[i * 2] = kBlankCell & 0xFF;
            storage[i * 2 + 1] = kBlankCell >> 8;
        }
    }
    if (mode == 32) graphics_build_blend_tables();
    const int32_t n = image_init_record(storage, width, height, mode);
    if (n == 0) {
        std::free(storage);
        return 0;
    }
    image_record(n)->image_flags |= kImageOwnsPixels;
    return n;
}

void image_dispose(int32_t n) {
    ImageRecord* image = image_checked(n);
    if (image == nullptr) return;
    if (image->image_flags & kImageOwnsPixels) std::free(image->pixels);
    if (image->image_flags & kImageOwnsPalette) std::free(image->palette);
    image->pixels = nullptr;
    image->palette = nullptr;
    image_release_slot(n);
}

int32_t image_new(int32_t width, int32_t height, int32_t mode, int32_t mode_given) {
    if (error_pending()) return 0;
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) {
        error_raise(kErrorIllegalFunctionCall);
        return 0;
    }
    ImageRecord* model = nullptr;
    if (mode_given) {
        if (screen_mode_defaults(mode) == nullptr) {
            error_raise(kErrorIllegalFunctionCall);
            return 0;
        }
    } else {
        model = current_images.destination;
        if (model == nullptr) {
            error_raise(kErrorIllegalFunctionCall);
            return 0;
        }
        mode = model->mode;
    }
    const int32_t n = image_create(width, height, mode);
    if (n == 0) return -1;
    ImageRecord* image = image_record(n);
    if (model != nullptr) {
        if (model->palette != nullptr && image->palette != nullptr) {
            std::memcpy(image->palette, model->palette, 256 * sizeof(uint32_t));
        }
        image_set_font(model->font, -n, 1);
        image->fg_color = model->fg_color;
        image->bg_color = model->bg_color;
        image->clear_color = model->clear_color;
        image->no_blend = model->no_blend;
        image->print_mode = model->print_mode;
    }
    return -n;
}

void image_free(int32_t handle, int32_t handle_given) {
    if (error_pending()) return;
    int32_t n;
    if (handle_given) {
        if (handle >= 0) {
            error_raise(kErrorIllegalFunctionCall);
            return;
        }
        n = image_resolve(handle);
        if (n == 0) return;
    } else {
        n = current_images.destination_number;
    }
    ImageRecord* image = image_checked(n);
    if (image == nullptr) {
        error_raise(kErrorInvalidHandle);
        return;
    }
    if (image->image_flags & kImageScreenPage) {
        error_raise(kErrorIllegalFunctionCall);
        return;
    }
    const int32_t display = current_images.display_number.load();
    if (current_images.destination_number == n) screen_select_destination(display);
    if (current_images.source_number == n) screen_select_source(display);
    image_dispose(n);
}

void image_free_all() {
    const int32_t display = current_images.display_number.load();
    for (int32_t n = 2; n < image_table.used; ++n) {
        ImageRecord* image = image_record(n);
        if (!image->in_use || (image->image_flags & kImageScreenPage)) continue;
        if (current_images.destination_number == n) screen_select_destination(display);
        if (current_images.source_number == n) screen_select_source(display);
        image_dispose(n);
    }
}

int32_t image_copy(int32_t handle, int32_t handle_given) {
    if (error_pending()) return 0;
    const int32_t from = handle_given ? image_resolve(handle) : current_images.destination_number;
    if (from == 0) return 0;
    const ImageRecord* source = image_record(from);
    const size_t bytes = static_cast<size_t>(source->width) * source->height * source->bytes_per_pixel;
    auto* pixels = static_cast<uint8_t*>(std::malloc(bytes > 0 ? bytes : 1));
    if (pixels == nullptr) return -1;
    uint32_t* palette = nullptr;
    if (source->palette != nullptr) {
        palette = static_cast<uint32_t*>(std::malloc(256 * sizeof(uint32_t)));
        if (palette == nullptr) {
            std::free(pixels);
            return -1;
        }
        std::memcpy(palette, source->palette, 256 * sizeof(uint32_t));
    }
    if (source->is_text) {
        for (size_t i = 0; i + 1 < bytes; i += 2) {
            const uint16_t cell = screen_cell_load(source->pixels + i);
            std::memcpy(pixels + i, &cell, 2);
        }
    } else {
        std::memcpy(pixels, source->pixels, bytes);
    }
    const int32_t n = image_alloc_slot();
    ImageRecord* image = image_record(n);
    *image = *source;
    image->mem_block = MemBlockDescriptor{};
    image->pixels = pixels;
    image->palette = palette;
    image->image_flags = (image->image_flags & ~(kImageScreenPage | kImageOwnsPalette)) | kImageOwnsPixels;
    if (palette != nullptr) image->image_flags |= kImageOwnsPalette;
    return -n;
}

int32_t image_resolve(int32_t handle) {
    if (handle >= 0) return screen_page_image(handle);
    const int64_t n = -static_cast<int64_t>(handle);
    if (n >= image_table.used || !image_record(static_cast<int32_t>(n))->in_use) {
        error_raise(kErrorInvalidHandle);
        return 0;
    }
    return static_cast<int32_t>(n);
}

void screen_select_destination(int32_t n) {
    current_images.destination_number = n;
    current_images.destination = n > 0 ? image_record(n) : nullptr;
}

void screen_select_source(int32_t n) {
    current_images.source_number = n;
    current_images.source = n > 0 ? image_record(n) : nullptr;
}

void screen_select_display(int32_t n) {
    current_images.display.store(n > 0 ? image_record(n) : nullptr);
    current_images.display_number.store(n);
}

void image_set_destination(int32_t handle) {
    if (error_pending()) return;
    const int32_t n = image_resolve(handle);
    if (n != 0) screen_select_destination(n);
}

void image_set_source(int32_t handle) {
    if (error_pending()) return;
    const int32_t n = image_resolve(handle);
    if (n != 0) screen_select_source(n);
}

int32_t image_get_destination() { return -current_images.destination_number; }
int32_t image_get_source() { return -current_images.source_number; }
int32_t image_get_display() { return -current_images.display_number.load(); }

bool screen_page_table_reserve(int32_t length) {
    if (length <= page_table.length) return true;
    auto* entries = static_cast<int32_t*>(std::realloc(page_table.entries, sizeof(int32_t) * length));
    if (entries == nullptr) return false;
    for (int32_t i = page_table.length; i < length; ++i) entries[i] = 0;
    page_table.entries = entries;
    page_table.length = length;
    return true;
}

int32_t screen_page_image(int32_t page) {
    if (error_pending()) return 0;
    if (page < 0 || page > kScreenMaxPage) {
        error_raise(kErrorIllegalFunctionCall);
        return 0;
    }
    if (page_table.entries == nullptr) image_table_init();
    if (!screen_page_table_reserve(page + 1)) {
        error_raise(kErrorOutOfMemory);
        return 0;
    }
    if (page_table.entries[page] != 0) return page_table.entries[page];
    const int32_t first = page_table.entries[0];
    if (first == 0) {
        error_raise(kErrorIllegalFunctionCall);
        return 0;
    }
    const ImageRecord* screen = image_record(first);
    const int32_t n = image_create(screen->width, screen->height, screen->mode);
    if (n == 0) {
        error_raise(kErrorOutOfMemory);
        return 0;
    }
    ImageRecord* image = image_record(n);
    if (screen->mode != 32 && screen->palette != nullptr) {
        if (image->image_flags & kImageOwnsPalette) std::free(image->palette);
        image->palette = screen->palette;
        image->image_flags &= ~kImageOwnsPalette;
    }
    image->image_flags |= kImageScreenPage;
    image_apply_font(image, screen->font);
    page_table.entries[page] = n;
    return n;
}

void image_default_colors() {
    ImageRecord* image = current_images.destination;
    if (image == nullptr) return;
    const ScreenModeDefaults* defaults = screen_mode_defaults(image->mode);
    if (defaults == nullptr) return;
    image->fg_color = defaults->fg_color;
    image->bg_color = defaults->bg_color;
    image->draw_color = image->fg_color;
}

void image_set_palette_color(int32_t index, uint32_t colour, int32_t handle, int32_t handle_given) {
    if (error_pending()) return;
    const int32_t n = handle_given ? image_resolve(handle) : current_images.destination_number;
    if (n == 0) return;
    ImageRecord* image = image_record(n);
    if (image->palette == nullptr || index < 0 || index > 255) {
        error_raise(kErrorIllegalFunctionCall);
        return;
    }
    image_field_store(image->palette[index], colour);
}

void image_set_blend(int32_t handle, int32_t handle_given, int32_t on) {
    if (error_pending()) return;
    const int32_t n = handle_given ? image_resolve(handle) : current_images.destination_number;
    if (n == 0) return;
    ImageRecord* image = image_record(n);
    if (!image_is_32bit(image)) {
        if (on) error_raise(kErrorIllegalFunctionCall);
        return;
    }
    image->no_blend = on ? 0 : 1;
}

// ---------------------------------------------------------------------------------------
// The 176-byte file form
// ---------------------------------------------------------------------------------------

namespace {

template <class T>
void put(uint8_t* out, int offset, T value) {
    std::memcpy(out + offset, &value, sizeof(T));
}
template <class T>
void get(const uint8_t* in, int offset, T& value) {
    std::memcpy(&value, in + offset, sizeof(T));
}
uint32_t pointer_word(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

}  // namespace

void image_record_to_bytes(const ImageRecord& r, uint8_t* out) {
    std::memset(out, 0, kImageRecordFileBytes);
    put(out, 0, r.mem_block.word0);
    put(out, 4, r.mem_block.word1);
    put(out, 8, r.mem_block.kind);
    put(out, 12, pointer_word(r.mem_block.pointer));
    put(out, 16, r.in_use);
    put(out, 17, r.is_text);
    put(out, 18, r.is_console);
    put(out, 20, r.width);
    put(out, 22, r.height);
    put(out, 24, r.bytes_per_pixel);
    put(out, 25, r.bits_per_pixel);
    put(out, 28, r.color_mask);
    put(out, 32, r.mode);
    put(out, 36, r.fg_color);
    put(out, 40, r.bg_color);
    put(out, 44, r.draw_color);
    put(out, 48, r.font);
    put(out, 52, r.view_top);
    put(out, 54, r.view_bottom);
    put(out, 56, r.cursor_x);
    put(out, 58, r.cursor_y);
    put(out, 60, r.cursor_visible);
    put(out, 61, r.cursor_start);
    put(out, 62, r.cursor_stop);
    put(out, 64, pointer_word(r.pixels));
    put(out, 68, r.image_flags);
    put(out, 72, pointer_word(r.palette));
    put(out, 76, r.clear_color);
    put(out, 80, r.no_blend);
    put(out, 81, r.wrap_state);
    put(out, 82, r.print_mode);
    put(out, 84, r.view_x1);
    put(out, 88, r.view_y1);
    put(out, 92, r.view_x2);
    put(out, 96, r.view_y2);
    put(out, 100, r.view_origin_x);
    put(out, 104, r.view_origin_y);
    put(out, 108, r.last_x);
    put(out, 112, r.last_y);
    put(out, 116, r.coord_mode);
    put(out, 120, r.scale_x);
    put(out, 124, r.scale_y);
    put(out, 128, r.offset_x);
    put(out, 132, r.offset_y);
    put(out, 136, r.window_x1);
    put(out, 140, r.window_y1);
    put(out, 144, r.window_x2);
    put(out, 148, r.window_y2);
    put(out, 152, r.draw_angle);
    put(out, 160, r.draw_scale);
}

void image_record_from_bytes(const uint8_t* in, ImageRecord& r) {
    r = ImageRecord{};
    get(in, 0, r.mem_block.word0);
    get(in, 4, r.mem_block.word1);
    get(in, 8, r.mem_block.kind);
    get(in, 16, r.in_use);
    get(in, 17, r.is_text);
    get(in, 18, r.is_console);
    get(in, 20, r.width);
    get(in, 22, r.height);
    get(in, 24, r.bytes_per_pixel);
    get(in, 25, r.bits_per_pixel);
    get(in, 28, r.color_mask);
    get(in, 32, r.mode);
    get(in, 36, r.fg_color);
    get(in, 40, r.bg_color);
    get(in, 44, r.draw_color);
    get(in, 48, r.font);
    get(in, 52, r.view_top);
    get(in, 54, r.view_bottom);
    get(in, 56, r.cursor_x);
    get(in, 58, r.cursor_y);
    get(in, 60, r.cursor_visible);
    get(in, 61, r.cursor_start);
    get(in, 62, r.cursor_stop);
    get(in, 68, r.image_flags);
    get(in, 76, r.clear_color);
    get(in, 80, r.no_blend);
    get(in, 81, r.wrap_state);
    get(in, 82, r.print_mode);
    get(in, 84, r.view_x1);
    get(in, 88, r.view_y1);
    get(in, 92, r.view_x2);
    get(in, 96, r.view_y2);
    get(in, 100, r.view_origin_x);
    get(in, 104, r.view_origin_y);
    get(in, 108, r.last_x);
    get(in, 112, r.last_y);
    get(in, 116, r.coord_mode);
    get(in, 120, r.scale_x);
    get(in, 124, r.scale_y);
    get(in, 128, r.offset_x);
    get(in, 132, r.offset_y);
    get(in, 136, r.window_x1);
    get(in, 140, r.window_y1);
    get(in, 144, r.window_x2);
    get(in, 148, r.window_y2);
    get(in, 152, r.draw_angle);
    get(in, 160, r.draw_scale);
}
