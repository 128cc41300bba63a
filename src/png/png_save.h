// Saving a bitmap as an 8-bit RGBA PNG file through libpng.
#pragma once

#include <cstdint>

#include "bitmap_view.h"

namespace vellora {

// Writes the bitmap to the file at the UTF-8 path, top row first, each
// stored B, G, R, A pixel as the PNG's R, G, B, A. The header's width and
// height are handed to the PNG header as they stand (the encoder refuses 0,
// negative and oversized ones); when both are positive, width * height * 4
// must fit in int32_t and the buffer must be readable. `level` is zlib's (-1 its default, 0 stored,
// 1 fastest ... 9 strongest; any other value acts as -1); `filters` selects the row filters by its
// low byte. Returns 0 when the file is complete and closed, else PNG_SAVE_FAILED.
int32_t png_save(const char* path, const HeaderView& bitmap, int32_t level, int32_t filters);

}  // namespace vellora
