// Turning a bitmap handle into a BitmapView.
#pragma once

#include <cstdint>

#include "bitmap_view.h"
#include "host/memory_probe.h"

namespace vellora {

// Walks the host's records in their fixed order; the first failing test
// decides the code (ERR_NULL_HANDLE ... ERR_BAD_INFO_HEADER). Every record
// is checked to be readable before it is read: unreadable object memory
// counts as ERR_NOT_BITMAP, an unreadable data or bitmap record as
// ERR_NO_BITMAP_RECORD, an unreadable info header as ERR_NO_INFO_HEADER.
// On success the view holds the header's width and height exactly as stored.
// `proven` carries what this call has proven accessible to the next
// resolution of the same call (a blend's source after its destination).
// `records`, when given, receives where the bitmap record and the info header
// lie, for the resize, which writes fields of both.
struct HostRecords {
  uint32_t record;  // 32-bit host addresses
  uint32_t header;
};
int32_t resolve_bitmap(int32_t handle, BitmapView* view, host::ProvenRanges* proven = nullptr,
                       HostRecords* records = nullptr);

// The gate of every pixel operation: resolve_bitmap, then the size rules.
// A width or height of 0 or less means no pixels (the view becomes 0 x 0);
// a width * height * 4 beyond INT32_MAX, or a buffer that is not mapped with
// the given access for all of its bytes, gives ERR_BAD_PIXEL_BUFFER.
int32_t resolve_pixels(int32_t handle, BitmapView* view, host::Access access,
                       host::ProvenRanges* proven = nullptr);

// resolve_bitmap with resolve_pixels' buffer rules for reading, the sizes
// left as the header holds them: for a consumer that judges the sizes itself
// (the PNG header refuses 0 and negative ones) but must never be let past the
// buffer. When both sizes are positive and width * height * 4 is beyond
// INT32_MAX, or the buffer is not readable for all of it, gives
// ERR_BAD_PIXEL_BUFFER.
int32_t resolve_bitmap_bounded(int32_t handle, BitmapView* view);

// The code of a failed second bitmap (a blend source, a mask): 100 lower.
int32_t second_bitmap_status(int32_t status);

// The two bitmaps of a two-bitmap operation (a blend's destination and
// source, a mask clip's target and mask): `handle` through resolve_pixels
// completely, for reading and writing, and only then `second_handle`, for
// reading, its failure code 100 lower. What one proves accessible serves
// the other.
int32_t resolve_pixels_pair(int32_t handle, int32_t second_handle, BitmapView* first,
                            BitmapView* second);

}  // namespace vellora
