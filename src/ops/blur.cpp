#include "ops/blur.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ops/kernels/kernels.h"
#include "ops/kernels/opaque_mean.h"
#include "vellora.h"

namespace vellora {

namespace {

// Sums stay far from wrapping: a window holds at most 2,001 samples, so no
// weighted sum exceeds 2,001 * 255 * 255 = 130,115,025 and no alpha sum
// exceeds 2,001 * 255 = 510,255, in either pass.

// Rows whose means the column pass gives up again: row s is given up at
// step s + r + 1, if that is a row.
int32_t rows_given_up(int32_t height, int32_t r) {
  return static_cast<int32_t>(std::max<int64_t>(int64_t{height} - r - 1, 0));
}

// Step j of the column pass takes in row j + r and gives up row j - r - 1,
// so rows j - r - 1 .. j + r are in use at once (the one given up is still
// read in the step that takes the next in): 2r + 2 rows, and never more than
// the rows that are given up at all.
int32_t ring_slots(int32_t height, int32_t r) {
  return static_cast<int32_t>(std::min<int64_t>(rows_given_up(height, r), 2 * int64_t{r} + 2));
}

// Where the row pass's means of each stored row wait until the column pass
// gives them up. Row s < given_up lives in slot s % slots: the rows in use at
// once are consecutive and at most `slots` of them, so no two share a slot.
// The rows from given_up on are never given up; they share the one slot
// past the ring, each read only in the step that takes it in.
struct KeptRows {
  uint8_t* slot0;
  size_t row_bytes;
  int32_t given_up;
  int32_t slots;

  uint8_t* row(int32_t s) const {
    const int32_t slot = s < given_up ? s % slots : slots;
    return slot0 + row_bytes * static_cast<size_t>(slot);
  }
};

struct Scratch {
  uint32_t* sums;             // the column pass's sums: width records of 4 words (and one spare)
  uint32_t* prefix;           // the row pass's running sums: width + 1 records of 4 words
  uint32_t* row_multipliers;  // per column, and kBlurMultiplierPadding more
  uint8_t* means;             // ring_slots + 1 rows of width records of 4 bytes
};

// The samples of the window around position p on a line of n samples.
uint32_t window_count(int32_t p, int32_t n, int32_t r) {
  return static_cast<uint32_t>(std::min(p + r, n - 1) - std::max(p - r, 0) + 1);
}

// The row pass's windows have the same counts in every row: their
// multipliers are prepared once per call, one division for each run of
// columns with the same count. The padding repeats the last column's, for
// the vector kernels' last group.
void prepare_row_multipliers(uint32_t* multipliers, int32_t width, int32_t r) {
  uint32_t count = 0, multiplier = 0;
  for (int32_t c = 0; c < width + kBlurMultiplierPadding; ++c) {
    const uint32_t n = window_count(std::min(c, width - 1), width, r);
    if (n != count) {
      count = n;
      multiplier = opaque_row_multiplier(n);
    }
    multipliers[c] = multiplier;
  }
}

// The row pass only reads pixels and the column pass only writes them, a
// stored row at a time. Row s's means are made just before the column pass
// first takes them in (at step s - r), when row s still holds its pixels, and
// are kept until it gives them up (at step s + r + 1). So the passes run
// interleaved, and for small radii the kept rows stay in cache.
template <InstructionSet Set>
void blur_rows(const BitmapView& view, int32_t r, const Scratch& scratch) {
  const int32_t width = view.width, height = view.height;
  const KeptRows kept{scratch.means, static_cast<size_t>(row_bytes(view)), rows_given_up(height, r),
                      ring_slots(height, r)};
  // The last row taken in that was not wholly opaque: a step whose rows all
  // lie past it takes its means by the opaque windows' multiplier.
  int32_t last_mixed_row = -1;
  prepare_row_multipliers(scratch.row_multipliers, width, r);
  const auto take_in = [&](int32_t s) {
    const uint8_t* row = stored_row(view, s);
    if (BlurRowKernels<Set>::pixels_opaque(row, width)) {
      BlurRowKernels<Set>::opaque_row_means(row, width, r, scratch.row_multipliers, scratch.prefix,
                                            kept.row(s));
    } else {
      last_mixed_row = s;
      BlurRowKernels<Set>::weighted_row_means(row, width, r, scratch.row_multipliers,
                                              scratch.prefix, kept.row(s));
    }
    return kept.row(s);
  };

  // The rows before the first window's last one are taken in without output.
  BlurColumnWindows windows{0, 0, 0, false};
  for (int32_t s = 0; s < std::min(r, height); ++s) {
    BlurColumnKernels<Set>::column_step(scratch.sums, nullptr, take_in(s), width, windows, nullptr);
  }
  // Step j: the window of stored row j, rows max(j - r, 0) .. min(j + r, height - 1).
  for (int32_t j = 0; j < height; ++j) {
    const uint8_t* entering = j + r < height ? take_in(j + r) : nullptr;
    const uint8_t* leaving = j - r - 1 >= 0 ? kept.row(j - r - 1) : nullptr;
    // The multipliers are prepared once for each run of equal counts.
    const uint32_t count = window_count(j, height, r);
    if (count != windows.count) {
      windows.count = count;
      windows.count_multiplier = opaque_row_multiplier(count);
      windows.opaque_multiplier = opaque_column_multiplier(count);
    }
    windows.opaque = last_mixed_row < std::max(j - r - 1, 0);
    BlurColumnKernels<Set>::column_step(scratch.sums, leaving, entering, width, windows,
                                        stored_row(view, j));
  }
}

// The scratch of a width x height blur of radius r (at most 1000), in 64
// bits so that it cannot wrap: the kept rows of means and one more row (4
// bytes a pixel of ring_slots + 1 <= min(2r + 3, height) rows), the column
// pass's sums and the row pass's running sums (16 bytes each a column and
// one more), and the row windows' multipliers (4 bytes a column and 4 more).
uint64_t scratch_bytes(int32_t width, int32_t height, int32_t r) {
  const auto w = static_cast<uint64_t>(width);
  return uint64_t{4} * w * (static_cast<uint64_t>(ring_slots(height, r)) + 1) +
         uint64_t{32} * (w + 1) + uint64_t{4} * (w + kBlurMultiplierPadding);
}

}  // namespace

int32_t blur(const BitmapView& view, int32_t radius, InstructionSet set) {
  if (radius <= 0 || pixel_count(view) == 0) return VELLORA_OK;
  const int32_t r = std::min(radius, kBlurRadiusMax);
  const int32_t width = view.width;

  // All scratch is had before a pixel is read or written, so a failure
  // leaves the bitmap as it was. A size the address space cannot hold is a
  // failure too, never a short array.
  const uint64_t bytes = scratch_bytes(width, view.height, r);
  if (bytes > SIZE_MAX) return ERR_OUT_OF_MEMORY;
  auto* block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes)));
  if (block == nullptr) return ERR_OUT_OF_MEMORY;
  const size_t records_bytes = size_t{16} * (static_cast<size_t>(width) + 1);
  Scratch scratch;
  scratch.sums = reinterpret_cast<uint32_t*>(block);
  scratch.prefix = reinterpret_cast<uint32_t*>(block + records_bytes);
  scratch.row_multipliers = reinterpret_cast<uint32_t*>(block + 2 * records_bytes);
  scratch.means = block + 2 * records_bytes +
                  sizeof(uint32_t) * (static_cast<size_t>(width) + kBlurMultiplierPadding);
  std::memset(scratch.sums, 0, records_bytes);

  with_instruction_set(set, [&](auto isa) { blur_rows<decltype(isa)::value>(view, r, scratch); });

  std::free(block);
  return VELLORA_OK;
}

}  // namespace vellora
