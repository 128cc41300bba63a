// Raw pixel transfer: the pixel buffer as one block of bytes, exchanged with
// the caller's memory.
#pragma once

#include <cstdint>

#include "bitmap_view.h"

namespace vellora {

// Copies the whole pixel buffer, bytes as stored (bottom row first), into
// buffer. length must equal the buffer's byte size (ERR_SIZE_MISMATCH), and a
// nonzero length needs a buffer (ERR_NULL_BUFFER); either failure copies
// nothing.
int32_t get_pixel_data(const BitmapView& view, uint8_t* buffer, int32_t length);

// The inverse: overwrites the whole pixel buffer with length bytes of buffer,
// under the same two rules.
int32_t set_pixel_data(const BitmapView& view, const uint8_t* buffer, int32_t length);

}  // namespace vellora
