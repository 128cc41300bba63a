// Tone shift and color inversion.
#include <gtest/gtest.h>

#include <climits>

#include "ops/kernels/tone_channel.h"
#include "test_support.h"
#include "vellora.h"

namespace {

using vtest::Pixel;

TEST(ToneChannel, WorkedValues) {
  EXPECT_EQ(vellora::tone_channel(100, 128), 177);
  EXPECT_EQ(vellora::tone_channel(100, -128), 50);
  EXPECT_EQ(vellora::tone_channel(0, 1), 0);
  EXPECT_EQ(vellora::tone_channel(0, 255), 254);
  EXPECT_EQ(vellora::tone_channel(255, -1), 254);
  EXPECT_EQ(vellora::tone_channel(1, -1), 0);
  EXPECT_EQ(vellora::tone_channel(255, 1), 255);
  EXPECT_EQ(vellora::tone_channel(128, 256), 255);
}

TEST(ToneChannel, StaysInRangeAndMovesTheRightWay) {
  for (int32_t v = -256; v <= 256; ++v) {
    for (int32_t ch = 0; ch <= 255; ++ch) {
      const int32_t out = vellora::tone_channel(ch, v);
      ASSERT_GE(out, 0) << ch << ", " << v;
      ASSERT_LE(out, 255) << ch << ", " << v;
      if (v > 0) {
        ASSERT_GE(out, ch) << ch << ", " << v;
      }
      if (v < 0 && ch > 0) {
        ASSERT_LT(out, ch) << ch << ", " << v;
      }
    }
  }
  EXPECT_EQ(vellora::tone_channel(77, 256), 255);
  EXPECT_EQ(vellora::tone_channel(77, -256), 0);
}

// The export tests' rows are 37 pixels wide, so that the export's kernels
// (the best tier the processor runs) take their vector groups and the plain
// kernel their tail. The other tiers are checked against the references in
// kernels_test.
TEST(ChangeTone, AmountsGoToTheirBytesAndAlphaIsKept) {
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(37, 5, 1);
  const std::vector<uint8_t> before = vtest::snapshot(*bitmap);
  ASSERT_EQ(ChangeTone(hostsim::handle_of(*bitmap), 256, 0, -256, 0), VELLORA_OK);
  const std::vector<uint8_t> after = vtest::snapshot(*bitmap);
  for (size_t i = 0; i < after.size(); i += 4) {
    EXPECT_EQ(after[i + 0], 0) << "blue at " << i;
    EXPECT_EQ(after[i + 1], before[i + 1]) << "green at " << i;
    EXPECT_EQ(after[i + 2], 255) << "red at " << i;
    EXPECT_EQ(after[i + 3], before[i + 3]) << "alpha at " << i;
  }
}

TEST(ChangeTone, EachChannelFollowsToneChannel) {
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(16, 16, 2);
  const std::vector<uint8_t> before = vtest::snapshot(*bitmap);
  ASSERT_EQ(ChangeTone(hostsim::handle_of(*bitmap), 37, -90, 200, 0), VELLORA_OK);
  const std::vector<uint8_t> after = vtest::snapshot(*bitmap);
  for (size_t i = 0; i < after.size(); i += 4) {
    ASSERT_EQ(after[i + 0], reference::tone_channel(before[i + 0], 200)) << "byte " << i;
    ASSERT_EQ(after[i + 1], reference::tone_channel(before[i + 1], -90)) << "byte " << i;
    ASSERT_EQ(after[i + 2], reference::tone_channel(before[i + 2], 37)) << "byte " << i;
  }
}

TEST(ChangeTone, AmountsBeyondTheRangeActAsTheBound) {
  for (auto [amount, bound] : {std::pair{1000, 256},
                               {-1000, -256},
                               {INT_MAX, 256},
                               {INT_MIN, -256},
                               {257, 256},
                               {-257, -256}}) {
    hostsim::BitmapPtr clamped = vtest::random_bitmap(37, 4, 3);
    hostsim::BitmapPtr exact = vtest::random_bitmap(37, 4, 3);
    ASSERT_EQ(ChangeTone(hostsim::handle_of(*clamped), amount, amount, amount, 0), VELLORA_OK);
    ASSERT_EQ(ChangeTone(hostsim::handle_of(*exact), bound, bound, bound, 0), VELLORA_OK);
    EXPECT_EQ(vtest::snapshot(*clamped), vtest::snapshot(*exact)) << amount;
  }
}

TEST(ChangeTone, ZeroAmountsChangeNothing) {
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(8, 3, 4);
  const std::vector<uint8_t> before = vtest::snapshot(*bitmap);
  EXPECT_EQ(ChangeTone(hostsim::handle_of(*bitmap), 0, 0, 0, 1), VELLORA_OK);
  EXPECT_EQ(vtest::snapshot(*bitmap), before);
}

TEST(ChangeTone, SkipTransparentSparesOnlyAlphaZero) {
  // Alpha 0 and 1 by turns along the row.
  const auto row = [] {
    hostsim::BitmapPtr bitmap = hostsim::make_bitmap(37, 1);
    for (int32_t x = 0; x < 37; ++x) {
      vtest::put(*bitmap, x, 0, {10, 20, 30, static_cast<uint8_t>(x % 2)});
    }
    return bitmap;
  };
  for (int32_t skip : {1, -1, INT_MIN, 2, 0}) {
    hostsim::BitmapPtr bitmap = row();
    ASSERT_EQ(ChangeTone(hostsim::handle_of(*bitmap), 128, 128, 128, skip), VELLORA_OK);
    for (int32_t x = 0; x < 37; ++x) {
      const uint8_t alpha = static_cast<uint8_t>(x % 2);
      // 10 + (255 - 10) * 128 / 256 = 132, and so on.
      const Pixel expected =
          skip != 0 && alpha == 0 ? Pixel{10, 20, 30, 0} : Pixel{132, 137, 142, alpha};
      EXPECT_EQ(vtest::get(*bitmap, x, 0), expected) << "skip " << skip << ", x " << x;
    }
  }
}

TEST(InvertColor, ComplementsColorsAndKeepsAlpha) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(37, 1);
  for (int32_t x = 0; x < 37; ++x) {
    vtest::put(*bitmap, x, 0, {static_cast<uint8_t>(x), 128, 255, static_cast<uint8_t>(77 * x)});
  }
  ASSERT_EQ(InvertColor(hostsim::handle_of(*bitmap)), VELLORA_OK);
  for (int32_t x = 0; x < 37; ++x) {
    EXPECT_EQ(vtest::get(*bitmap, x, 0),
              (Pixel{static_cast<uint8_t>(255 - x), 127, 0, static_cast<uint8_t>(77 * x)}))
        << "x " << x;
  }
}

TEST(InvertColor, TwiceRestoresTheBuffer) {
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(13, 11, 5);
  const std::vector<uint8_t> before = vtest::snapshot(*bitmap);
  ASSERT_EQ(InvertColor(hostsim::handle_of(*bitmap)), VELLORA_OK);
  EXPECT_NE(vtest::snapshot(*bitmap), before);
  ASSERT_EQ(InvertColor(hostsim::handle_of(*bitmap)), VELLORA_OK);
  EXPECT_EQ(vtest::snapshot(*bitmap), before);
}

TEST(ToneAndInvert, OversizedHeaderIsRefusedAndNothingIsWritten) {
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(4, 4, 8);
  const std::vector<uint8_t> before = vtest::snapshot(*bitmap);
  hostsim::set_header_dimensions(*bitmap, 46341, 46341);  // w * h * 4 wraps in 32 bits
  const int32_t handle = hostsim::handle_of(*bitmap);
  EXPECT_EQ(ChangeTone(handle, 256, 256, 256, 0), ERR_BAD_PIXEL_BUFFER);
  EXPECT_EQ(InvertColor(handle), ERR_BAD_PIXEL_BUFFER);
  hostsim::set_header_dimensions(*bitmap, 4, 4);
  EXPECT_EQ(vtest::snapshot(*bitmap), before);
}

}  // namespace
