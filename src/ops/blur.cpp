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
// (blue, green, red, alpha mean), and only for the rows that the column
// pass's window still holds or is about to take in: a ring of 2r + 2 rows
// (or every row, when the bitmap has fewer). The column pass needs one
// running record per column, kept as four 32-bit sums in the same order
// (blue * alpha, green * alpha, red * alpha, alpha), and one count for the
// whole row, since every column's window spans the same rows.

// Rows of row-pass records kept at a time: the column window at row j
// holds rows j - r .. j + r, and row j - r - 1 is still given up at step j.
int32_t ring_rows(int32_t height, int32_t r) {
  return static_cast<int32_t>(std::min<int64_t>(height, 2 * int64_t{r} + 2));
}

struct Scratch {
  uint8_t* means;      // ring_rows rows of width records of 4 bytes
  uint32_t* sums;      // width records of 4 words
  uint32_t* row_sums;  // (width + 1) records of 4 words, for the row pass
};

// The row pass only reads pixels and the column pass only writes them, a
// stored row at a time; row s's records are made just before the column pass
// first takes them in (at row s - r), when row s still holds its pixels, and
// kept until it gives them up (at row s + r + 1), in ring slot s % ring. So
// the passes run interleaved, and for small radii the whole ring stays in
// cache.
template <InstructionSet Set>
void blur_rows(const BitmapView& view, int32_t r, const Scratch& scratch) {
  const int32_t width = view.width, height = view.height;
  const size_t row_stride = static_cast<size_t>(width) * kBytesPerPixel;
  const int32_t ring = ring_rows(height, r);
  const auto means_of = [&](int32_t s) {
    return scratch.means + row_stride * static_cast<size_t>(s % ring);
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
  // Each later window is the one before moved down a row. The ring has a
  // slot more than a window has rows, so the row taken in never lands in
  // the slot of the row given up in the same step.
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
  return uint64_t{4} * w * static_cast<uint64_t>(ring_rows(height, r)) + uint64_t{32} * (w + 1);
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
