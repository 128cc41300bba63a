// Mosaic: the alpha-weighted block mean, the grid anchored at the clipped
// corner, partial blocks, top-down rows on bottom-up storage, and arguments
// whose sums leave 32 bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "test_support.h"
#include "vellora.h"

namespace {

using vtest::bitmap_of;
using vtest::gray;
using vtest::image_of;
using vtest::Pixel;

std::vector<Pixel> grays(std::initializer_list<uint8_t> values) {
  std::vector<Pixel> out;
  for (uint8_t v : values) out.push_back(gray(v));
  return out;
}

// What the reference mosaic, each pixel finding its block from the clipped
// corner, makes of the image.
std::vector<Pixel> reference_mosaic(const std::vector<Pixel>& image, int32_t w, int32_t h,
                                    int32_t x, int32_t y, int32_t area_width, int32_t area_height,
                                    int32_t block_width, int32_t block_height) {
  vtest::Copy copy(*bitmap_of(w, h, image));
  reference::mosaic(copy.pixels, x, y, area_width, area_height, block_width, block_height);
  return copy.image();
}

// Runs Mosaic on a bitmap of the image and checks it against the reference,
// which also pins every pixel outside the clipped area to its old value.
void expect_like_reference(const std::vector<Pixel>& image, int32_t w, int32_t h, int32_t x,
                           int32_t y, int32_t aw, int32_t ah, int32_t bw, int32_t bh) {
  hostsim::BitmapPtr bitmap = bitmap_of(w, h, image);
  ASSERT_EQ(Mosaic(hostsim::handle_of(*bitmap), x, y, aw, ah, bw, bh), VELLORA_OK);
  EXPECT_EQ(image_of(*bitmap), reference_mosaic(image, w, h, x, y, aw, ah, bw, bh))
      << w << " x " << h << ": (" << x << ", " << y << ", " << aw << ", " << ah << ") blocks " << bw
      << " x " << bh;
}

TEST(MosaicArguments, ResolutionComesFirst) {
  EXPECT_EQ(Mosaic(0, 0, 0, 0, 0, 0, 0), ERR_NULL_HANDLE);
  EXPECT_EQ(Mosaic(0, INT_MIN, INT_MAX, INT_MIN, INT_MAX, INT_MIN, INT_MAX), ERR_NULL_HANDLE);
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(2, 2);
  hostsim::clear_info_header(*bitmap);
  EXPECT_EQ(Mosaic(hostsim::handle_of(*bitmap), 100, 100, 0, 0, 1, 1), ERR_NO_INFO_HEADER);
}

TEST(MosaicWeighting, TransparentPixelsLendNoColor) {
  hostsim::BitmapPtr bitmap = bitmap_of(2, 1, {{0, 0, 255, 255}, {255, 255, 255, 0}});
  ASSERT_EQ(Mosaic(hostsim::handle_of(*bitmap), 0, 0, 2, 1, 2, 1), VELLORA_OK);
  EXPECT_EQ(image_of(*bitmap), (std::vector<Pixel>{{0, 0, 255, 127}, {0, 0, 255, 127}}));
}

TEST(MosaicWeighting, MeansTruncate) {
  hostsim::BitmapPtr bitmap = bitmap_of(2, 1, grays({0, 255}));
  ASSERT_EQ(Mosaic(hostsim::handle_of(*bitmap), 0, 0, 2, 1, 2, 1), VELLORA_OK);
  EXPECT_EQ(image_of(*bitmap), grays({127, 127}));
}

TEST(MosaicWeighting, BlockWithAlphaSumBelowItsCountFadesOut) {
  hostsim::BitmapPtr bitmap = bitmap_of(3, 1, {{10, 20, 30, 2}, {40, 50, 60, 0}, {70, 80, 90, 0}});
  ASSERT_EQ(Mosaic(hostsim::handle_of(*bitmap), 0, 0, 3, 1, 3, 1), VELLORA_OK);
  EXPECT_EQ(image_of(*bitmap), std::vector<Pixel>(3, Pixel{0, 0, 0, 0}));
  // The same alpha over two pixels is a mean of 1.
  bitmap = bitmap_of(2, 1, {{10, 20, 30, 2}, {40, 50, 60, 0}});
  ASSERT_EQ(Mosaic(hostsim::handle_of(*bitmap), 0, 0, 2, 1, 2, 1), VELLORA_OK);
  EXPECT_EQ(image_of(*bitmap), std::vector<Pixel>(2, Pixel{10, 20, 30, 1}));
}

TEST(MosaicWeighting, BlocksBelowOnePixelActAsOnePixel) {
  for (auto [bw, bh] : {std::pair{1, 1}, {0, 0}, {-4, -4}, {INT_MIN, 0}}) {
    hostsim::BitmapPtr bitmap = vtest::random_bitmap(6, 5, 21);
    vtest::put(*bitmap, 2, 3, {9, 8, 7, 0});
    const std::vector<Pixel> before = image_of(*bitmap);
    ASSERT_EQ(Mosaic(hostsim::handle_of(*bitmap), 0, 0, 6, 5, bw, bh), VELLORA_OK);
    const std::vector<Pixel> after = image_of(*bitmap);
    for (size_t i = 0; i < after.size(); ++i) {
      const Pixel expected = before[i][3] == 0 ? Pixel{0, 0, 0, 0} : before[i];
      EXPECT_EQ(after[i], expected) << bw << " x " << bh << " at " << i;
    }
  }
}

TEST(MosaicGeometry, RowsCountFromTheTopOfBottomUpStorage) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(1, 3);
  uint8_t* stored = hostsim::pixels_of(*bitmap);
  for (int s = 0; s < 3; ++s) {
    const uint8_t v = static_cast<uint8_t>(10 << s);  // stored rows 0, 1, 2: 10, 20, 40
    stored[4 * s] = stored[4 * s + 1] = stored[4 * s + 2] = v;
    stored[4 * s + 3] = 255;
  }
  ASSERT_EQ(Mosaic(hostsim::handle_of(*bitmap), 0, 0, 1, 2, 1, 2), VELLORA_OK);
  // Image rows 0 and 1 are stored rows 2 and 1.
  EXPECT_EQ(std::vector<uint8_t>(stored, stored + 12),
            (std::vector<uint8_t>{10, 10, 10, 255, 30, 30, 30, 255, 30, 30, 30, 255}));
}

TEST(MosaicGeometry, BlocksAtTheFarEdgesAreCutThere) {
  hostsim::BitmapPtr bitmap = bitmap_of(5, 1, grays({0, 100, 200, 50, 250}));
  ASSERT_EQ(Mosaic(hostsim::handle_of(*bitmap), 0, 0, 5, 1, 2, 1), VELLORA_OK);
  EXPECT_EQ(image_of(*bitmap), grays({50, 50, 125, 125, 250}));

  // The area ends inside the bitmap: its last block stops at the area's edge
  // even though the bitmap goes on.
  bitmap = bitmap_of(5, 2, grays({0, 100, 200, 50, 250, 10, 30, 90, 70, 20}));
  ASSERT_EQ(Mosaic(hostsim::handle_of(*bitmap), 0, 0, 3, 1, 2, 2), VELLORA_OK);
  EXPECT_EQ(image_of(*bitmap), grays({50, 50, 200, 50, 250, 10, 30, 90, 70, 20}));
}

TEST(MosaicGeometry, NegativeOriginClipsAndKeepsTheFarEdge) {
  hostsim::BitmapPtr bitmap = bitmap_of(5, 1, grays({0, 100, 200, 50, 250}));
  // Columns 0 ... 3 (the right edge is -1 + 5), in blocks at 0 and 2.
  ASSERT_EQ(Mosaic(hostsim::handle_of(*bitmap), -1, 0, 5, 1, 2, 1), VELLORA_OK);
  EXPECT_EQ(image_of(*bitmap), grays({50, 50, 125, 125, 250}));

  bitmap = bitmap_of(2, 3, grays({0, 100, 200, 50, 90, 10}));
  ASSERT_EQ(Mosaic(hostsim::handle_of(*bitmap), -3, -2, 4, 4, 3, 3), VELLORA_OK);
  // Column 0, rows 0 and 1 remain: one block of 0 and 200.
  EXPECT_EQ(image_of(*bitmap), grays({100, 100, 100, 50, 90, 10}));
}

TEST(MosaicGeometry, GridIsAnchoredAtTheClippedCorner) {
  std::vector<Pixel> row;
  for (int i = 0; i < 14; ++i) row.push_back(gray(static_cast<uint8_t>(i * 10)));
  hostsim::BitmapPtr bitmap = bitmap_of(14, 1, row);
  ASSERT_EQ(Mosaic(hostsim::handle_of(*bitmap), 3, 0, 100, 1, 4, 1), VELLORA_OK);
  // Blocks start at columns 3, 7 and 11; columns 0 ... 2 lie outside.
  EXPECT_EQ(image_of(*bitmap), grays({0, 10, 20, 45, 45, 45, 45, 85, 85, 85, 85, 120, 120, 120}));

  std::mt19937 rng(22);
  const std::vector<Pixel> image = vtest::random_image(11, 9, rng);
  expect_like_reference(image, 11, 9, 3, 2, 7, 6, 4, 4);
  expect_like_reference(image, 11, 9, -5, -6, 14, 13, 3, 4);
}

TEST(MosaicGeometry, EmptyOrOutsideAreasChangeNothing) {
  for (auto [x, y, aw, ah] : {std::tuple{10, 10, 5, 5},
                              {4, 0, 1, 1},
                              {0, 4, 1, 1},
                              {0, 0, 0, 4},
                              {0, 0, 4, 0},
                              {0, 0, -3, 4},
                              {-5, 0, 5, 4},
                              {0, -5, 4, 5}}) {
    hostsim::BitmapPtr bitmap = vtest::random_bitmap(4, 4, 23);
    const std::vector<uint8_t> before = vtest::snapshot(*bitmap);
    EXPECT_EQ(Mosaic(hostsim::handle_of(*bitmap), x, y, aw, ah, 2, 2), VELLORA_OK);
    EXPECT_EQ(vtest::snapshot(*bitmap), before) << x << ", " << y << ", " << aw << ", " << ah;
  }
}

TEST(MosaicGeometry, BlockLargerThanTheAreaMakesOneBlock) {
  hostsim::BitmapPtr bitmap = bitmap_of(3, 2, grays({0, 30, 60, 90, 120, 150}));
  ASSERT_EQ(Mosaic(hostsim::handle_of(*bitmap), 1, 0, 2, 2, 50, 50), VELLORA_OK);
  // Columns 1 ... 2: (30 + 60 + 120 + 150) / 4.
  EXPECT_EQ(image_of(*bitmap), grays({0, 90, 90, 90, 90, 90}));
}

TEST(MosaicGeometry, MatchesPixelByPixelBlocksOnRandomAreas) {
  std::mt19937 rng(24);
  auto pick = [&rng](int32_t lo, int32_t hi) {
    return lo + static_cast<int32_t>(rng() % static_cast<uint32_t>(hi - lo + 1));
  };
  for (int i = 0; i < 400; ++i) {
    const int32_t w = pick(1, 12), h = pick(1, 12);
    const std::vector<Pixel> image = vtest::random_image(w, h, rng);
    expect_like_reference(image, w, h, pick(-6, 14), pick(-6, 14), pick(-2, 20), pick(-2, 20),
                          pick(-2, 8), pick(-2, 8));
  }
}

// Blocks of more than 33,025 pixels have weighted sums beyond int32_t.
TEST(MosaicLimits, LargeBlocksStayExact) {
  // 33,025 = 1321 x 25 pixels is the largest block whose sums fit in int32_t;
  // 33,026 = 337 x 98 is the smallest that does not.
  for (auto [bw, bh] : {std::pair{1321, 25}, {337, 98}, {1000, 1000}}) {
    hostsim::BitmapPtr bitmap = hostsim::make_bitmap(bw, bh);
    vtest::fill(*bitmap, gray(255));
    ASSERT_EQ(Mosaic(hostsim::handle_of(*bitmap), 0, 0, bw, bh, bw, bh), VELLORA_OK);
    for (size_t i = 0; i < vtest::byte_count(*bitmap); ++i) {
      ASSERT_EQ(hostsim::pixels_of(*bitmap)[i], 255) << bw << " x " << bh << " at " << i;
    }
  }
  // Three quarters white, one quarter gray 100, alphas mixed: compare with
  // sums taken in 64 bits.
  std::mt19937 rng(25);
  std::vector<Pixel> image(300 * 300, Pixel{255, 255, 255, 255});
  for (size_t i = 0; i < image.size(); i += 4) image[i] = {100, 100, 100, 255};
  for (size_t i = 1; i < image.size(); i += 7) image[i][3] = static_cast<uint8_t>(rng());
  expect_like_reference(image, 300, 300, 0, 0, 300, 300, 300, 300);
  expect_like_reference(image, 300, 300, -100, 17, 1000, 1000, 190, 250);
}

TEST(MosaicLimits, SumsOfArgumentsBeyondInt32AreClippedNotWrapped) {
  std::mt19937 rng(26);
  const std::vector<Pixel> image = vtest::random_image(6, 4, rng);
  for (auto [x, y, aw, ah, bw, bh] : {
           std::tuple{INT_MAX, 0, INT_MAX, 4, 2, 2},  // x + area_width past INT32_MAX
           {0, INT_MAX, 6, INT_MAX, 2, 2},
           {INT_MIN, INT_MIN, INT_MAX, INT_MAX, 2, 2},  // ends at -1: empty
           {INT_MIN, 0, -1, 4, 2, 2},                   // x + area_width below INT32_MIN
           {-10, -10, INT_MAX, INT_MAX, 4, 3},          // covers the whole bitmap
           {2, 1, INT_MAX, INT_MAX, INT_MAX, INT_MAX},  // block start + size past INT32_MAX
           {5, 3, INT_MAX, INT_MAX, INT_MAX - 1, 2},
           {1, 1, 4, 2, INT_MAX, INT_MIN},
           {INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN},
           {INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX},
       }) {
    expect_like_reference(image, 6, 4, x, y, aw, ah, bw, bh);
  }
}

}  // namespace
