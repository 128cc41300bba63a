// Mask clip: which pixels a mask covers, what value scales each alpha, and
// that nothing but the target's alpha bytes is ever written.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <tuple>
#include <vector>

#include "test_support.h"
#include "vellora.h"

namespace {

using hostsim::Bitmap;
using hostsim::BitmapPtr;
using vtest::Pixel;

int32_t handle(const BitmapPtr& bitmap) { return hostsim::handle_of(*bitmap); }

// Every pixel of a bitmap with its alpha set to a.
void set_all_alpha(Bitmap& bitmap, uint8_t a) {
  for (int32_t y = 0; y < hostsim::height_of(bitmap); ++y) {
    for (int32_t x = 0; x < hostsim::width_of(bitmap); ++x) hostsim::pixel_at(bitmap, x, y)[3] = a;
  }
}

TEST(ClipMask, CoveredAlphaBecomesMaskBlueTimesAlphaOver255) {
  BitmapPtr target = hostsim::make_bitmap(4, 1);
  BitmapPtr mask = hostsim::make_bitmap(4, 1);
  const Pixel t[4] = {{1, 2, 3, 255}, {4, 5, 6, 200}, {7, 8, 9, 255}, {10, 11, 12, 200}};
  const uint8_t blue[4] = {128, 128, 255, 0};
  for (int32_t x = 0; x < 4; ++x) {
    vtest::put(*target, x, 0, t[x]);
    vtest::put(*mask, x, 0, {blue[x], 0, 0, 0});
  }
  ASSERT_EQ(ClipMask(handle(target), handle(mask), 0, 0, 0), VELLORA_OK);
  EXPECT_EQ(vtest::get(*target, 0, 0), (Pixel{1, 2, 3, 128}));
  EXPECT_EQ(vtest::get(*target, 1, 0), (Pixel{4, 5, 6, 100}));  // 25600 / 255 = 100.39
  EXPECT_EQ(vtest::get(*target, 2, 0), (Pixel{7, 8, 9, 255}));
  EXPECT_EQ(vtest::get(*target, 3, 0), (Pixel{10, 11, 12, 0}));
}

// Every (mask byte, alpha) pair, through the wide kernel and the scalar tail
// (257 columns) and through the outside value: the division trick is exact.
TEST(ClipMask, EveryMaskByteAndAlphaPairIsExact) {
  BitmapPtr target = hostsim::make_bitmap(257, 256);
  BitmapPtr mask = hostsim::make_bitmap(257, 256);
  for (int32_t y = 0; y < 256; ++y) {
    for (int32_t x = 0; x < 257; ++x) {
      vtest::put(*target, x, y, {0, 0, 0, static_cast<uint8_t>(x)});
      vtest::put(*mask, x, y, {static_cast<uint8_t>(y), 0, 0, 0});
    }
  }
  ASSERT_EQ(ClipMask(handle(target), handle(mask), 0, 0, 0), VELLORA_OK);
  for (int32_t y = 0; y < 256; ++y) {
    for (int32_t x = 0; x < 257; ++x) {
      ASSERT_EQ(vtest::get(*target, x, y)[3], (y * (x % 256)) / 255) << x << ", " << y;
    }
  }

  BitmapPtr row = hostsim::make_bitmap(257, 1);
  for (int32_t m = 0; m <= 255; ++m) {
    for (int32_t x = 0; x < 257; ++x) vtest::put(*row, x, 0, {0, 0, 0, static_cast<uint8_t>(x)});
    ASSERT_EQ(ClipMask(handle(row), handle(mask), 0, 1000, m), VELLORA_OK);
    for (int32_t x = 0; x < 257; ++x) {
      ASSERT_EQ(vtest::get(*row, x, 0)[3], (m * (x % 256)) / 255) << m << ", " << x;
    }
  }
}

TEST(ClipMask, OnlyTheMaskBlueByteCounts) {
  BitmapPtr target = hostsim::make_bitmap(2, 1);
  BitmapPtr mask = hostsim::make_bitmap(2, 1);
  vtest::fill(*target, {9, 9, 9, 255});
  vtest::put(*mask, 0, 0, {0, 255, 255, 255});
  vtest::put(*mask, 1, 0, {255, 0, 0, 0});
  ASSERT_EQ(ClipMask(handle(target), handle(mask), 0, 0, 77), VELLORA_OK);
  EXPECT_EQ(vtest::get(*target, 0, 0), (Pixel{9, 9, 9, 0}));
  EXPECT_EQ(vtest::get(*target, 1, 0), (Pixel{9, 9, 9, 255}));
}

// Past +-8421504 the product leaves 32 bits; the quotient is still the exact
// truncated one, and its low byte is stored.
TEST(ClipMask, OutsideValueIsNotClampedAndKeepsTheLowByteOfTheQuotient) {
  struct Case {
    int32_t m;
    uint8_t alpha;
    uint8_t expected;
  };
  const Case cases[] = {
      {256, 255, 0},          // 256 = 0x100
      {300, 255, 44},         // 300 = 0x12C
      {-1, 255, 255},         // -1 = ...FF
      {-1, 254, 0},           // -254 / 255 truncates to 0
      {255, 173, 173},        // keeps
      {0, 173, 0},            // clears
      {-300, 255, 212},       // -300 = ...FED4
      {INT_MAX, 255, 0xFF},   // INT_MAX = 0x7FFFFFFF
      {INT_MIN, 255, 0x00},   // INT_MIN = -0x80000000
      {INT_MAX, 1, 0x80},     // 8421504 = 0x808080
      {INT_MIN, 1, 0x80},     // -8421504 = ...FF7F7F80
      {8421505, 255, 0x81},   // 0x808081; the product is 2^31 + 127
      {-8421505, 255, 0x7F},  // -0x808081 = ...FF7F7F7F
      {8421504, 255, 0x80},   // the last value whose product fits in 32 bits
  };
  for (const Case& c : cases) {
    BitmapPtr target = hostsim::make_bitmap(5, 3);
    BitmapPtr mask = hostsim::make_bitmap(1, 1);
    vtest::fill(*target, {1, 2, 3, c.alpha});
    // The mask lies off the target: every pixel takes the outside value.
    ASSERT_EQ(ClipMask(handle(target), handle(mask), 5, 0, c.m), VELLORA_OK);
    for (int32_t y = 0; y < 3; ++y) {
      for (int32_t x = 0; x < 5; ++x) {
        ASSERT_EQ(vtest::get(*target, x, y), (Pixel{1, 2, 3, c.expected}))
            << c.m << " over " << int{c.alpha} << " at " << x << ", " << y;
      }
    }
  }
}

// An opaque target under a mask of its size whose blue byte codes the
// position, 3x + 5y + 1: each alpha becomes the blue of the mask pixel over
// it, or `outside` where no mask pixel is.
void expect_shifted_mask(int32_t w, int32_t h, int32_t ox, int32_t oy, int32_t outside) {
  BitmapPtr target = hostsim::make_bitmap(w, h);
  BitmapPtr mask = hostsim::make_bitmap(w, h);
  vtest::fill(*target, {0, 0, 0, 255});
  const auto code = [](int32_t x, int32_t y) { return static_cast<uint8_t>(3 * x + 5 * y + 1); };
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) vtest::put(*mask, x, y, {code(x, y), 0, 0, 0});
  }
  ASSERT_EQ(ClipMask(handle(target), handle(mask), ox, oy, outside), VELLORA_OK);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const int32_t mx = x - ox, my = y - oy;
      const bool covered = mx >= 0 && mx < w && my >= 0 && my < h;
      EXPECT_EQ(vtest::get(*target, x, y)[3], covered ? code(mx, my) : outside)
          << "offset " << ox << ", " << oy << " at " << x << ", " << y;
    }
  }
}

TEST(ClipMask, OffsetsShiftTheMaskAndUncoverTheRest) {
  expect_shifted_mask(6, 2, -2, 0, 7);     // left: the right columns uncovered
  expect_shifted_mask(3, 5, 0, 3, 9);      // down: the top rows uncovered
  expect_shifted_mask(37, 3, 5, -1, 200);  // right and up, on a row past every vector step
}

// Random sizes and offsets, the mask partly or wholly off the target, and
// offsets whose far edge (offset + mask size) leaves the 32-bit range. The
// plain rule keeps every byte but alpha, and the mask is never written.
TEST(ClipMask, AnyPlacementMatchesThePlainRule) {
  std::mt19937 rng(11);
  const int32_t outside_values[] = {0, 255, 128, 256, -1, 300, INT_MAX, INT_MIN, 8421505};
  const std::pair<int32_t, int32_t> far_offsets[] = {
      {INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}, {INT_MAX, 0}, {0, INT_MIN}, {INT_MAX - 2, -1}};
  for (int trial = 0; trial < 405; ++trial) {
    // Rows up to 40 pixels, past two steps of the widest vector kernel, and
    // masks as often larger than the target as smaller.
    const int32_t w = 1 + static_cast<int32_t>(rng() % 40);
    const int32_t h = 1 + static_cast<int32_t>(rng() % 9);
    const int32_t mw = 1 + static_cast<int32_t>(rng() % 40);
    const int32_t mh = 1 + static_cast<int32_t>(rng() % 9);
    int32_t ox = static_cast<int32_t>(rng() % 61) - 30;
    int32_t oy = static_cast<int32_t>(rng() % 23) - 11;
    if (trial >= 400) std::tie(ox, oy) = far_offsets[trial - 400];
    const int32_t outside = outside_values[trial % 9];
    BitmapPtr target = vtest::random_bitmap(w, h, rng());
    BitmapPtr mask = vtest::random_bitmap(mw, mh, rng());
    const std::vector<uint8_t> mask_before = vtest::snapshot(*mask);
    vtest::Copy expected(*target);
    const vtest::Copy mask_copy(*mask);
    reference::clip_mask(expected.pixels, mask_copy.pixels, ox, oy, outside);
    ASSERT_EQ(ClipMask(handle(target), handle(mask), ox, oy, outside), VELLORA_OK);
    ASSERT_EQ(vtest::snapshot(*target), expected.bytes)
        << w << "x" << h << ", mask " << mw << "x" << mh << " at " << ox << ", " << oy
        << ", outside " << outside;
    ASSERT_EQ(vtest::snapshot(*mask), mask_before);
  }
}

TEST(ClipMask, TargetAsItsOwnMaskScalesAlphaByItsBlue) {
  for (auto [ox, oy] : {std::pair{0, 0}, {1, 0}, {-1, 2}, {3, -1}}) {
    BitmapPtr bitmap = vtest::random_bitmap(9, 6, 5);
    const std::vector<uint8_t> before = vtest::snapshot(*bitmap);
    vtest::Copy expected(*bitmap);
    reference::clip_mask(expected.pixels, expected.pixels, ox, oy, 100);
    ASSERT_EQ(ClipMask(handle(bitmap), handle(bitmap), ox, oy, 100), VELLORA_OK);
    EXPECT_EQ(vtest::snapshot(*bitmap), expected.bytes) << ox << ", " << oy;
    if (ox == 0 && oy == 0) {
      for (size_t i = 0; i < before.size(); i += 4) {
        ASSERT_EQ(expected.bytes[i + 3], before[i] * before[i + 3] / 255);
      }
    }
  }
}

// A corrupt mask header (no pixels) covers nothing; a target without pixels
// has nothing to scale. Neither reads a buffer it does not have.
TEST(ClipMask, BitmapsWithoutPixelsCoverOrChangeNothing) {
  for (auto [mw, mh] : {std::pair{0, 4}, {4, 0}, {-3, -3}, {-1, 4}, {INT_MIN, INT_MIN}}) {
    BitmapPtr target = vtest::random_bitmap(4, 4, 6);
    BitmapPtr expected = vtest::random_bitmap(4, 4, 6);
    BitmapPtr mask = hostsim::make_bitmap(4, 4);
    hostsim::set_header_dimensions(*mask, mw, mh);
    ASSERT_EQ(ClipMask(handle(target), handle(mask), 0, 0, 0), VELLORA_OK);
    set_all_alpha(*expected, 0);
    EXPECT_EQ(vtest::snapshot(*target), vtest::snapshot(*expected)) << mw << " x " << mh;
    hostsim::set_header_dimensions(*mask, 4, 4);
  }
  for (auto [w, h] : {std::pair{0, 4}, {4, 0}, {-2, -3}}) {
    BitmapPtr target = vtest::random_bitmap(4, 4, 7);
    BitmapPtr mask = hostsim::make_bitmap(4, 4);
    const std::vector<uint8_t> before = vtest::snapshot(*target);
    hostsim::set_header_dimensions(*target, w, h);
    EXPECT_EQ(ClipMask(handle(target), handle(mask), 0, 0, 0), VELLORA_OK);
    hostsim::set_header_dimensions(*target, 4, 4);
    EXPECT_EQ(vtest::snapshot(*target), before) << w << " x " << h;
  }
}

TEST(ClipMask, TargetIsResolvedFirstAndMaskFailuresComeBackOneHundredLower) {
  BitmapPtr target = vtest::random_bitmap(3, 3, 8);
  BitmapPtr mask = vtest::random_bitmap(3, 3, 9);
  const std::vector<uint8_t> before = vtest::snapshot(*target);

  EXPECT_EQ(ClipMask(0, handle(mask), 0, 0, 0), ERR_NULL_HANDLE);
  EXPECT_EQ(ClipMask(0, 0, 0, 0, 0), ERR_NULL_HANDLE);
  EXPECT_EQ(ClipMask(handle(target), 0, 0, 0, 0), -546100);

  hostsim::set_object_flags(*mask, 0x223);
  EXPECT_EQ(ClipMask(handle(target), handle(mask), 0, 0, 0), -546101);
  hostsim::restore_object_flags(*mask);
  hostsim::set_info_header_size(*mask, 12);
  EXPECT_EQ(ClipMask(handle(target), handle(mask), 0, 0, 0), -546104);
  hostsim::clear_info_header(*mask);
  EXPECT_EQ(ClipMask(handle(target), handle(mask), 0, 0, 0), -546103);
  hostsim::clear_bitmap_record(*mask);
  EXPECT_EQ(ClipMask(handle(target), handle(mask), 0, 0, 0), -546102);
  // A mask whose width * height * 4 does not fit in 32 bits is never read.
  BitmapPtr oversized = vtest::random_bitmap(3, 3, 10);
  hostsim::set_header_dimensions(*oversized, 46341, 46341);
  EXPECT_EQ(ClipMask(handle(target), handle(oversized), 0, 0, 0), -546105);
  EXPECT_EQ(ClipMask(handle(target), handle(oversized), -46340, -46340, 255), -546105);
  EXPECT_EQ(vtest::snapshot(*target), before);

  // A broken target is reported as itself, whatever the mask.
  hostsim::set_object_flags(*target, 0x22);
  EXPECT_EQ(ClipMask(handle(target), handle(mask), 0, 0, 0), ERR_NOT_BITMAP);
  EXPECT_EQ(ClipMask(handle(target), 0, 0, 0, 0), ERR_NOT_BITMAP);

  // A bad mask is reported even when the target has no pixels.
  BitmapPtr empty = hostsim::make_bitmap(0, 0);
  EXPECT_EQ(ClipMask(handle(empty), 0, 0, 0, 0), -546100);
}

}  // namespace
