// Mask clip: scales a bitmap's alpha by the blue bytes of a mask bitmap laid
// over it, and by a fixed value where the mask does not reach.
#pragma once

#include <cstdint>

#include "bitmap_view.h"
#include "ops/kernels/instruction_set.h"
#include "vellora.h"

namespace vellora {

// The part of the target that the mask lies over: columns left .. right - 1,
// image rows top .. bottom - 1; empty when right == left or bottom == top.
// The offsets may be anything: the far edges are formed in 64 bits. A mask
// without pixels is 0 x 0 and covers nothing.
struct MaskCover {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

MaskCover mask_cover(const BitmapView& target, const BitmapView& mask, int32_t offset_x,
                     int32_t offset_y);

// Target pixel (x, y) is covered by mask pixel (x - offset_x, y - offset_y)
// when that pixel exists; its alpha is scaled by the mask pixel's blue byte.
// Every other pixel's alpha is scaled by outside_value. Only the target's
// alpha bytes are written and only the mask's blue bytes are read, so target
// and mask may be the same bitmap. This does it for image rows first_row ..
// end_row - 1 of the target.
void clip_mask_rows(const BitmapView& target, const BitmapView& mask, int32_t offset_x,
                    int32_t offset_y, int32_t outside_value, const MaskCover& cover,
                    int32_t first_row, int32_t end_row,
                    InstructionSet set = best_instruction_set());

// The whole operation. Before a byte is touched it asks for the rows it
// touches (bitmap_view.h): the target's (every row, but only the covered ones
// where outside_value is 255, which changes nothing), then the mask's under
// the cover; the first status other than VELLORA_OK is returned with nothing
// touched.
template <typename TargetRowsReady, typename MaskRowsReady>
int32_t clip_mask(const BitmapView& target, const BitmapView& mask, int32_t offset_x,
                  int32_t offset_y, int32_t outside_value, const TargetRowsReady& target_rows_ready,
                  const MaskRowsReady& mask_rows_ready,
                  InstructionSet set = best_instruction_set()) {
  const MaskCover cover = mask_cover(target, mask, offset_x, offset_y);
  const bool covers = cover.left < cover.right && cover.top < cover.bottom;
  int32_t first_row = 0, end_row = target.height;
  if (outside_value == 255) {
    first_row = covers ? cover.top : 0;
    end_row = covers ? cover.bottom : 0;
  }
  if (first_row == end_row) return VELLORA_OK;
  int32_t status = target_rows_ready(first_row, end_row - first_row);
  if (status == VELLORA_OK && covers) {
    status = mask_rows_ready(static_cast<int32_t>(int64_t{cover.top} - offset_y),
                             cover.bottom - cover.top);
  }
  if (status == VELLORA_OK) {
    clip_mask_rows(target, mask, offset_x, offset_y, outside_value, cover, first_row, end_row, set);
  }
  return status;
}

// The same on bitmaps whose memory the caller owns.
inline void clip_mask(const BitmapView& target, const BitmapView& mask, int32_t offset_x,
                      int32_t offset_y, int32_t outside_value,
                      InstructionSet set = best_instruction_set()) {
  clip_mask(target, mask, offset_x, offset_y, outside_value, RowsAlwaysReady{}, RowsAlwaysReady{},
            set);
}

}  // namespace vellora
