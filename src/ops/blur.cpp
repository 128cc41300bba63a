#include "ops/blur.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ops/kernels/kernels.h"
#include "vellora.h"

namespace vellora {

namespace {

// Sums stay far from wrapping: a window holds at most 2,001 samples, so no
// weighted sum exceeds 2,001 * 255 * 255 = 130,115,025 and no alpha sum
// exceeds 2,001 * 255 = 510,255, in either pass.
//
// Scratch: the row pass's finished records keep only their means, each
// 0..255, so a record is stored as four bytes in the pixel's own order
// (blue, green, red, alpha mean). Each row's records are kept until the
// column pass's window gives them up, in a ring; the rows that no window
// ever gives up (those within r + 1 of the bottom) are only taken in, from
// one row of their own. The column pass needs one running record per
// column, kept as four 32-bit sums in the same order (blue * alpha,
// green * alpha, red * alpha, alpha), and one count for the whole row,
// since every column's window spans the same rows.

// Rows whose records a window gives up later: row s is given up at step
// s + r + 1, if that is a row.
int32_t rows_given_up(int32_t height, int32_t r) {
  return static_cast<int32_t>(std::max<int64_t>(int64_t{height} - r - 1, 0));
}

// Slots of the ring: the rows kept at a time, j - r - 1 .. j + r at step j
// (the row given up is still read in the step that takes one in), and
// never more than the rows that are given up at all.
int32_t ring_rows(int32_t height, int32_t r) {
  return static_cast<int32_t>(std::min<int64_t>(rows_given_up(height, r), 2 * int64_t{r} + 2));
}

struct Scratch {
  uint8_t* means;      // ring_rows + 1 rows of width records of 4 bytes
  uint32_t* sums;      // width records of 4 words (and one spare)
  uint32_t* row_sums;  // width + 1 records of 4 words, for the row pass
};

// The row pass only reads pixels and the column pass only writes them, a
// stored row at a time; row s's records are made just before the column pass
// first takes them in (at row s - r), when row s still holds its pixels, and
// kept until it gives them up (at row s + r + 1), in ring slot s % ring. So
// the passes run interleaved, and for small radii the whole ring stays in
// cache. The rows kept at a time, all below rows_given_up, are never more
// than the ring's slots, and span fewer rows than the ring has only when
// they are all the rows given up: no two share a slot.
template <InstructionSet Set>
void blur_rows(const BitmapView& view, int32_t r, const Scratch& scratch) {
  const int32_t width = view.width, height = view.height;
  const size_t row_stride = static_cast<size_t>(width) * kBytesPerPixel;
  const int32_t kept = rows_given_up(height, r);
  const int32_t ring = ring_rows(height, r);
  const auto means_of = [&](int32_t s) {
    const size_t slot = s < kept ? static_cast<size_t>(s % ring) : static_cast<size_t>(ring);
    return scratch.means + row_stride * slot;
  };
  const auto take_row = [&](int32_t s) {
    blur_row_means<Set>(stored_row(view, s), width, r, scratch.row_sums, means_of(s));
  };

  // Row 0's window: rows 0 .. min(r, height - 1), written out with the last.
  const int32_t first_window_end = std::min(r, height - 1);
  for (int32_t s = 0; s <= first_window_end; ++s) {
    take_row(s);
    blur_column_step<Set>(scratch.sums, nullptr, means_of(s), width, static_cast<uint32_t>(s + 1),
                          s == first_window_end ? stored_row(view, 0) : nullptr);
  }
  auto count = static_cast<uint32_t>(first_window_end + 1);
  // Each later window is the one before moved down a row.
  for (int32_t j = 1; j < height; ++j) {
    const uint8_t* leaving = nullptr;
    const uint8_t* entering = nullptr;
    if (j > r) {
      leaving = means_of(j - r - 1);
      --count;
    }
    if (j + r < height) {
      take_row(j + r);
      entering = means_of(j + r);
      ++count;
    }
    blur_column_step<Set>(scratch.sums, leaving, entering, width, count, stored_row(view, j));
  }
}

}  // namespace

uint64_t blur_scratch_bytes(int32_t width, int32_t height, int32_t radius) {
  if (width <= 0 || height <= 0 || radius <= 0) return 0;
  const int32_t r = std::min(radius, kBlurRadiusMax);
  const auto w = static_cast<uint64_t>(width);
  return uint64_t{4} * w * (static_cast<uint64_t>(ring_rows(height, r)) + 1) +
         uint64_t{32} * (w + 1);
}

int32_t blur(const BitmapView& view, int32_t radius, InstructionSet set) {
  if (radius <= 0 || pixel_count(view) == 0) return VELLORA_OK;
  const int32_t r = std::min(radius, kBlurRadiusMax);
  const int32_t width = view.width;

  // All scratch is had before a pixel is read or written, so a failure
  // leaves the bitmap as it was. A size the address space cannot hold is a
  // failure too, never a short array.
  const uint64_t scratch_bytes = blur_scratch_bytes(width, view.height, r);
  if (scratch_bytes > SIZE_MAX) return ERR_OUT_OF_MEMORY;
  auto* block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(scratch_bytes)));
  if (block == nullptr) return ERR_OUT_OF_MEMORY;
  const size_t sums_bytes = size_t{16} * (static_cast<size_t>(width) + 1);
  Scratch scratch;
  scratch.sums = reinterpret_cast<uint32_t*>(block);
  scratch.row_sums = reinterpret_cast<uint32_t*>(block + sums_bytes);
  scratch.means = block + 2 * sums_bytes;
  std::memset(scratch.sums, 0, sums_bytes);

  with_instruction_set(set, [&](auto isa) { blur_rows<decltype(isa)::value>(view, r, scratch); });

  std::free(block);
  return VELLORA_OK;
}

}  // namespace vellora
