// Every kernel variant this machine runs (plain, SSE2, AVX2, AVX-512), called through
// its operation with the instruction set given, against the references: the
// same random bitmaps and arguments through both, compared byte for byte, on
// widths that split the vector lanes. And the vector helpers that replace a
// division, over their whole ranges.
#include "ops/kernels/kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ops/blend_blt.h"
#include "ops/blur.h"
#include "ops/clip_mask.h"
#include "ops/kernels/instruction_set.h"
#include "ops/kernels/opaque_mean.h"
#include "ops/kernels/simd.h"
#include "ops/mosaic.h"
#include "ops/tone.h"
#include "reference/reference.h"
#include "vellora.h"

namespace {

using vellora::BitmapView;
using vellora::InstructionSet;

// A bitmap's pixels as the host stores them (B, G, R, A, the bottom row
// first), without the host's records: the kernels work on views, so this
// test builds for any processor, x86-64 among them.
struct Image {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> bytes;

  Image(int32_t w, int32_t h)
      : width(w), height(h), bytes(size_t{4} * static_cast<size_t>(w) * static_cast<size_t>(h)) {}
  BitmapView view() { return {width, height, bytes.data()}; }
  reference::Pixels pixels() { return {width, height, bytes.data()}; }
  // Image pixel (x, y), y counted from the top.
  uint8_t* at(int32_t x, int32_t y) {
    return bytes.data() + 4 * (static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) +
                               static_cast<size_t>(x));
  }
  void put(int32_t x, int32_t y, std::array<uint8_t, 4> p) { std::memcpy(at(x, y), p.data(), 4); }
};

std::vector<InstructionSet> sets_that_run() {
  std::vector<InstructionSet> sets;
  vellora::for_each_instruction_set_that_runs([&](InstructionSet set) { sets.push_back(set); });
  return sets;
}

std::string name_of(InstructionSet set) { return vellora::instruction_set_name(set); }

// What a bitmap holds. Sprites are mostly fully transparent or fully opaque
// with soft edges, which is where the short paths for those alphas matter;
// noise has every alpha equally often. Opaque regions are opaque but for a
// disc of any alphas, so that runs of opaque pixels, rows and windows meet
// mixed ones.
enum class Content { kNoise, kSprite, kTransparent, kOpaque, kOpaqueRegions };
constexpr Content kContents[] = {Content::kNoise, Content::kSprite, Content::kTransparent,
                                 Content::kOpaque, Content::kOpaqueRegions};
constexpr int kContentCount = static_cast<int>(std::size(kContents));

Image make(int32_t w, int32_t h, Content content, std::mt19937& rng) {
  Image bitmap(w, h);
  // A disc with a soft rim 3 pixels wide, somewhere on the bitmap.
  const int64_t cx = rng() % static_cast<uint32_t>(w), cy = rng() % static_cast<uint32_t>(h);
  const int64_t radius = 1 + rng() % static_cast<uint32_t>(std::max(w, h));
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* p = bitmap.at(x, y);
      const uint32_t bits = rng();
      for (int c = 0; c < 4; ++c) p[c] = static_cast<uint8_t>(bits >> (8 * c));
      const int64_t d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
      if (content == Content::kTransparent) p[3] = 0;
      if (content == Content::kOpaque) p[3] = 255;
      if (content == Content::kSprite && d2 <= radius * radius) p[3] = 255;
      if (content == Content::kSprite && d2 >= (radius + 3) * (radius + 3)) p[3] = 0;
      if (content == Content::kOpaqueRegions && d2 > radius * radius / 4) p[3] = 255;
    }
  }
  return bitmap;
}

int32_t pick(std::mt19937& rng, int32_t lo, int32_t hi) {
  return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
}

// Every width from 1 to 17 (each tail of a 4- and an 8-pixel vector, and
// pairs of them) in rows of 1 to 3, then random sizes up to 70, single rows
// and columns among them.
void size_of_round(int round, std::mt19937& rng, int32_t* w, int32_t* h) {
  if (round < 51) {
    *w = 1 + round % 17;
    *h = 1 + round / 17;
    return;
  }
  *w = rng() % 4 == 0 ? 1 : pick(rng, 1, 70);
  *h = rng() % 4 == 1 ? 1 : pick(rng, 1, 70);
}

// --- Exact division in vector lanes ----------------------------------------

#if VELLORA_VECTOR_KERNELS
// The helpers of each vector instruction set on arrays of lanes.
template <InstructionSet>
struct Lanes;

#define VELLORA_ISA sse2
#define VELLORA_ISA_SET kSse2
#define VELLORA_ISA_NARROW_MEAN 0
#define VELLORA_ISA_SHARED_DIVISOR 0
#include "vector_lanes.inc"
#undef VELLORA_ISA_SHARED_DIVISOR
#undef VELLORA_ISA_NARROW_MEAN
#undef VELLORA_ISA
#undef VELLORA_ISA_SET

VELLORA_AVX2_BEGIN
#define VELLORA_ISA avx2
#define VELLORA_ISA_SET kAvx2
#define VELLORA_ISA_NARROW_MEAN 1
#define VELLORA_ISA_SHARED_DIVISOR 0
#include "vector_lanes.inc"
#undef VELLORA_ISA_SHARED_DIVISOR
#undef VELLORA_ISA_NARROW_MEAN
#undef VELLORA_ISA
#undef VELLORA_ISA_SET
VELLORA_AVX2_END

VELLORA_AVX512_BEGIN
#define VELLORA_ISA avx512
#define VELLORA_ISA_SET kAvx512
#define VELLORA_ISA_NARROW_MEAN 1
#define VELLORA_ISA_SHARED_DIVISOR 1
#include "vector_lanes.inc"
#undef VELLORA_ISA_SHARED_DIVISOR
#undef VELLORA_ISA_NARROW_MEAN
#undef VELLORA_ISA
#undef VELLORA_ISA_SET
VELLORA_AVX512_END

// Calls f(Lanes<set>{}) for every vector instruction set that runs.
template <typename F>
void for_each_vector_set(F&& f) {
  vellora::instruction_sets::All::for_each([&](auto info) {
    using Info = decltype(info);
    if constexpr (Info::kSet != InstructionSet::kPlain) {
      if (vellora::instruction_set_runs(Info::kSet)) f(Lanes<Info::kSet>{});
    }
  });
}

// Lanes filled one case at a time, a vector's worth checked at once.
template <typename L>
struct LaneCases {
  uint32_t a[L::kCount], b[L::kCount], expected[L::kCount];
  int filled = 0;

  // Adds a case; when the vector is full, apply(a, b, got) computes it and
  // every lane is checked.
  template <typename Apply>
  void add(uint32_t x, uint32_t y, uint32_t want, Apply apply, const char* what) {
    a[filled] = x;
    b[filled] = y;
    expected[filled] = want;
    if (++filled < L::kCount) return;
    flush(apply, what);
  }
  template <typename Apply>
  void flush(Apply apply, const char* what) {
    uint32_t got[L::kCount];
    apply(a, b, got);
    for (int k = 0; k < filled; ++k) {
      ASSERT_EQ(got[k], expected[k]) << L::name() << " " << what << " of " << a[k] << ", " << b[k];
    }
    filled = 0;
  }
};

// Every divisor up to `largest`, each with the smallest and the largest
// dividend of every quotient 0..255; and every dividend of the divisors up
// to 255, which the blend modes use. Unoptimized builds check a spread of
// the divisors above 4,096.
template <typename L, typename Divide>
void check_small_quotients(uint32_t largest, Divide divide, const char* what) {
#if defined(NDEBUG)
  const uint32_t step = 1;
#else
  const uint32_t step = 97;
#endif
  LaneCases<L> cases;
  for (uint32_t d = 1; d <= largest;
       d = d < 4096 || d == largest ? d + 1 : std::min(d + step, largest)) {
    for (uint32_t q = 0; q < 256; ++q) {
      cases.add(q * d, d, q, divide, what);
      cases.add(q * d + d - 1, d, q, divide, what);
    }
    if (::testing::Test::HasFatalFailure()) return;
  }
  for (uint32_t d = 1; d <= 255; ++d) {
    for (uint32_t n = 0; n < 256 * d; ++n) cases.add(n, d, n / d, divide, what);
    if (::testing::Test::HasFatalFailure()) return;
  }
  cases.flush(divide, what);
}

// Every divisor that occurs: up to kDivisorMax (blur alpha sums reach
// 2,001 * 255 = 510,255) by the doubling steps, and up to kNarrowDivisorMax
// (blend sums reach 65,279; bytes are smaller) by the steps that share a
// divisor.
TEST(DivisionInLanes, SmallQuotientsAreExactForEveryDivisorThatOccurs) {
  for_each_vector_set([&](auto lanes) {
    using L = decltype(lanes);
    check_small_quotients<L>(
        vellora::sse2::kDivisorMax,
        [](const uint32_t* n, const uint32_t* d, uint32_t* q) { L::divide(n, d, q); }, "quotient");
    if (::testing::Test::HasFatalFailure()) return;
    check_small_quotients<L>(
        vellora::sse2::kNarrowDivisorMax,
        [](const uint32_t* n, const uint32_t* d, uint32_t* q) { L::divide_narrow(n, d, q); },
        "narrow quotient");
  });
}

// The shared divisor's quotients, for every divisor that occurs (and with it
// every normalised divisor 2^15 .. 2^16 - 1 its reciprocal is taken of), with
// the first and the last dividend of each quotient 0 .. 255 up to 255 d; and
// every dividend of the divisors up to 255.
TEST(DivisionInLanes, SharedDivisorQuotientsAreExactForEveryDivisorThatOccurs) {
#if defined(NDEBUG)
  const uint32_t step = 1;
#else
  const uint32_t step = 97;
#endif
  for_each_vector_set([&](auto lanes) {
    using L = decltype(lanes);
    if constexpr (L::kSharedDivisor) {
      LaneCases<L> cases;
      const auto divide = [](const uint32_t* n, const uint32_t* d, uint32_t* q) {
        L::divide_shared(n, d, q);
      };
      const uint32_t largest = vellora::sse2::kDivisorMax;
      for (uint32_t d = 1; d <= largest;
           d = d < 65536 || d == largest ? d + 1 : std::min(d + step, largest)) {
        for (uint32_t q = 0; q < 255; ++q) {
          cases.add(q * d, d, q, divide, "shared quotient");
          cases.add(q * d + d - 1, d, q, divide, "shared quotient");
        }
        cases.add(255 * d, d, 255, divide, "shared quotient");
        if (::testing::Test::HasFatalFailure()) return;
      }
      for (uint32_t d = 1; d <= 255; ++d) {
        for (uint32_t n = 0; n <= 255 * d; ++n) cases.add(n, d, n / d, divide, "shared quotient");
        if (::testing::Test::HasFatalFailure()) return;
      }
      cases.flush(divide, "shared quotient");
    }
  });
}

// The blur's narrow means, for every count a narrow window can have and
// every colour sum of it.
TEST(DivisionInLanes, NarrowMeansAreExactForEverySumOfEveryCount) {
  for_each_vector_set([&](auto lanes) {
    using L = decltype(lanes);
    if constexpr (L::kNarrowMean) {
      constexpr int kLanes16 = 2 * L::kCount;
      for (uint32_t n = 1; n <= 256; ++n) {
        uint16_t t[kLanes16], q[kLanes16];
        for (uint32_t first = 0; first <= 255 * n; first += kLanes16) {
          for (int k = 0; k < kLanes16; ++k) {
            t[k] = static_cast<uint16_t>(
                std::min<uint32_t>(first + static_cast<uint32_t>(k), 255 * n));
          }
          L::narrow_mean(t, n, q);
          for (int k = 0; k < kLanes16; ++k) {
            ASSERT_EQ(q[k], t[k] / n) << L::name() << " narrow mean of " << t[k] << " over " << n;
          }
        }
      }
    }
  });
}

// div255 in 32-bit and in 16-bit lanes (the low and the high half of each
// 32-bit lane), for every value of its range.
TEST(DivisionInLanes, DivisionBy255IsExactOverItsWholeRange) {
  for_each_vector_set([&](auto lanes) {
    using L = decltype(lanes);
    LaneCases<L> cases;
    const auto div255 = [](const uint32_t* n, const uint32_t*, uint32_t* q) { L::div255(n, q); };
    for (uint32_t p = 0; p <= vellora::sse2::kDiv255Max; ++p) {
      cases.add(p * 0x10001u, 0, (p / 255) * 0x10001u, div255, "div255");
      if (::testing::Test::HasFatalFailure()) return;
    }
    cases.flush(div255, "div255");
  });
}
#endif

// --- Means of opaque windows ------------------------------------------------

// An opaque window's mean by a multiply and a shift, in both passes' forms,
// for every window count and every colour sum such a window can have.
TEST(OpaqueMeans, EqualTruncatingDivisionForEverySumOfEveryWindow) {
  using vellora::opaque_mean;
  for (uint32_t n = 1; n <= vellora::kOpaqueWindowMax; ++n) {
    const uint32_t row = vellora::opaque_row_multiplier(n);
    const uint32_t column = vellora::opaque_column_multiplier(n);
    const auto check = [&](uint32_t t, uint32_t q) {
      ASSERT_EQ(opaque_mean<vellora::kRowMeanShift>(t, row), q) << t << " / " << n;
      ASSERT_EQ(opaque_mean<vellora::kColumnMeanShift>(255 * t, column), q)
          << 255 * t << " / " << 255 * n;
    };
#if defined(NDEBUG)
    for (uint32_t q = 0, r = 0, t = 0; t <= 255 * n; ++t) {
      check(t, q);
      if (++r == n) r = 0, ++q;
    }
#else
    // Unoptimized builds check each quotient's first and last sums: the
    // product is nondecreasing in the sum, so they decide the sums between.
    for (uint32_t q = 0; q <= 255; ++q) {
      check(q * n, q);
      if (q < 255) check(q * n + n - 1, q);
    }
#endif
    if (::testing::Test::HasFatalFailure()) return;
  }
}

#if VELLORA_VECTOR_KERNELS
// The same in vector lanes at each quotient's first and last sums, for both
// forms; neighbouring lanes hold neighbouring counts, each with its
// multiplier.
TEST(OpaqueMeans, VectorLanesGiveTheSameMeans) {
  for_each_vector_set([&](auto lanes) {
    using L = decltype(lanes);
    for (const bool column : {false, true}) {
      LaneCases<L> cases;
      const auto row_form = [](const uint32_t* x, const uint32_t* m, uint32_t* q) {
        L::template mul_shift<vellora::kRowMeanShift>(x, m, q);
      };
      const auto column_form = [](const uint32_t* x, const uint32_t* m, uint32_t* q) {
        L::template mul_shift<vellora::kColumnMeanShift>(x, m, q);
      };
      for (uint32_t q = 0; q <= 255; ++q) {
        for (uint32_t n = 1; n <= vellora::kOpaqueWindowMax; ++n) {
          for (const uint32_t t : {q * n, q * n + n - 1}) {
            if (t > 255 * n) continue;
            if (column) {
              cases.add(255 * t, vellora::opaque_column_multiplier(n), q, column_form,
                        "column mean");
            } else {
              cases.add(t, vellora::opaque_row_multiplier(n), q, row_form, "row mean");
            }
          }
        }
        if (::testing::Test::HasFatalFailure()) return;
      }
      if (column) {
        cases.flush(column_form, "column mean");
      } else {
        cases.flush(row_form, "row mean");
      }
    }
  });
}
#endif

// --- Operations through every variant -----------------------------------------

TEST(ToneKernels, EveryVariantMatchesTheReference) {
  const int32_t amounts[] = {-100000, -256, -255, -128, -1, 0, 1, 2, 127, 255, 256, 100000};
  for (InstructionSet set : sets_that_run()) {
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
      int32_t w, h;
      size_of_round(round, rng, &w, &h);
      Image bitmap = make(w, h, kContents[round % kContentCount], rng);
      Image expected = bitmap;
      const int32_t r = round % 3 ? pick(rng, -300, 300) : amounts[rng() % 12];
      const int32_t g = round % 3 ? pick(rng, -300, 300) : amounts[rng() % 12];
      const int32_t b = round % 3 ? pick(rng, -300, 300) : amounts[rng() % 12];
      const bool skip = rng() % 2 == 0;
      reference::change_tone(expected.pixels(), r, g, b, skip);
      vellora::change_tone(bitmap.view(), r, g, b, skip, set);
      ASSERT_EQ(bitmap.bytes, expected.bytes)
          << name_of(set) << " " << w << "x" << h << " amounts " << r << "," << g << "," << b;

      reference::invert_color(expected.pixels());
      vellora::invert_color(bitmap.view(), set);
      ASSERT_EQ(bitmap.bytes, expected.bytes) << name_of(set) << " " << w << "x" << h;
    }
  }
}

// Every channel value under every amount, in the vector loop (the row is
// wide enough for it) and its tail: blue i, green 255 - i and red 7i (7 is odd,
// so 7i mod 256 runs through every byte) for i = 0 .. 258. Alpha is never 0,
// so that the skip of transparent pixels spares none of them.
TEST(ToneKernels, EveryChannelValueAndAmountIsExact) {
  for (InstructionSet set : sets_that_run()) {
    Image bitmap(259, 1);
    for (int32_t v = -256; v <= 256; ++v) {
      for (int32_t i = 0; i < 259; ++i) {
        bitmap.put(i, 0,
                   {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                    static_cast<uint8_t>(i * 7), static_cast<uint8_t>(1 + i % 255)});
      }
      Image expected = bitmap;
      reference::change_tone(expected.pixels(), v, v, v, true);
      vellora::change_tone(bitmap.view(), v, v, v, true, set);
      ASSERT_EQ(bitmap.bytes, expected.bytes) << name_of(set) << " amount " << v;
    }
  }
}

TEST(ClipMaskKernels, EveryVariantMatchesTheReference) {
  const int32_t outside[] = {-1, 0, 1, 128, 254, 255, 256, 300, -300, 8421504, INT_MIN};
  for (InstructionSet set : sets_that_run()) {
    std::mt19937 rng(51);
    for (int round = 0; round < 200; ++round) {
      int32_t w, h, mw, mh;
      size_of_round(round, rng, &w, &h);
      size_of_round(round + 51, rng, &mw, &mh);
      Image target = make(w, h, kContents[round % kContentCount], rng);
      Image mask = make(mw, mh, kContents[rng() % kContentCount], rng);
      Image expected = target;
      Image mask_copy = mask;
      const int32_t ox = pick(rng, -mw - 2, w + 2), oy = pick(rng, -mh - 2, h + 2);
      const int32_t value = outside[rng() % 11];
      reference::clip_mask(expected.pixels(), mask_copy.pixels(), ox, oy, value);
      vellora::clip_mask(target.view(), mask.view(), ox, oy, value, set);
      ASSERT_EQ(target.bytes, expected.bytes)
          << name_of(set) << " " << w << "x" << h << " mask " << mw << "x" << mh << " at (" << ox
          << "," << oy << ") outside " << value;
    }
  }
}

TEST(MosaicKernels, EveryVariantMatchesTheReference) {
  for (InstructionSet set : sets_that_run()) {
    std::mt19937 rng(41);
    for (int round = 0; round < 300; ++round) {
      int32_t w, h;
      size_of_round(round, rng, &w, &h);
      Image bitmap = make(w, h, kContents[round % kContentCount], rng);
      Image expected = bitmap;
      const int32_t x = pick(rng, -10, w), y = pick(rng, -10, h);
      const int32_t aw = pick(rng, -1, w + 12), ah = pick(rng, -1, h + 12);
      const int32_t bw = round % 5 ? pick(rng, -1, 20) : pick(rng, 20, 200);
      const int32_t bh = round % 5 ? pick(rng, -1, 20) : pick(rng, 20, 200);
      reference::mosaic(expected.pixels(), x, y, aw, ah, bw, bh);
      vellora::mosaic(bitmap.view(), x, y, aw, ah, bw, bh, set);
      ASSERT_EQ(bitmap.bytes, expected.bytes)
          << name_of(set) << " " << w << "x" << h << " area (" << x << "," << y << ") " << aw << "x"
          << ah << " blocks " << bw << "x" << bh;
    }
  }
}

// An opacity from every part of its range, and outside it.
int32_t random_opacity(std::mt19937& rng) {
  const int32_t special[] = {INT32_MIN, -1, 0, 1, 2, 127, 128, 254, 255, 256, INT32_MAX};
  return rng() % 2 ? special[rng() % 11] : pick(rng, 0, 255);
}

// Two bitmaps, or one as both source and destination: where the rectangles
// overlap, pixels written earlier in the call are read back as sources, so
// the walk's order shows in the result.
TEST(BlendKernels, EveryVariantModeAndOpacityMatchesTheReference) {
  for (InstructionSet set : sets_that_run()) {
    std::mt19937 rng(21);
    for (int32_t mode = -1; mode <= BLEND_MODE_COUNT; ++mode) {
      for (int round = 0; round < 120; ++round) {
        int32_t dw, dh, sw, sh;
        size_of_round(round, rng, &dw, &dh);
        size_of_round(round + 51, rng, &sw, &sh);
        Image dst = make(dw, dh, kContents[rng() % kContentCount], rng);
        Image other = make(sw, sh, kContents[rng() % kContentCount], rng);
        const bool self = round % 4 == 3;
        Image& src = self ? dst : other;
        Image expected = dst;
        Image source = src;
        const int32_t dx = pick(rng, -8, dw), dy = pick(rng, -8, dh);
        const int32_t sx = pick(rng, -8, src.width);
        const int32_t sy = pick(rng, -8, src.height);
        const int32_t aw = pick(rng, -2, 80), ah = pick(rng, -2, 80);
        const int32_t opacity = random_opacity(rng);
        reference::blend_blt(expected.pixels(), self ? expected.pixels() : source.pixels(), dx, dy,
                             sx, sy, aw, ah, mode, opacity);
        vellora::blend_blt(dst.view(), src.view(), dx, dy, sx, sy, aw, ah, mode, opacity, set);
        ASSERT_EQ(dst.bytes, expected.bytes)
            << name_of(set) << " mode " << mode << " opacity " << opacity << (self ? " self " : " ")
            << dw << "x" << dh << " area (" << dx << "," << dy << ") <- (" << sx << "," << sy
            << ") " << aw << "x" << ah;
        if (!self) {
          ASSERT_EQ(other.bytes, source.bytes) << "the source was written";
        }
      }
    }
  }
}

// Whole regions of fully transparent and fully opaque pixels, as in sprites,
// under every pairing of contents, where whole groups take the short paths.
TEST(BlendKernels, SpriteLikeRegionsMatchTheReferenceInEveryVariant) {
  for (InstructionSet set : sets_that_run()) {
    std::mt19937 rng(24);
    for (int32_t mode = 0; mode < BLEND_MODE_COUNT; ++mode) {
      for (const int32_t opacity : {1, 128, 254, 255}) {
        for (const Content dc : kContents) {
          for (const Content sc : kContents) {
            Image dst = make(37, 5, dc, rng);
            Image src = make(37, 5, sc, rng);
            Image expected = dst;
            Image source = src;
            reference::blend_blt(expected.pixels(), source.pixels(), 0, 0, 0, 0, 37, 5, mode,
                                 opacity);
            vellora::blend_blt(dst.view(), src.view(), 0, 0, 0, 0, 37, 5, mode, opacity, set);
            ASSERT_EQ(dst.bytes, expected.bytes)
                << name_of(set) << " mode " << mode << " opacity " << opacity;
          }
        }
      }
    }
  }
}

// Each byte of the destination and of the source over its whole range
// against random others, in every mode and variant.
TEST(BlendKernels, EveryAlphaAndChannelValueMatchesTheReference) {
  for (InstructionSet set : sets_that_run()) {
    Image dst(256, 1);
    Image src(256, 1);
    std::mt19937 rng(23);
    for (int32_t mode = 0; mode < BLEND_MODE_COUNT; ++mode) {
      for (int round = 0; round < 48; ++round) {
        const int varied_dst = round % 4, varied_src = (round / 4) % 4;
        for (int32_t i = 0; i < 256; ++i) {
          uint8_t* d = dst.at(i, 0);
          uint8_t* s = src.at(i, 0);
          for (int c = 0; c < 4; ++c) {
            d[c] = static_cast<uint8_t>(rng());
            s[c] = static_cast<uint8_t>(rng());
          }
          d[varied_dst] = static_cast<uint8_t>(i);
          s[varied_src] = static_cast<uint8_t>(255 - i);
        }
        Image expected = dst;
        Image source = src;
        const int32_t opacity = round < 8 ? 255 : pick(rng, 1, 255);
        reference::blend_blt(expected.pixels(), source.pixels(), 0, 0, 0, 0, 256, 1, mode, opacity);
        vellora::blend_blt(dst.view(), src.view(), 0, 0, 0, 0, 256, 1, mode, opacity, set);
        ASSERT_EQ(dst.bytes, expected.bytes)
            << name_of(set) << " mode " << mode << " round " << round;
      }
    }
  }
}

// Normal mode over opaque destinations takes its own paths: at opacity 255
// (or with opaque sources) one division by 255, at other opacities one by
// 65,025 and a check. Every source alpha with every pair of color bytes at
// opacity 255; then every pair of source alpha and opacity, each with every
// source byte against 256 destination bytes, over destinations opaque but
// here and there 254 or 0, so that groups of pixels switch between paths.
TEST(BlendKernels, NormalOverOpaqueDestinationsMatchesTheReferenceForEveryValue) {
#if defined(NDEBUG)
  const int32_t step = 1;
#else
  const int32_t step = 15;  // unoptimized builds check a spread of values
#endif
  Image dst(256, 256);
  Image src(256, 256);
  const auto check = [&](InstructionSet set, int32_t opacity, const std::string& what) {
    Image expected = dst;
    Image source = src;
    reference::blend_blt(expected.pixels(), source.pixels(), 0, 0, 0, 0, 256, 256, BLEND_NORMAL,
                         opacity);
    vellora::blend_blt(dst.view(), src.view(), 0, 0, 0, 0, 256, 256, BLEND_NORMAL, opacity, set);
    ASSERT_EQ(dst.bytes, expected.bytes) << name_of(set) << " " << what;
  };
  for (InstructionSet set : sets_that_run()) {
    for (int32_t as = 0; as <= 255; as += step) {
      for (int32_t y = 0; y < 256; ++y) {
        for (int32_t x = 0; x < 256; ++x) {
          // Blue and green pair every source byte with every destination byte.
          dst.put(x, y,
                  {static_cast<uint8_t>(x), static_cast<uint8_t>(y),
                   static_cast<uint8_t>(x * 7 + y * 3), 255});
          src.put(x, y,
                  {static_cast<uint8_t>(y), static_cast<uint8_t>(x), static_cast<uint8_t>(x + y),
                   static_cast<uint8_t>(as)});
        }
      }
      check(set, 255, "source alpha " + std::to_string(as));
    }
    std::mt19937 rng(25);
    for (int32_t opacity = 0; opacity <= 255; opacity += step) {
      for (int32_t y = 0; y < 256; ++y) {
        for (int32_t x = 0; x < 256; ++x) {
          const uint32_t bits = rng();
          const uint32_t ad = bits % 7 == 0 ? 254 : bits % 11 == 0 ? 0 : 255;
          dst.put(x, y,
                  {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                   static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(ad)});
          // The source alpha runs along the row, its blue byte down the column.
          src.put(x, y,
                  {static_cast<uint8_t>(y), static_cast<uint8_t>(bits >> 11),
                   static_cast<uint8_t>(bits >> 19), static_cast<uint8_t>(x)});
        }
      }
      check(set, opacity, "opacity " + std::to_string(opacity));
    }
  }
}

// The blur takes a row's opaque path only where every alpha is 255: one pixel
// of alpha 254, 1 or 0 anywhere in the row (in a vector group or the tail)
// must send it the weighted way.
TEST(BlurKernels, ARowIsOpaqueOnlyWhereEveryAlphaIs255) {
  for (InstructionSet set : sets_that_run()) {
    for (int32_t width = 1; width <= 40; ++width) {
      std::vector<uint8_t> row(4 * static_cast<size_t>(width), 255);
      for (int32_t k = 0; k < width; ++k) row[4 * static_cast<size_t>(k)] = static_cast<uint8_t>(k);
      const auto opaque = [&] {
        bool answer = false;
        vellora::with_instruction_set(set, [&](auto isa) {
          answer = vellora::BlurRowKernels<decltype(isa)::value>::pixels_opaque(row.data(), width);
        });
        return answer;
      };
      ASSERT_TRUE(opaque()) << name_of(set) << " width " << width;
      for (int32_t k = 0; k < width; ++k) {
        for (const uint8_t alpha : {254, 1, 0}) {
          row[4 * static_cast<size_t>(k) + 3] = alpha;
          ASSERT_FALSE(opaque()) << name_of(set) << " width " << width << " alpha " << int{alpha}
                                 << " at " << k;
          row[4 * static_cast<size_t>(k) + 3] = 255;
        }
      }
    }
  }
}

TEST(BlurKernels, EveryVariantAndRadiusMatchesTheReference) {
  for (InstructionSet set : sets_that_run()) {
    std::mt19937 rng(31);
    for (int round = 0; round < 160; ++round) {
      int32_t w, h;
      size_of_round(round, rng, &w, &h);
      Image bitmap = make(w, h, kContents[round % kContentCount], rng);
      Image expected = bitmap;
      const int32_t radii[] = {1, 2, 3, w - 1, h - 1, w, h, 999, 1000, 1001, INT32_MAX};
      const int32_t radius = std::max(1, round % 2 ? pick(rng, 1, 80) : radii[rng() % 11]);
      reference::blur(expected.pixels(), radius);
      ASSERT_EQ(vellora::blur(bitmap.view(), radius, set), VELLORA_OK);
      ASSERT_EQ(bitmap.bytes, expected.bytes)
          << name_of(set) << " " << w << "x" << h << " radius " << radius;
    }
  }
}

// Windows near the radius clamp, where sums are largest.
TEST(BlurKernels, WideWindowsMatchTheReferenceInEveryVariant) {
  for (InstructionSet set : sets_that_run()) {
    std::mt19937 rng(32);
    for (const int32_t radius : {16, 1000}) {
      for (const auto& [w, h] : {std::pair{2100, 2}, std::pair{3, 1100}}) {
        Image bitmap = make(w, h, radius == 16 ? Content::kNoise : Content::kOpaque, rng);
        Image expected = bitmap;
        reference::blur(expected.pixels(), radius);
        ASSERT_EQ(vellora::blur(bitmap.view(), radius, set), VELLORA_OK);
        ASSERT_EQ(bitmap.bytes, expected.bytes)
            << name_of(set) << " " << w << "x" << h << " radius " << radius;
      }
    }
  }
}

}  // namespace
