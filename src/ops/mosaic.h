// Mosaic: a rectangular area, clipped to the bitmap, cut into a grid of blocks
// anchored at its clipped top-left corner; every pixel of a block becomes the
// block's alpha-weighted mean.
#pragma once

#include <cstdint>

#include "bitmap_view.h"
#include "ops/kernels/instruction_set.h"
#include "vellora.h"

namespace vellora {

// The clipped area: columns left .. right - 1 and image rows top .. bottom - 1,
// none of them empty, all inside the view.
struct MosaicArea {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// Clips the area of area_width x area_height at image (x, y) (either may be
// negative; the far edges are computed from x and y before clipping, in 64
// bits) to the view. Returns false when nothing is left (a size of 0 or less,
// or an area wholly outside); *area is then not written.
bool clip_mosaic_area(const BitmapView& view, int32_t x, int32_t y, int32_t area_width,
                      int32_t area_height, MosaicArea* area);

// Pixelates a clipped area. Block sizes below 1 act as 1. Blocks at the
// area's right and bottom edges are cut at that edge. Pixels outside the
// area are neither read nor written. Blocks of any size have exact means:
// their sums are taken in 64 bits where 32 would not do.
void mosaic_area(const BitmapView& view, const MosaicArea& area, int32_t block_width,
                 int32_t block_height, InstructionSet set = best_instruction_set());

// The whole operation: the area clipped, the rows it covers asked for
// (bitmap_view.h) before a pixel is touched, their status returned if it is
// not VELLORA_OK, and the area pixelated. An empty area asks for nothing and
// changes nothing.
template <typename RowsReady>
int32_t mosaic(const BitmapView& view, int32_t x, int32_t y, int32_t area_width,
               int32_t area_height, int32_t block_width, int32_t block_height,
               const RowsReady& rows_ready, InstructionSet set = best_instruction_set()) {
  MosaicArea area;
  if (!clip_mosaic_area(view, x, y, area_width, area_height, &area)) return VELLORA_OK;
  const int32_t status = rows_ready(area.top, area.bottom - area.top);
  if (status == VELLORA_OK) mosaic_area(view, area, block_width, block_height, set);
  return status;
}

// The same on a bitmap whose memory the caller owns.
inline void mosaic(const BitmapView& view, int32_t x, int32_t y, int32_t area_width,
                   int32_t area_height, int32_t block_width, int32_t block_height,
                   InstructionSet set = best_instruction_set()) {
  mosaic(view, x, y, area_width, area_height, block_width, block_height, RowsAlwaysReady{}, set);
}

}  // namespace vellora
