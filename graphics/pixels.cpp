// The pixel writer with its blend tables, coordinate mapping and rectangle fills.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "errors/errors.h"
#include "graphics/graphics.h"
#include "screen/screen.h"

namespace {

constexpr size_t kChannelTableBytes = 256u * 256u * 256u;
constexpr size_t kAlphaTableBytes = 256u * 256u;

// Channel table index a * 65536 + s * 256 + d; alpha table index a * 256 + b.
struct BlendTables {
    uint8_t* channel;
    uint8_t alpha[kAlphaTableBytes];
};
BlendTables blend_tables{};
std::atomic<bool> blend_ready{false};
std::once_flag blend_once;

uint8_t round_even(float v) { return static_cast<uint8_t>(std::nearbyint(v)); }

void build_tables() {
    auto* channel = static_cast<uint8_t*>(std::malloc(kChannelTableBytes));
    if (channel == nullptr) error_raise(502);
    for (int a = 0; a < 256; ++a) {
        const float fa = static_cast<float>(a) / 255.0f;
        const float fb = 1.0f - fa;
        for (int s = 0; s < 256; ++s) {
            uint8_t* row = channel + static_cast<size_t>(a) * 65536 + static_cast<size_t>(s) * 256;
            const float part = fa * static_cast<float>(s);
            for (int d = 0; d < 256; ++d) row[d] = round_even(part + fb * static_cast<float>(d));
        }
        for (int b = 0; b < 256; ++b) {
            const float fbb = static_cast<float>(b) / 255.0f;
            blend_tables.alpha[a * 256 + b] = round_even(255.0f * (1.0f - (1.0f - fa) * (1.0f - fbb)));
        }
    }
    blend_tables.channel = channel;
    blend_ready.store(true);
}

uint32_t blend_pixel(uint32_t old, uint32_t colour) {
    const uint32_t a = colour >> 24;
    const uint32_t new_alpha = blend_tables.alpha[a * 256 + (old >> 24)];
    if (a == 127 || a == 128) {
        const uint32_t rgb = ((colour & 0xFEFEFEu) + (old & 0xFEFEFEu)) >> 1;
        return (new_alpha << 24) | rgb;
    }
    const uint8_t* table = blend_tables.channel + static_cast<size_t>(a) * 65536;
    uint32_t result = new_alpha << 24;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t s = (colour >> shift) & 0xFF;
        const uint32_t d = (old >> shift) & 0xFF;
        result |= static_cast<uint32_t>(table[s * 256 + d]) << shift;
    }
    return result;
}

uint32_t* pixel32(ImageRecord* image, int32_t px, int32_t py) {
    return reinterpret_cast<uint32_t*>(image->pixels) + static_cast<size_t>(py) * image->width + px;
}

// Nearest pixel (halves to even) of a coordinate, plus an origin. A point far beyond any
// image is held far beyond it rather than wrapped round onto it; NaN counts as far left.
int32_t pixel_nearest(float v, int32_t origin) {
    constexpr double kFar = 1.0e9;
    double p = std::nearbyint(static_cast<double>(v)) + origin;
    if (!(p > -kFar)) p = -kFar;
    if (p > kFar) p = kFar;
    return static_cast<int32_t>(p);
}

}  // namespace

void graphics_build_blend_tables() { std::call_once(blend_once, build_tables); }

bool graphics_blend_tables_ready() { return blend_ready.load(); }

void graphics_write_pixel_on(ImageRecord* image, int32_t px, int32_t py, uint32_t colour) {
    if (image == nullptr || image->is_text) return;
    if (image->bytes_per_pixel == 1) {
        image->pixels[static_cast<size_t>(py) * image->width + px] = static_cast<uint8_t>(colour & image->color_mask);
        return;
    }
    uint32_t* p = pixel32(image, px, py);
    if (image->no_blend) {
        *p = colour;
        return;
    }
    const uint32_t a = colour >> 24;
    if (a == 0) return;
    if (a == 255) {
        *p = colour;
        return;
    }
    graphics_build_blend_tables();
    *p = blend_pixel(*p, colour);
}

void graphics_write_pixel(int32_t px, int32_t py, uint32_t colour) {
    graphics_write_pixel_on(current_images.destination, px, py, colour);
}

uint32_t graphics_read_pixel(int32_t px, int32_t py) {
    const ImageRecord* image = current_images.destination;
    if (image == nullptr || image->is_text) return 0;
    if (image->bytes_per_pixel == 1) {
        return image->pixels[static_cast<size_t>(py) * image->width + px] & image->color_mask;
    }
    return reinterpret_cast<const uint32_t*>(image->pixels)[static_cast<size_t>(py) * image->width + px];
}

void graphics_fill_rect_on(ImageRecord* image, int32_t px1, int32_t py1, int32_t px2, int32_t py2,
                           uint32_t colour) {
    if (image == nullptr || image->is_text || px1 > px2 || py1 > py2) return;
    const size_t count = static_cast<size_t>(px2 - px1 + 1);
    if (image->bytes_per_pixel == 1) {
        const auto value = static_cast<uint8_t>(colour & image->color_mask);
        for (int32_t y = py1; y <= py2; ++y) {
            std::memset(image->pixels + static_cast<size_t>(y) * image->width + px1, value, count);
        }
        return;
    }
    const uint32_t a = colour >> 24;
    if (image->no_blend || a == 255) {
        uint32_t* first = pixel32(image, px1, py1);
        for (size_t i = 0; i < count; ++i) first[i] = colour;
        for (int32_t y = py1 + 1; y <= py2; ++y) std::memcpy(pixel32(image, px1, y), first, count * 4);
        return;
    }
    if (a == 0) return;
    graphics_build_blend_tables();
    for (int32_t y = py1; y <= py2; ++y) {
        uint32_t* row = pixel32(image, px1, y);
        for (size_t i = 0; i < count; ++i) row[i] = blend_pixel(row[i], colour);
    }
}

void graphics_fill_rect(int32_t px1, int32_t py1, int32_t px2, int32_t py2, uint32_t colour) {
    graphics_fill_rect_on(current_images.destination, px1, py1, px2, py2, colour);
}

void graphics_map_point(const ImageRecord* image, float x, float y, int32_t* px, int32_t* py) {
    switch (image->coord_mode) {
    case 1:
        *px = pixel_nearest(x, image->view_origin_x);
        *py = pixel_nearest(y, image->view_origin_y);
        break;
    case 2:
        *px = pixel_nearest(x * image->scale_x + image->offset_x, image->view_origin_x);
        *py = pixel_nearest(y * image->scale_y + image->offset_y, image->view_origin_y);
        break;
    default:
        *px = pixel_nearest(x, 0);
        *py = pixel_nearest(y, 0);
        break;
    }
}

void graphics_box_fill(float x1, float y1, float x2, float y2, uint32_t colour) {
    ImageRecord* image = current_images.destination;
    if (image == nullptr || image->is_text) return;
    int32_t px1, py1, px2, py2;
    graphics_map_point(image, x1, y1, &px1, &py1);
    graphics_map_point(image, x2, y2, &px2, &py2);
    if (px1 > px2) std::swap(px1, px2);
    if (py1 > py2) std::swap(py1, py2);
    // The viewport never reaches past the image, whatever it was set to.
    const int32_t left = std::max(image->view_x1, 0);
    const int32_t top = std::max(image->view_y1, 0);
    const int32_t right = std::min(image->view_x2, image->width - 1);
    const int32_t bottom = std::min(image->view_y2, image->height - 1);
    if (px2 < left || px1 > right || py2 < top || py1 > bottom) return;
    px1 = std::max(px1, left);
    py1 = std::max(py1, top);
    px2 = std::min(px2, right);
    py2 = std::min(py2, bottom);
    graphics_fill_rect_on(image, px1, py1, px2, py2, colour);
}
