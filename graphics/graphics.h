// Graphics pixel layer: the pixel writer with alpha blending, coordinate mapping and rectangle fills.
#pragma once

#include <cstdint>

struct ImageRecord;

// Builds the channel and alpha blending tables once (the first 32-bit image asks for them).
void graphics_build_blend_tables();
bool graphics_blend_tables_ready();

// Writes one pixel of the destination image, blending 32-bit colours unless no_blend is
// set. No clipping: the caller keeps (px, py) inside the image.
void graphics_write_pixel(int32_t px, int32_t py, uint32_t colour);
// The same on a given image.
void graphics_write_pixel_on(ImageRecord* image, int32_t px, int32_t py, uint32_t colour);
// Reads the pixel of the destination image (indexed value or 32-bit word); no clipping.
uint32_t graphics_read_pixel(int32_t px, int32_t py);

// Fills the inclusive rectangle of the destination (px1 <= px2, py1 <= py2, inside the
// image) by the pixel-writer rules.
void graphics_fill_rect(int32_t px1, int32_t py1, int32_t px2, int32_t py2, uint32_t colour);
void graphics_fill_rect_on(ImageRecord* image, int32_t px1, int32_t py1, int32_t px2, int32_t py2,
                           uint32_t colour);

// Maps graphics coordinates of an image to a pixel by its coordinate mode. Points far
// off the image map far off it (held near +-1e9), never wrapped round onto it.
void graphics_map_point(const ImageRecord* image, float x, float y, int32_t* px, int32_t* py);

// LINE ... BF and the graphics clears: maps, orders, clips to the viewport and fills.
void graphics_box_fill(float x1, float y1, float x2, float y2, uint32_t colour);
