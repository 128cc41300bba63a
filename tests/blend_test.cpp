// The blend modes and BlendBlt: per-pixel rounding, clipping and pairing, the
// order of visits when source and destination overlap, and failure codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <random>
#include <vector>

#include "test_support.h"
#include "vellora.h"

namespace {

using hostsim::Bitmap;
using hostsim::BitmapPtr;
using vtest::Pixel;

int32_t handle(const BitmapPtr& bitmap) { return hostsim::handle_of(*bitmap); }

// One pixel pair blended through the export, as a row of 37 equal pairs, so
// that the export's kernel (the best tier the processor runs) blends it in
// its vector groups and the plain kernel in the tail, and all 37 results must
// agree. The other tiers are checked against the references in kernels_test.
constexpr int32_t kRow = 37;

Pixel blend_one(Pixel dst, Pixel src, int32_t mode, int32_t opacity) {
  BitmapPtr d = hostsim::make_bitmap(kRow, 1), s = hostsim::make_bitmap(kRow, 1);
  vtest::fill(*d, dst);
  vtest::fill(*s, src);
  EXPECT_EQ(BlendBlt(handle(d), 0, 0, handle(s), 0, 0, kRow, 1, mode, opacity), VELLORA_OK);
  for (int32_t x = 0; x < kRow; ++x) {
    EXPECT_EQ(vtest::get(*s, x, 0), src) << "the source was written at x " << x;
    EXPECT_EQ(vtest::get(*d, x, 0), vtest::get(*d, 0, 0)) << "x " << x << " differs from x 0";
  }
  return vtest::get(*d, 0, 0);
}

struct Witness {
  Pixel dst, src;
  int32_t mode, opacity;
  Pixel expected;
};

void expect_witnesses(const std::vector<Witness>& witnesses) {
  for (const Witness& w : witnesses) {
    EXPECT_EQ(blend_one(w.dst, w.src, w.mode, w.opacity), w.expected)
        << "mode " << w.mode << ", opacity " << w.opacity;
  }
}

TEST(BlendNormal, SourceWeightIsTheProductOfAlphaAndOpacity) {
  expect_witnesses({
      {{10, 20, 30, 255}, {200, 100, 50, 255}, BLEND_NORMAL, 128, {105, 60, 40, 255}},
      {{10, 20, 30, 255}, {200, 100, 50, 128}, BLEND_NORMAL, 255, {105, 60, 40, 255}},
      {{10, 20, 30, 100}, {200, 100, 50, 128}, BLEND_NORMAL, 255, {146, 77, 44, 177}},
      // Ws = 20000 (not a * 255 = 19890), Wd = 177 * 200, L = 55400:
      // red 6740000 / 55400 = 121.7 -> 121, alpha 55400 / 255 = 217.3 -> 217.
      {{160, 160, 100, 200}, {250, 200, 160, 200}, BLEND_NORMAL, 100, {192, 174, 121, 217}},
      // Wd = 0: the source's colors with the effective alpha a = 128.
      {{10, 20, 30, 0}, {200, 100, 50, 255}, BLEND_NORMAL, 128, {200, 100, 50, 128}},
  });
}

TEST(BlendModes, ZeroEffectiveAlphaLeavesTheDestinationInModes0To2) {
  const Pixel dst{10, 20, 30, 40};
  for (int32_t mode : {BLEND_NORMAL, BLEND_ADD, BLEND_SUBTRACT}) {
    EXPECT_EQ(blend_one(dst, {200, 100, 50, 254}, mode, 1), dst) << mode;  // product 254
    EXPECT_EQ(blend_one(dst, {200, 100, 50, 255}, mode, 0), dst) << mode;
    EXPECT_EQ(blend_one(dst, {200, 100, 50, 0}, mode, 255), dst) << mode;
  }
}

TEST(BlendAdd, ScalesByAlphaRatioAndSaturatesAt255) {
  expect_witnesses({
      {{200, 200, 200, 255}, {100, 100, 100, 255}, BLEND_ADD, 255, {255, 255, 255, 255}},
      {{40, 80, 120, 255}, {100, 100, 100, 255}, BLEND_ADD, 128, {90, 130, 170, 255}},
      {{40, 80, 120, 64}, {100, 100, 100, 255}, BLEND_ADD, 255, {110, 120, 130, 255}},
      {{40, 80, 120, 0}, {100, 90, 80, 255}, BLEND_ADD, 128, {100, 90, 80, 128}},
      // a = 78 < Ad: red 40 + 170 * 78 / 100 = 40 + 132 (132.6 truncated).
      {{200, 20, 40, 100}, {220, 100, 170, 200}, BLEND_ADD, 100, {255, 98, 172, 100}},
      // a = 200 > Ad: 201 * 100 / 200 = 100 (100.5 truncated), + 10.
      {{201, 101, 51, 100}, {10, 20, 30, 200}, BLEND_ADD, 255, {110, 70, 55, 200}},
  });
}

TEST(BlendSubtract, ScalesByAlphaRatioAndStopsAt0) {
  expect_witnesses({
      {{200, 50, 100, 255}, {100, 100, 100, 255}, BLEND_SUBTRACT, 255, {100, 0, 0, 255}},
      {{40, 80, 120, 255}, {100, 100, 100, 255}, BLEND_SUBTRACT, 128, {0, 30, 70, 255}},
      // Ad = 64 < a: 40 * 64 / 255 - 10 = 0, 80 * 64 / 255 - 10 = 10; alpha a.
      {{40, 80, 120, 64}, {10, 10, 10, 255}, BLEND_SUBTRACT, 255, {0, 10, 20, 255}},
      // a = 78 < Ad: green 90 - 10 * 78 / 200 = 90 - 3 (3.9 truncated).
      {{90, 90, 40, 200}, {250, 10, 140, 200}, BLEND_SUBTRACT, 100, {0, 87, 0, 200}},
      // a = 200 > Ad: 201 * 100 / 200 - 10 = 90, 51 * 100 / 200 - 30 < 0.
      {{201, 101, 51, 100}, {10, 20, 30, 200}, BLEND_SUBTRACT, 255, {90, 30, 0, 200}},
  });
}

// Modes 3..7 on Ps = Cs * As / 255 and Pd = Cd * Ad / 255, each truncated.
TEST(BlendPremultiplied, MultiplyAndScreen) {
  expect_witnesses({
      {{200, 100, 50, 255}, {128, 255, 0, 255}, BLEND_MULTIPLY, 255, {100, 100, 0, 255}},
      {{200, 100, 50, 128}, {128, 255, 0, 255}, BLEND_MULTIPLY, 255, {50, 50, 0, 255}},
      {{200, 100, 50, 128}, {128, 255, 0, 0}, BLEND_MULTIPLY, 255, {0, 0, 0, 255}},
      // Ps = (23, 7, 47): 23 * 240 / 255 = 21.6 -> 21, 7 * 130 / 255 = 3.6 -> 3.
      {{240, 130, 50, 255}, {30, 10, 60, 200}, BLEND_MULTIPLY, 255, {21, 3, 9, 255}},
      {{100, 0, 200, 255}, {0, 128, 100, 255}, BLEND_SCREEN, 255, {100, 128, 222, 255}},
      {{100, 0, 200, 128}, {0, 128, 100, 0}, BLEND_SCREEN, 255, {50, 0, 100, 255}},
      // Ps = (180, 23, 7): green 255 - 232 * 255 / 255 = 23, red 255 - 189 = 66.
      {{230, 0, 60, 255}, {230, 30, 10, 200}, BLEND_SCREEN, 255, {248, 23, 66, 255}},
  });
}

TEST(BlendPremultiplied, ColorDodgeIs255WhenSourceIs255) {
  expect_witnesses({
      {{100, 0, 200, 255}, {255, 128, 100, 255}, BLEND_COLOR_DODGE, 255, {255, 0, 255, 255}},
      {{100, 50, 0, 255}, {254, 200, 0, 255}, BLEND_COLOR_DODGE, 255, {255, 231, 0, 255}},
      {{0, 0, 0, 0}, {255, 255, 255, 255}, BLEND_COLOR_DODGE, 255, {255, 255, 255, 255}},
      // Ps = (15, 82, 23), Pd = (78, 133, 0): 19890 / 240 = 82.9 -> 82.
      {{100, 170, 0, 200}, {40, 210, 60, 100}, BLEND_COLOR_DODGE, 255, {82, 196, 0, 255}},
  });
}

TEST(BlendPremultiplied, ColorBurnIs0WhenSourceIs0AndTruncatesTheQuotient) {
  expect_witnesses({
      {{100, 255, 200, 255}, {0, 128, 100, 255}, BLEND_COLOR_BURN, 255, {0, 255, 115, 255}},
      {{255, 255, 255, 255}, {0, 0, 0, 255}, BLEND_COLOR_BURN, 255, {0, 0, 0, 255}},
      // Ps = (164, 172, 149), Pd = (54, 141, 164): green 255 - 169 (29070 / 172 =
      // 169.01), red 255 - 155 (155.7); blue goes below 0.
      {{70, 180, 210, 200}, {210, 220, 190, 200}, BLEND_COLOR_BURN, 255, {0, 86, 100, 255}},
  });
}

TEST(BlendPremultiplied, OverlaySwitchesBranchAt128) {
  expect_witnesses({
      {{127, 128, 255, 255}, {100, 100, 100, 255}, BLEND_OVERLAY, 255, {99, 101, 255, 255}},
      {{0, 200, 60, 255}, {255, 255, 200, 255}, BLEND_OVERLAY, 255, {0, 255, 94, 255}},
      // Ps = (82, 98, 15), Pd = (23, 109, 164): 3772 / 255 -> 14, 21364 / 255 -> 83,
      // 2 * (15 + 164 - 9) - 255 = 85.
      {{30, 140, 210, 200}, {210, 250, 40, 100}, BLEND_OVERLAY, 255, {14, 83, 85, 255}},
  });
}

TEST(BlendPremultiplied, OpacityPlaysNoPartAndTheResultIsOpaque) {
  const BitmapPtr src = vtest::random_bitmap(16, 16, 21);
  for (int32_t mode = BLEND_MULTIPLY; mode <= BLEND_OVERLAY; ++mode) {
    const BitmapPtr reference = vtest::random_bitmap(16, 16, 22);
    ASSERT_EQ(BlendBlt(handle(reference), 0, 0, handle(src), 0, 0, 16, 16, mode, 255), VELLORA_OK);
    const std::vector<uint8_t> expected = vtest::snapshot(*reference);
    for (size_t i = 3; i < expected.size(); i += 4) ASSERT_EQ(expected[i], 255) << mode;
    for (int32_t opacity : {0, 1, 128, 254}) {
      const BitmapPtr dst = vtest::random_bitmap(16, 16, 22);
      ASSERT_EQ(BlendBlt(handle(dst), 0, 0, handle(src), 0, 0, 16, 16, mode, opacity), VELLORA_OK);
      EXPECT_EQ(vtest::snapshot(*dst), expected) << "mode " << mode << ", opacity " << opacity;
    }
  }
}

TEST(BlendModes, ModesOutside0To7ChangeNothing) {
  const BitmapPtr src = vtest::random_bitmap(8, 8, 31);
  for (int32_t mode : {8, 9, 256, -1, -8, INT_MIN, INT_MAX}) {
    const BitmapPtr dst = vtest::random_bitmap(8, 8, 32);
    const std::vector<uint8_t> before = vtest::snapshot(*dst);
    EXPECT_EQ(BlendBlt(handle(dst), 0, 0, handle(src), 0, 0, 8, 8, mode, 255), VELLORA_OK);
    EXPECT_EQ(vtest::snapshot(*dst), before) << mode;
  }
}

// Every mode computes from the values both pixels held before the call.
TEST(BlendModes, PixelBlendedOntoItselfUsesItsOldValue) {
  std::mt19937 rng(41);
  for (int32_t mode = 0; mode < BLEND_MODE_COUNT; ++mode) {
    for (int n = 0; n < 200; ++n) {
      Pixel p;
      for (uint8_t& byte : p) byte = static_cast<uint8_t>(rng());
      const int32_t opacity = static_cast<int32_t>(rng() % 256);
      const BitmapPtr self = hostsim::make_bitmap(1, 1);
      vtest::put(*self, 0, 0, p);
      ASSERT_EQ(BlendBlt(handle(self), 0, 0, handle(self), 0, 0, 1, 1, mode, opacity), VELLORA_OK);
      Pixel expected = p;
      reference::blend_pixel(expected.data(), expected.data(), mode, opacity);
      ASSERT_EQ(vtest::get(*self, 0, 0), expected) << "mode " << mode;
    }
  }
}

// Opacity is not limited by any caller: beyond 255 it acts as 255, below 0 as
// 0, so no weight turns negative and nothing divides by a transparent alpha.
TEST(BlendOpacity, OutOfRangeActsAsTheNearerBound) {
  const BitmapPtr src = vtest::random_bitmap(8, 8, 51);
  for (int32_t mode : {BLEND_NORMAL, BLEND_ADD, BLEND_SUBTRACT, BLEND_OVERLAY}) {
    for (auto [opacity, bound] :
         {std::pair{256, 255}, {1000, 255}, {INT_MAX, 255}, {-1, 0}, {-255, 0}, {INT_MIN, 0}}) {
      const BitmapPtr dst = vtest::random_bitmap(8, 8, 52);
      const BitmapPtr reference = vtest::random_bitmap(8, 8, 52);
      for (int32_t y = 0; y < 8; y += 2) {  // transparent destinations: the divisors at risk
        for (int32_t x = 0; x < 8; ++x) {
          hostsim::pixel_at(*dst, x, y)[3] = 0;
          hostsim::pixel_at(*reference, x, y)[3] = 0;
        }
      }
      ASSERT_EQ(BlendBlt(handle(dst), 0, 0, handle(src), 0, 0, 8, 8, mode, opacity), VELLORA_OK);
      ASSERT_EQ(BlendBlt(handle(reference), 0, 0, handle(src), 0, 0, 8, 8, mode, bound),
                VELLORA_OK);
      EXPECT_EQ(vtest::snapshot(*dst), vtest::snapshot(*reference))
          << "mode " << mode << ", opacity " << opacity;
    }
  }
}

// --- Clipping -------------------------------------------------------------

struct Area {
  int32_t dst_x, dst_y, src_x, src_y, width, height;
};

Pixel coded(int32_t x, int32_t y) {
  return {static_cast<uint8_t>(x), static_cast<uint8_t>(y), 0xA5, 255};
}

// Pixel (x, y) is coded(x, y): opaque, so that mode 0 at full opacity copies
// it, and telling where each copied pixel came from.
BitmapPtr coded_bitmap(int32_t w, int32_t h) {
  BitmapPtr bitmap = hostsim::make_bitmap(w, h);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) vtest::put(*bitmap, x, y, coded(x, y));
  }
  return bitmap;
}

BitmapPtr destination_before(int32_t dw, int32_t dh) { return vtest::random_bitmap(dw, dh, 61); }

// Copies `a` from a coded sw x sh source onto destination_before(dw, dh),
// checks the result against the definition, and returns the destination.
BitmapPtr copy_and_check(int32_t dw, int32_t dh, int32_t sw, int32_t sh, const Area& a) {
  BitmapPtr dst = destination_before(dw, dh);
  const BitmapPtr src = coded_bitmap(sw, sh);
  vtest::Copy expected(*dst);
  const vtest::Copy source(*src);
  reference::blend_blt(expected.pixels, source.pixels, a.dst_x, a.dst_y, a.src_x, a.src_y, a.width,
                       a.height, BLEND_NORMAL, 255);
  EXPECT_EQ(BlendBlt(handle(dst), a.dst_x, a.dst_y, handle(src), a.src_x, a.src_y, a.width,
                     a.height, BLEND_NORMAL, 255),
            VELLORA_OK);
  EXPECT_EQ(vtest::snapshot(*dst), expected.bytes)
      << "dst " << a.dst_x << "," << a.dst_y << " src " << a.src_x << "," << a.src_y << " area "
      << a.width << "x" << a.height << " on " << dw << "x" << dh << " / " << sw << "x" << sh;
  EXPECT_EQ(vtest::snapshot(*src), vtest::snapshot(*coded_bitmap(sw, sh)));
  return dst;
}

TEST(BlendClip, OnlyPairsWhosePixelsBothExistAreBlended) {
  struct Case {
    int32_t dw, dh, sw, sh;
    Area area;
  };
  const Case cases[] = {
      {10, 3, 10, 3, {0, 0, -2, 0, 5, 1}},  // destination columns 2..4 take source 0..2
      {3, 10, 3, 10, {0, 0, 0, -2, 1, 5}},
      {3, 3, 2, 2, {0, 0, 0, 0, 5, 5}},  // four pairs, each at the same position
      {4, 4, 4, 4, {1, 2, 0, 0, 9, 9}},  // source (0, 0) .. (2, 1) at (1, 2) .. (3, 3)
      {4, 3, 5, 6, {-2, -1, -3, -4, 100, 100}},
      {6, 5, 3, 4, {2, 1, -1, -2, 100, 100}},
      {6, 5, 4, 3, {3, 2, 1, 1, 6, 6}},  // far edges of the source
      {4, 3, 6, 5, {1, 1, 3, 2, 6, 6}},  // far edges of the destination
      {5, 5, 5, 5, {4, 4, 4, 4, 3, 3}},  // one pair, bottom-right in both
  };
  for (const Case& c : cases) copy_and_check(c.dw, c.dh, c.sw, c.sh, c.area);

  // The definition itself, spelled out once: a negative destination origin
  // cuts the source by as much.
  const BitmapPtr dst = copy_and_check(5, 4, 20, 4, {-3, 0, 0, 0, 10, 1});
  for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(vtest::get(*dst, x, 0), coded(x + 3, 0)) << x;
  EXPECT_EQ(vtest::get(*dst, 0, 1), vtest::get(*destination_before(5, 4), 0, 1));
}

TEST(BlendClip, EmptyOrMissingAreasChangeNothing) {
  for (const Area& a : std::vector<Area>{{0, 0, 0, 0, 0, 3},
                                         {0, 0, 0, 0, 3, -3},
                                         {0, 0, -3, 0, 2, 3},  // a negative origin eats it all
                                         {0, 0, 0, -5, 3, 5},
                                         {4, 0, 0, 0, 3, 3},  // dst_x = DW
                                         {0, 3, 0, 0, 3, 3},  // dst_y = DH
                                         {-3, 0, 0, 0, 3, 3},
                                         {0, 0, 4, 0, 3, 3}}) {
    const BitmapPtr dst = copy_and_check(4, 3, 4, 3, a);
    EXPECT_EQ(vtest::snapshot(*dst), vtest::snapshot(*destination_before(4, 3)));
  }
}

// Sums of 32-bit arguments that overflow must neither wrap into the bitmaps
// nor overflow (the sanitizer build is the witness).
TEST(BlendClip, ExtremeArgumentsClipExactly) {
  const Area cases[] = {
      {0, 0, INT_MAX - 1, 0, 10, 1},  // src_x + area_width past INT32_MAX
      {0, 0, 0, INT_MAX, 1, INT_MAX},
      {INT_MIN, INT_MIN, 0, 0, INT_MAX, INT_MAX},
      {0, 0, INT_MIN, INT_MIN, INT_MAX, INT_MAX},
      {INT_MIN, 0, INT_MAX, 0, INT_MAX, 5},
      {1, 1, INT_MIN, INT_MIN, INT_MIN, INT_MIN},
      {-2, -1, -3, -2, INT_MAX, INT_MAX},
      {2, 1, INT_MAX, INT_MAX, INT_MAX, INT_MAX},
  };
  for (const Area& a : cases) copy_and_check(5, 4, 6, 3, a);

  const int32_t values[] = {INT_MIN, INT_MIN + 1, -7, -3, -1, 0, 1, 2, 4, 7, INT_MAX - 1, INT_MAX};
  std::mt19937 rng(71);
  auto any = [&] { return values[rng() % (sizeof values / sizeof values[0])]; };
  for (int n = 0; n < 3000 && !::testing::Test::HasFailure(); ++n) {
    copy_and_check(5, 4, 4, 6, {any(), any(), any(), any(), any(), any()});
  }
}

// --- One bitmap as source and destination -----------------------------------

// Columns from the left, rows from the top: (1, 1) is written in column 0 and
// then read as a source in column 1.
TEST(BlendSelf, OverlapIsReadInColumnOrder) {
  const BitmapPtr bitmap = coded_bitmap(3, 3);
  ASSERT_EQ(BlendBlt(handle(bitmap), 1, 0, handle(bitmap), 0, 1, 2, 2, BLEND_NORMAL, 255),
            VELLORA_OK);
  EXPECT_EQ(vtest::get(*bitmap, 1, 0), coded(0, 1));
  EXPECT_EQ(vtest::get(*bitmap, 1, 1), coded(0, 2));
  EXPECT_EQ(vtest::get(*bitmap, 2, 1), coded(1, 2));
  EXPECT_EQ(vtest::get(*bitmap, 2, 0), coded(0, 2));
  for (auto [x, y] : {std::pair{0, 0}, {0, 1}, {0, 2}, {1, 2}, {2, 2}}) {
    EXPECT_EQ(vtest::get(*bitmap, x, y), coded(x, y)) << x << ", " << y;
  }
}

TEST(BlendSelf, ColumnsRunLeftToRightAndRowsTopDown) {
  // Copying one pixel to the right: each column reads the one just written.
  BitmapPtr bitmap = coded_bitmap(4, 1);
  ASSERT_EQ(BlendBlt(handle(bitmap), 1, 0, handle(bitmap), 0, 0, 3, 1, BLEND_NORMAL, 255),
            VELLORA_OK);
  for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(vtest::get(*bitmap, x, 0), coded(0, 0)) << x;

  // Copying one row down: each row reads the one just written.
  bitmap = coded_bitmap(1, 4);
  ASSERT_EQ(BlendBlt(handle(bitmap), 0, 1, handle(bitmap), 0, 0, 1, 3, BLEND_NORMAL, 255),
            VELLORA_OK);
  for (int32_t y = 0; y < 4; ++y) EXPECT_EQ(vtest::get(*bitmap, 0, y), coded(0, 0)) << y;

  // The other way, each read comes before its pixel is overwritten: a shift.
  bitmap = coded_bitmap(4, 4);
  ASSERT_EQ(BlendBlt(handle(bitmap), 0, 0, handle(bitmap), 1, 1, 3, 3, BLEND_NORMAL, 255),
            VELLORA_OK);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(vtest::get(*bitmap, x, y), coded(x + 1, y + 1));
  }
}

// Self-blends on rows wider than any vector step, against the definition
// (columns from the left, each from the top, on one buffer). Areas that share
// exactly one row must not be taken for disjoint ones, whose rows may be
// walked in memory order: there the shared row is written before it is read.
TEST(BlendSelf, WideOverlapsFollowTheColumnOrder) {
  const Area areas[] = {
      {1, 0, 0, 0, 36, 5},  // the same rows, one pixel right
      {0, 0, 1, 0, 36, 5},  // one pixel left
      {0, 2, 0, 0, 37, 3},  // row 2 is the source's last and the destination's first
      {3, 0, 0, 2, 34, 3},  // row 2 the other way round, shifted
      {0, 3, 0, 0, 37, 2},  // rows apart: any order
  };
  for (const Area& a : areas) {
    for (const int32_t mode : {BLEND_NORMAL, BLEND_ADD, BLEND_OVERLAY}) {
      const BitmapPtr bitmap = vtest::random_bitmap(37, 5, 71);
      vtest::Copy expected(*bitmap);
      reference::blend_blt(expected.pixels, expected.pixels, a.dst_x, a.dst_y, a.src_x, a.src_y,
                           a.width, a.height, mode, 200);
      ASSERT_EQ(BlendBlt(handle(bitmap), a.dst_x, a.dst_y, handle(bitmap), a.src_x, a.src_y,
                         a.width, a.height, mode, 200),
                VELLORA_OK);
      EXPECT_EQ(vtest::snapshot(*bitmap), expected.bytes)
          << "mode " << mode << ", dst " << a.dst_x << "," << a.dst_y << " src " << a.src_x << ","
          << a.src_y << " area " << a.width << "x" << a.height;
    }
  }
}

// --- Failures ---------------------------------------------------------------

TEST(BlendFailure, DestinationIsResolvedFirst) {
  const BitmapPtr src = vtest::random_bitmap(2, 2, 91);
  const BitmapPtr broken = vtest::random_bitmap(2, 2, 92);
  hostsim::set_object_flags(*broken, 0x223);
  const std::vector<uint8_t> src_before = vtest::snapshot(*src);
  const std::vector<uint8_t> broken_before = vtest::snapshot(*broken);

  EXPECT_EQ(BlendBlt(0, 0, 0, handle(src), 0, 0, 2, 2, BLEND_NORMAL, 255), ERR_NULL_HANDLE);
  EXPECT_EQ(BlendBlt(0, 0, 0, 0, 0, 0, 2, 2, BLEND_NORMAL, 255), ERR_NULL_HANDLE);
  EXPECT_EQ(BlendBlt(handle(broken), 0, 0, 0, 0, 0, 2, 2, BLEND_NORMAL, 255), ERR_NOT_BITMAP);
  EXPECT_EQ(vtest::snapshot(*src), src_before);
  EXPECT_EQ(vtest::snapshot(*broken), broken_before);
}

TEST(BlendFailure, SourceCodesAreOneHundredLowerAndNothingIsWritten) {
  struct Case {
    void (*apply)(Bitmap&);
    int32_t code;
  };
  const Case cases[] = {
      {[](Bitmap& b) { hostsim::set_object_flags(b, 0x22); }, ERR_NOT_BITMAP},
      {[](Bitmap& b) { hostsim::clear_bitmap_record(b); }, ERR_NO_BITMAP_RECORD},
      {[](Bitmap& b) { hostsim::clear_info_header(b); }, ERR_NO_INFO_HEADER},
      {[](Bitmap& b) { hostsim::set_info_header_size(b, 12); }, ERR_BAD_INFO_HEADER},
      {[](Bitmap& b) { hostsim::set_header_dimensions(b, 46341, 46341); }, ERR_BAD_PIXEL_BUFFER},
  };
  for (const Case& c : cases) {
    const BitmapPtr dst = vtest::random_bitmap(3, 3, 93), src = vtest::random_bitmap(3, 3, 94);
    c.apply(*src);
    const std::vector<uint8_t> before = vtest::snapshot(*dst);
    EXPECT_EQ(BlendBlt(handle(dst), 0, 0, handle(src), 0, 0, 3, 3, BLEND_NORMAL, 255),
              c.code - 100);
    EXPECT_EQ(vtest::snapshot(*dst), before) << c.code;
  }
}

TEST(BlendFailure, BadSourceIsReportedEvenWhenTheAreaMissesTheDestination) {
  const BitmapPtr dst = vtest::random_bitmap(3, 3, 95);
  const std::vector<uint8_t> before = vtest::snapshot(*dst);
  EXPECT_EQ(BlendBlt(handle(dst), 3, 0, 0, 0, 0, 3, 3, BLEND_NORMAL, 255), -546100);
  EXPECT_EQ(BlendBlt(handle(dst), 0, 0, 0, 0, 0, 0, 0, BLEND_NORMAL, 255), -546100);
  EXPECT_EQ(BlendBlt(handle(dst), INT_MAX, INT_MIN, 0, 0, 0, -1, 5, 99, -1), -546100);
  EXPECT_EQ(vtest::snapshot(*dst), before);
}

}  // namespace
