// Giving a bitmap a new, cleared pixel buffer of another size: the one
// operation that writes the host's records rather than pixels.
#pragma once

#include <cstdint>

namespace vellora {

// A size a bitmap may be given: both sides at least 1, and
// new_width * new_height * 4 within int32_t, the range in which every pixel
// operation forms a byte size. Otherwise ERR_BAD_SIZE.
int32_t check_new_size(int32_t new_width, int32_t new_height);

// Checks the new size first, before the handle is looked at. Then resolves
// handle (its resolution code on failure); refuses header fields or a pixels
// pointer that cannot be written (ERR_NO_INFO_HEADER, ERR_NO_BITMAP_RECORD)
// and an old buffer whose heap words, which free() reads (the two before it)
// and writes (its first two), cannot be read or written (ERR_BAD_PIXEL_BUFFER),
// releasing nothing. Then it allocates a zero-filled buffer of
// new_width * new_height * 4 bytes from the C runtime heap. Only once that
// has succeeded is the old buffer released with free and the new one
// installed: biWidth, biHeight and the record's pixels pointer are written,
// nothing else. When the allocation fails, or a check cannot be made, the
// bitmap is left as it was and ERR_OUT_OF_MEMORY is returned.
int32_t replace_pixel_buffer(int32_t handle, int32_t new_width, int32_t new_height);

}  // namespace vellora
