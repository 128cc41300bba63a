// Box blur: alpha weighting, the two passes and the truncation between them,
// windows clipped at the edges, the radius clamp, and what happens when the
// bitmap or the scratch memory is not there.
#include "ops/blur.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "guarded_pages.h"
#include "test_support.h"
#include "vellora.h"

namespace {

using vtest::bitmap_of;
using vtest::gray;
using vtest::image_of;
using vtest::Pixel;

// What the reference blur, every window summed afresh, makes of the image.
std::vector<Pixel> reference_blur(const std::vector<Pixel>& image, int32_t w, int32_t h,
                                  int32_t radius) {
  vtest::Copy copy(*bitmap_of(w, h, image));
  reference::blur(copy.pixels, radius);
  return copy.image();
}

TEST(BlurArguments, RadiusZeroOrBelowChangesNothing) {
  for (int32_t radius : {0, -5, -1, INT_MIN}) {
    hostsim::BitmapPtr bitmap = vtest::random_bitmap(6, 4, 11);
    const std::vector<uint8_t> before = vtest::snapshot(*bitmap);
    EXPECT_EQ(Blur(hostsim::handle_of(*bitmap), radius), VELLORA_OK) << radius;
    EXPECT_EQ(vtest::snapshot(*bitmap), before) << radius;
  }
}

TEST(BlurArguments, ResolutionComesBeforeTheRadius) {
  EXPECT_EQ(Blur(0, 0), ERR_NULL_HANDLE);
  EXPECT_EQ(Blur(0, -5), ERR_NULL_HANDLE);
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(2, 2);
  hostsim::set_info_header_size(*bitmap, 12);
  EXPECT_EQ(Blur(hostsim::handle_of(*bitmap), 0), ERR_BAD_INFO_HEADER);
}

TEST(BlurWeighting, TransparentPixelsLendNoColor) {
  hostsim::BitmapPtr bitmap = bitmap_of(2, 1, {{0, 0, 255, 255}, {255, 255, 255, 0}});
  ASSERT_EQ(Blur(hostsim::handle_of(*bitmap), 1), VELLORA_OK);
  // Red only; alpha 255 / 2 truncates to 127.
  EXPECT_EQ(image_of(*bitmap), (std::vector<Pixel>{{0, 0, 255, 127}, {0, 0, 255, 127}}));
}

TEST(BlurWeighting, WindowWithAlphaSumBelowItsCountFadesOut) {
  hostsim::BitmapPtr bitmap = bitmap_of(3, 1, {{10, 20, 30, 2}, {40, 50, 60, 0}, {70, 80, 90, 0}});
  ASSERT_EQ(Blur(hostsim::handle_of(*bitmap), 1), VELLORA_OK);
  // The first window has alpha sum 2 over 2 samples; the middle one 2 over 3.
  EXPECT_EQ(image_of(*bitmap), (std::vector<Pixel>{{10, 20, 30, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}}));
}

TEST(BlurWeighting, FullyTransparentBecomesZeroAndUniformOpaqueStays) {
  hostsim::BitmapPtr clear = vtest::random_bitmap(5, 4, 12);
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 5; ++x) hostsim::pixel_at(*clear, x, y)[3] = 0;
  }
  ASSERT_EQ(Blur(hostsim::handle_of(*clear), 2), VELLORA_OK);
  EXPECT_EQ(vtest::snapshot(*clear), std::vector<uint8_t>(5 * 4 * 4, 0));

  hostsim::BitmapPtr uniform = hostsim::make_bitmap(5, 4);
  vtest::fill(*uniform, {13, 200, 77, 255});
  const std::vector<uint8_t> before = vtest::snapshot(*uniform);
  ASSERT_EQ(Blur(hostsim::handle_of(*uniform), 3), VELLORA_OK);
  EXPECT_EQ(vtest::snapshot(*uniform), before);
}

TEST(BlurWeighting, SinglePixelKeepsItselfUnlessTransparent) {
  for (int32_t radius : {1, 2, 1000, INT_MAX}) {
    for (uint8_t alpha : {1, 2, 128, 255}) {
      hostsim::BitmapPtr bitmap = bitmap_of(1, 1, {{9, 140, 251, alpha}});
      ASSERT_EQ(Blur(hostsim::handle_of(*bitmap), radius), VELLORA_OK);
      EXPECT_EQ(vtest::get(*bitmap, 0, 0), (Pixel{9, 140, 251, alpha})) << radius;
    }
    hostsim::BitmapPtr bitmap = bitmap_of(1, 1, {{9, 140, 251, 0}});
    ASSERT_EQ(Blur(hostsim::handle_of(*bitmap), radius), VELLORA_OK);
    EXPECT_EQ(vtest::get(*bitmap, 0, 0), (Pixel{0, 0, 0, 0})) << radius;
  }
}

TEST(BlurPasses, MeansAreTruncatedBetweenThePasses) {
  hostsim::BitmapPtr bitmap = bitmap_of(
      2, 2, {{100, 100, 100, 1}, {100, 100, 100, 2}, {100, 100, 100, 2}, {100, 100, 100, 3}});
  ASSERT_EQ(Blur(hostsim::handle_of(*bitmap), 1), VELLORA_OK);
  // Row means of alpha are 1 and 2, and their mean 1; one mean over all four
  // alphas would be 2.
  for (const Pixel& p : image_of(*bitmap)) EXPECT_EQ(p, (Pixel{100, 100, 100, 1}));
}

TEST(BlurPasses, SingleWhitePixelSpreadsOverItsNeighbours) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(3, 3);
  vtest::fill(*bitmap, gray(0));
  vtest::put(*bitmap, 1, 1, gray(255));
  ASSERT_EQ(Blur(hostsim::handle_of(*bitmap), 1), VELLORA_OK);
  // Corners: 255 / 2 = 127 along the row, 127 / 2 = 63 down the column;
  // edges: 127 / 3 = 42 or 85 / 2 = 42; centre: 85 / 3 = 28.
  EXPECT_EQ(image_of(*bitmap), (std::vector<Pixel>{gray(63), gray(42), gray(63),  //
                                                   gray(42), gray(28), gray(42),  //
                                                   gray(63), gray(42), gray(63)}));
}

TEST(BlurPasses, WindowsStopAtTheEdgesWithoutRepeatingThem) {
  hostsim::BitmapPtr bitmap = bitmap_of(5, 1, {gray(0), gray(100), gray(200), gray(50), gray(250)});
  ASSERT_EQ(Blur(hostsim::handle_of(*bitmap), 1), VELLORA_OK);
  // Edge windows hold two samples: (0 + 100) / 2 and (50 + 250) / 2. Clamped
  // edge samples would give 33 and 183 there.
  EXPECT_EQ(image_of(*bitmap),
            (std::vector<Pixel>{gray(50), gray(100), gray(116), gray(166), gray(150)}));
}

TEST(BlurPasses, OnePixelWideBlursOnlyDownAndOneHighOnlyAcross) {
  hostsim::BitmapPtr column =
      bitmap_of(1, 4, {{10, 20, 30, 255}, {0, 0, 0, 0}, gray(90), gray(30)});
  ASSERT_EQ(Blur(hostsim::handle_of(*column), 1), VELLORA_OK);
  // The row pass keeps each pixel; then (10 * 255) / 255, (10 + 90) * 255 / 510, ...
  EXPECT_EQ(
      image_of(*column),
      (std::vector<Pixel>{{10, 20, 30, 127}, {50, 55, 60, 170}, {60, 60, 60, 170}, gray(60)}));

  // The same pixels laid as a row give the same result: neither pass on a
  // line of one sample changes anything but a transparent pixel's color.
  std::mt19937 rng(13);
  for (int32_t radius : {1, 2, 5, 40}) {
    const std::vector<Pixel> line = vtest::random_image(37, 1, rng);
    hostsim::BitmapPtr across = bitmap_of(37, 1, line);
    hostsim::BitmapPtr down = bitmap_of(1, 37, line);
    ASSERT_EQ(Blur(hostsim::handle_of(*across), radius), VELLORA_OK);
    ASSERT_EQ(Blur(hostsim::handle_of(*down), radius), VELLORA_OK);
    EXPECT_EQ(image_of(*across), image_of(*down)) << radius;
    EXPECT_EQ(image_of(*across), reference_blur(line, 37, 1, radius)) << radius;
  }
}

TEST(BlurRadius, AboveOneThousandActsAsOneThousand) {
  std::vector<Pixel> line(1500, Pixel{255, 255, 255, 255});
  std::fill(line.begin(), line.begin() + 1001, Pixel{0, 0, 0, 0});
  hostsim::BitmapPtr bitmap = bitmap_of(1500, 1, line);
  ASSERT_EQ(Blur(hostsim::handle_of(*bitmap), 1500), VELLORA_OK);
  // Pixel 0's window ends at column 1000, so it holds no opaque pixel.
  EXPECT_EQ(vtest::get(*bitmap, 0, 0), (Pixel{0, 0, 0, 0}));

  // Opaque white up to column 1000, then one black column: a window reaching
  // column 1001 would pull pixel 0 down to 1001 * 255 / 1002 = 254.
  std::vector<Pixel> edge(1500, gray(0));
  std::fill(edge.begin(), edge.begin() + 1001, gray(255));
  const std::vector<Pixel> expected = reference_blur(edge, 1500, 1, 1000);
  for (int32_t radius : {1000, 1001, 1500, INT_MAX}) {
    hostsim::BitmapPtr b = bitmap_of(1500, 1, edge);
    ASSERT_EQ(Blur(hostsim::handle_of(*b), radius), VELLORA_OK);
    EXPECT_EQ(vtest::get(*b, 0, 0), gray(255)) << radius;
    EXPECT_EQ(image_of(*b), expected) << radius;
  }
  hostsim::BitmapPtr b = bitmap_of(1500, 1, edge);
  ASSERT_EQ(Blur(hostsim::handle_of(*b), 999), VELLORA_OK);
  EXPECT_EQ(vtest::get(*b, 0, 0), gray(255));
  EXPECT_EQ(vtest::get(*b, 2, 0), gray(254));  // its window reaches column 1001
}

TEST(BlurRadius, CoveringTheWholeBitmapMakesEveryPixelTheSame) {
  std::mt19937 rng(14);
  for (auto [w, h, radius] : {std::tuple{7, 5, 6}, {7, 5, 100}, {3, 9, 8}, {12, 12, 11}}) {
    const std::vector<Pixel> image = vtest::random_image(w, h, rng);
    hostsim::BitmapPtr bitmap = bitmap_of(w, h, image);
    ASSERT_EQ(Blur(hostsim::handle_of(*bitmap), radius), VELLORA_OK);
    const std::vector<Pixel> out = image_of(*bitmap);
    for (const Pixel& p : out) ASSERT_EQ(p, out[0]) << w << " x " << h << ", r " << radius;
    EXPECT_EQ(out, reference_blur(image, w, h, radius));
  }
}

// The running sums against windows summed afresh, on sizes from one pixel up
// and radii below, at and beyond the sizes.
TEST(BlurPasses, RunningSumsMatchWindowsSummedAfresh) {
  std::mt19937 rng(15);
  for (int i = 0; i < 300; ++i) {
    const int32_t w = 1 + static_cast<int32_t>(rng() % 13);
    const int32_t h = 1 + static_cast<int32_t>(rng() % 13);
    const int32_t radius = 1 + static_cast<int32_t>(rng() % 15);
    const std::vector<Pixel> image = vtest::random_image(w, h, rng);
    hostsim::BitmapPtr bitmap = bitmap_of(w, h, image);
    ASSERT_EQ(Blur(hostsim::handle_of(*bitmap), radius), VELLORA_OK);
    ASSERT_EQ(image_of(*bitmap), reference_blur(image, w, h, radius))
        << w << " x " << h << ", r " << radius;
  }
}

// The blur's scratch cannot be had when the address space is used up: it
// must fail before it writes any pixel, and leave nothing allocated.
TEST(BlurBadInput, ScratchThatCannotBeHadLeavesTheBitmapUntouched) {
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(1000, 1000, 17);
  const std::vector<uint8_t> before = vtest::snapshot(*bitmap);
  const int32_t handle = hostsim::handle_of(*bitmap);
  int32_t status = VELLORA_OK;
  int32_t no_radius_status = ERR_OUT_OF_MEMORY;
  {
    const auto filler = std::make_unique<vtest::AddressSpaceFiller>();
    status = Blur(handle, 300);  // 603 rows of means, about 2.4 MB of scratch
    // The radius test comes before any allocation.
    no_radius_status = Blur(handle, 0);
  }
  EXPECT_EQ(status, ERR_OUT_OF_MEMORY);
  EXPECT_EQ(no_radius_status, VELLORA_OK);
  EXPECT_EQ(vtest::snapshot(*bitmap), before);
  // With the address space back, the same call succeeds.
  EXPECT_EQ(Blur(handle, 300), VELLORA_OK);
}

}  // namespace
