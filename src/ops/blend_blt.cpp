#include "ops/blend_blt.h"

#include <algorithm>
#include <cstddef>
#include <optional>

#include "ops/kernels/blend_pixel.h"
#include "ops/kernels/kernels.h"

namespace vellora {

namespace {

// One axis of the clip, on an origin d in the destination (size dst_size), an
// origin s in the source (size src_size) and a length n. Cutting one origin
// moves the other by the same amount, so the pairing is kept. In 64 bits, so
// that no sum of 32-bit arguments can overflow; in-range values clip exactly
// as they would in 32 bits.
void clip_axis(int64_t* d, int64_t* s, int64_t* n, int64_t dst_size, int64_t src_size) {
  if (*s < 0) {
    *d -= *s;
    *n += *s;
    *s = 0;
  }
  if (*s + *n > src_size) *n = src_size - *s;
  if (*d < 0) {
    *s -= *d;
    *n += *d;
    *d = 0;
  }
  if (*d + *n > dst_size) *n = dst_size - *d;
}

}  // namespace

bool clip_blend_area(const BitmapView& dst, const BitmapView& src, int32_t dst_x, int32_t dst_y,
                     int32_t src_x, int32_t src_y, int32_t area_width, int32_t area_height,
                     BlendArea* area) {
  if (dst_x >= dst.width || dst_y >= dst.height) return false;

  int64_t dx = dst_x, sx = src_x, w = area_width;
  int64_t dy = dst_y, sy = src_y, h = area_height;
  clip_axis(&dx, &sx, &w, dst.width, src.width);
  clip_axis(&dy, &sy, &h, dst.height, src.height);
  if (w <= 0 || h <= 0) return false;

  // Now 0 <= dx, dx + w <= DW and 0 <= sx, sx + w <= SW (likewise in y), so
  // every value fits in 32 bits.
  *area = BlendArea{static_cast<int32_t>(dx), static_cast<int32_t>(dy), static_cast<int32_t>(sx),
                    static_cast<int32_t>(sy), static_cast<int32_t>(w),  static_cast<int32_t>(h)};
  return true;
}

namespace {

// Whether no byte read as a source pixel of the area is also written as a
// destination pixel: then no pair sees another's result, and the pairs may
// be visited in any order. Buffers that share memory count as disjoint only
// in the case that can be decided exactly, one buffer of one width (the same
// bitmap as source and destination) whose two rectangles do not meet.
bool areas_disjoint(const BitmapView& dst, const BitmapView& src, const BlendArea& area) {
  const auto d0 = reinterpret_cast<uintptr_t>(dst.pixels);
  const auto s0 = reinterpret_cast<uintptr_t>(src.pixels);
  const uintptr_t d1 = d0 + static_cast<uintptr_t>(byte_size(dst));
  const uintptr_t s1 = s0 + static_cast<uintptr_t>(byte_size(src));
  if (d1 <= s0 || s1 <= d0) return true;
  if (d0 != s0 || dst.width != src.width) return false;
  // Stored rows are what the addresses follow: image row y is stored row
  // height - 1 - y, and the heights of the two views may differ.
  const int32_t d_top = dst.height - 1 - area.dst_y, s_top = src.height - 1 - area.src_y;
  const bool rows_apart = d_top < s_top - (area.height - 1) || s_top < d_top - (area.height - 1);
  const bool columns_apart =
      area.dst_x + area.width <= area.src_x || area.src_x + area.width <= area.dst_x;
  return rows_apart || columns_apart;
}

template <InstructionSet Set, BlendMode Mode>
void blend_pairs_of(const BitmapView& dst, const BitmapView& src, const BlendArea& area,
                    int32_t opacity) {
  // Rows are stored bottom-up: one row down the image is one stored row back.
  const size_t dst_stride = static_cast<size_t>(row_bytes(dst));
  const size_t src_stride = static_cast<size_t>(row_bytes(src));
  if (areas_disjoint(dst, src, area)) {
    // The order is not observable: walk the rows in memory order, from the
    // area's bottom row up, each row a run for the kernel.
    uint8_t* d = image_pixel(dst, area.dst_x, area.dst_y + area.height - 1);
    const uint8_t* s = image_pixel(src, area.src_x, area.src_y + area.height - 1);
    for (int32_t j = 0;;) {
      BlendKernels<Set>::template blend_pairs<Mode>(d, s, area.width, opacity);
      if (++j == area.height) break;  // no step past the area's top row
      d += dst_stride;
      s += src_stride;
    }
    return;
  }
  for (int32_t i = 0; i < area.width; ++i) {
    uint8_t* d = image_pixel(dst, area.dst_x + i, area.dst_y);
    const uint8_t* s = image_pixel(src, area.src_x + i, area.src_y);
    for (int32_t j = 0;;) {
      blend_pixel<Mode>(d, s, opacity);
      if (++j == area.height) break;  // no step past the area's bottom row
      d -= dst_stride;
      s -= src_stride;
    }
  }
}

}  // namespace

void blend_area(const BitmapView& dst, const BitmapView& src, const BlendArea& area, int32_t mode,
                int32_t opacity, InstructionSet set) {
  const std::optional<BlendMode> blend_mode = blend_mode_of(mode);
  if (!blend_mode) return;
  const int32_t clamped = std::clamp(opacity, 0, kOpacityMax);
  with_blend_mode(*blend_mode, [&](auto mode_tag) {
    constexpr BlendMode kMode = decltype(mode_tag)::value;
    // Opacity 0 gives the source no weight in the modes that take it: nothing changes.
    if (clamped == 0 && kUsesOpacity<kMode>) return;
    with_instruction_set(set, [&](auto isa) {
      blend_pairs_of<decltype(isa)::value, kMode>(dst, src, area, clamped);
    });
  });
}

}  // namespace vellora
