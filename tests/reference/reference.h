// The operations written plainly from their definitions: one pixel or one
// window at a time, every division a division, nothing shared with the
// library's code. The library's kernels are checked against these, so a fault
// in a kernel's formula cannot hide behind a copy of the same formula.
#pragma once

#include <cstdint>

namespace reference {

// A bitmap's pixels as the host stores them: B, G, R, A bytes per pixel,
// rows packed, the image's bottom row first. A width or height of 0 or less
// means no pixels.
struct Pixels {
  int32_t width;
  int32_t height;
  uint8_t* bytes;
};

bool contains(const Pixels& image, int64_t x, int64_t y);

// Image pixel (x, y), y counted from the top; (x, y) must be contained.
uint8_t* pixel(const Pixels& image, int64_t x, int64_t y);

// One pair of pixels in blend mode `mode`, opacity 0..255; dst is read before
// it is written, so dst and src may be the same pixel.
void blend_pixel(uint8_t* dst, const uint8_t* src, int32_t mode, int32_t opacity);

// Every pair of the area whose two pixels exist, in the order BlendBlt's
// contract gives (include/vellora.h); an opacity outside 0..255 acts as the
// nearer bound. dst and src may share their bytes.
void blend_blt(const Pixels& dst, const Pixels& src, int32_t dst_x, int32_t dst_y, int32_t src_x,
               int32_t src_y, int32_t area_width, int32_t area_height, int32_t mode,
               int32_t opacity);

// Every window summed afresh, for the row pass and then the column pass.
void blur(const Pixels& image, int32_t radius);

// Each pixel of the clipped area finds its block from the clipped corner.
void mosaic(const Pixels& image, int32_t x, int32_t y, int32_t area_width, int32_t area_height,
            int32_t block_width, int32_t block_height);

int32_t tone_channel(int32_t ch, int32_t v);
void change_tone(const Pixels& image, int32_t red, int32_t green, int32_t blue,
                 bool skip_transparent);
void invert_color(const Pixels& image);

void clip_mask(const Pixels& target, const Pixels& mask, int32_t offset_x, int32_t offset_y,
               int32_t outside_value);

}  // namespace reference
