// The pixel writer, blending, rectangle fills and box fills on graphics images.
#include <gtest/gtest.h>

#include "errors/errors.h"
#include "graphics/graphics.h"
#include "screen/screen.h"

namespace {

class PixelTest : public ::testing::Test {
protected:
    void SetUp() override {
        error_state.error_number = 0;
        if (page_table.entries == nullptr || page_table.entries[0] == 0) screen_startup();
        saved_destination_ = image_get_destination();
    }
    void TearDown() override {
        image_set_destination(saved_destination_);
        for (int32_t h : images_) image_free(h, 1);
        error_state.error_number = 0;
    }
    ImageRecord* make(int32_t width, int32_t height, int32_t mode) {
        const int32_t h = image_new(width, height, mode, 1);
        EXPECT_LE(h, -2);
        images_.push_back(h);
        image_set_destination(h);
        return image_record(-h);
    }
    static uint32_t word(const ImageRecord* image, int x, int y) {
        return reinterpret_cast<const uint32_t*>(image->pixels)[y * image->width + x];
    }
    int32_t saved_destination_ = 0;
    std::vector<int32_t> images_;
};

TEST_F(PixelTest, BlendingRules) {
    struct BlendCase {
        const char* name;
        uint32_t old, colour;
        uint8_t no_blend;
        uint32_t want;
    };
    const BlendCase cases[] = {
        {"even mix at alpha 128", 0xFF0000FFu, 0x80FF0000u, 0, 0xFF7F007Fu},
        {"transparent changes nothing", 0xFF102030u, 0x00FFFFFFu, 0, 0xFF102030u},
        {"opaque stores", 0xFF102030u, 0xFFFFFFFFu, 0, 0xFFFFFFFFu},
        {"no blending stores transparent white", 0xFF102030u, 0x00FFFFFFu, 1, 0x00FFFFFFu},
        {"table blend at alpha 64", 0xFF000000u, 0x40FF0000u, 0, 0xFF400000u},
    };
    ImageRecord* image = make(4, 4, 32);
    for (const BlendCase& c : cases) {
        SCOPED_TRACE(c.name);
        image->no_blend = c.no_blend;
        reinterpret_cast<uint32_t*>(image->pixels)[0] = c.old;
        graphics_write_pixel(0, 0, c.colour);
        EXPECT_EQ(word(image, 0, 0), c.want);
    }
    EXPECT_TRUE(graphics_blend_tables_ready());
}

TEST_F(PixelTest, IndexedWritesAreMasked) {
    ImageRecord* image = make(8, 8, 1);  // two bits per pixel
    graphics_write_pixel(3, 2, 0xFF);
    EXPECT_EQ(image->pixels[2 * 8 + 3], 3);
    graphics_fill_rect(0, 0, 7, 0, 6);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(image->pixels[x], 2);
    EXPECT_EQ(graphics_read_pixel(3, 2), 3u);
}

TEST_F(PixelTest, FillRect32) {
    ImageRecord* image = make(6, 5, 32);
    graphics_fill_rect(1, 1, 4, 3, 0xFF00FF00u);
    EXPECT_EQ(word(image, 1, 1), 0xFF00FF00u);
    EXPECT_EQ(word(image, 4, 3), 0xFF00FF00u);
    EXPECT_EQ(word(image, 0, 0), 0u);
    EXPECT_EQ(word(image, 5, 3), 0u);
    EXPECT_EQ(word(image, 1, 4), 0u);
    graphics_fill_rect(1, 1, 4, 3, 0x80FF0000u);
    EXPECT_EQ(word(image, 2, 2) & 0xFFFFFF, 0x7F7F00u);
}

TEST_F(PixelTest, BoxFillOrdersAndClips) {
    ImageRecord* image = make(10, 10, 13);
    graphics_box_fill(7, 8, 2, 3, 5);  // corners in either order
    EXPECT_EQ(image->pixels[3 * 10 + 2], 5);
    EXPECT_EQ(image->pixels[8 * 10 + 7], 5);
    EXPECT_EQ(image->pixels[2 * 10 + 2], 0);
    graphics_box_fill(-50, -50, 100, 1, 9);  // clipped to the viewport
    EXPECT_EQ(image->pixels[0], 9);
    EXPECT_EQ(image->pixels[1 * 10 + 9], 9);
    EXPECT_EQ(image->pixels[2 * 10 + 9], 0);
    graphics_box_fill(20, 20, 30, 30, 1);  // wholly outside: nothing
    EXPECT_EQ(image->pixels[99], 0);
}

// Points far beyond any image stay beyond its edge instead of wrapping round onto it.
TEST_F(PixelTest, BoxFillWithFarCornersReachesTheEdgeItPointsTo) {
    struct FarCase {
        const char* name;
        float x1, x2;
        int first, last;  // columns of row 0 filled
    };
    const FarCase cases[] = {
        {"far right", 6.0f, 4294967296.0f, 6, 9},
        {"far left", -3.0e9f, 3.0f, 0, 3},
        {"both beyond the edges", -1.0e30f, 1.0e30f, 0, 9},
    };
    for (const FarCase& c : cases) {
        SCOPED_TRACE(c.name);
        ImageRecord* image = make(10, 10, 13);
        graphics_box_fill(c.x1, 0, c.x2, 0, 4);
        for (int x = 0; x < 10; ++x) EXPECT_EQ(image->pixels[x], x >= c.first && x <= c.last ? 4 : 0) << x;
    }
}

TEST_F(PixelTest, MapPointRoundsToEven) {
    ImageRecord* image = make(10, 10, 13);
    int32_t px, py;
    graphics_map_point(image, 2.5f, 3.5f, &px, &py);
    EXPECT_EQ(px, 2);
    EXPECT_EQ(py, 4);
    image->coord_mode = 1;
    image->view_origin_x = 3;
    image->view_origin_y = 1;
    graphics_map_point(image, 1.0f, 1.0f, &px, &py);
    EXPECT_EQ(px, 4);
    EXPECT_EQ(py, 2);
    image->coord_mode = 2;
    image->scale_x = 2.0f;
    image->offset_x = 1.0f;
    image->scale_y = 1.0f;
    graphics_map_point(image, 1.0f, 1.0f, &px, &py);
    EXPECT_EQ(px, 6);
    EXPECT_EQ(py, 2);
}

}  // namespace
