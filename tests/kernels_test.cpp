// The library's kernels against the references: the same random bitmaps and
// arguments through both, compared byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "ops/division.h"
#include "test_support.h"
#include "vellora.h"

namespace {

// What a bitmap holds. Sprites are mostly fully transparent or fully opaque
// with soft edges, which is where fast paths for those alphas matter; noise
// has every alpha equally often.
enum class Content { kNoise, kSprite, kTransparent, kOpaque };
constexpr Content kContents[] = {Content::kNoise, Content::kSprite, Content::kTransparent,
                                 Content::kOpaque};

std::string name_of(Content c) {
  switch (c) {
    case Content::kNoise:
      return "noise";
    case Content::kSprite:
      return "sprite";
    case Content::kTransparent:
      return "transparent";
    default:
      return "opaque";
  }
}

void fill(hostsim::Bitmap& bitmap, Content content, std::mt19937& rng) {
  const int32_t w = hostsim::width_of(bitmap), h = hostsim::height_of(bitmap);
  // A disc with a soft rim 3 pixels wide, somewhere on the bitmap.
  const int32_t cx = static_cast<int32_t>(rng() % static_cast<uint32_t>(w));
  const int32_t cy = static_cast<int32_t>(rng() % static_cast<uint32_t>(h));
  const int32_t radius = 1 + static_cast<int32_t>(rng() % static_cast<uint32_t>(std::max(w, h)));
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* p = hostsim::pixel_at(bitmap, x, y);
      const uint32_t bits = rng();
      p[0] = static_cast<uint8_t>(bits);
      p[1] = static_cast<uint8_t>(bits >> 8);
      p[2] = static_cast<uint8_t>(bits >> 16);
      switch (content) {
        case Content::kNoise:
          p[3] = static_cast<uint8_t>(bits >> 24);
          break;
        case Content::kTransparent:
          p[3] = 0;
          break;
        case Content::kOpaque:
          p[3] = 255;
          break;
        case Content::kSprite: {
          const int64_t dx = x - cx, dy = y - cy;
          const int64_t d2 = dx * dx + dy * dy, r2 = int64_t{radius} * radius;
          const int64_t outer = int64_t{radius + 3} * (radius + 3);
          p[3] = d2 <= r2 ? 255 : d2 >= outer ? 0 : static_cast<uint8_t>(bits >> 24);
          break;
        }
      }
    }
  }
}

hostsim::BitmapPtr make(int32_t w, int32_t h, Content content, std::mt19937& rng) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(w, h);
  fill(*bitmap, content, rng);
  return bitmap;
}

int32_t pick(std::mt19937& rng, int32_t lo, int32_t hi) {
  return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
}

// Sizes that stress the vector loops' tails and the edge cases of the walks:
// single rows and columns as well as ordinary rectangles.
void random_size(std::mt19937& rng, int32_t* w, int32_t* h) {
  switch (rng() % 4) {
    case 0:
      *w = 1;
      *h = pick(rng, 1, 70);
      break;
    case 1:
      *w = pick(rng, 1, 70);
      *h = 1;
      break;
    default:
      *w = pick(rng, 1, 70);
      *h = pick(rng, 1, 70);
  }
}

TEST(ToneKernels, ChangeToneMatchesPlainForEveryAmountRange) {
  std::mt19937 rng(11);
  const int32_t amounts[] = {-100000, -256, -255, -128, -1, 0, 1, 2, 127, 255, 256, 100000};
  for (int round = 0; round < 300; ++round) {
    int32_t w, h;
    random_size(rng, &w, &h);
    const Content content = kContents[round % 4];
    hostsim::BitmapPtr bitmap = make(w, h, content, rng);
    vtest::Copy expected(*bitmap);
    const int32_t r = round % 3 ? pick(rng, -300, 300) : amounts[rng() % 12];
    const int32_t g = round % 3 ? pick(rng, -300, 300) : amounts[rng() % 12];
    const int32_t b = round % 3 ? pick(rng, -300, 300) : amounts[rng() % 12];
    const int32_t skip = static_cast<int32_t>(rng() % 3) - 1;
    reference::change_tone(expected.pixels, r, g, b, skip != 0);
    ASSERT_EQ(ChangeTone(hostsim::handle_of(*bitmap), r, g, b, skip), VELLORA_OK);
    ASSERT_EQ(vtest::snapshot(*bitmap), expected.bytes)
        << w << "x" << h << " " << name_of(content) << " amounts " << r << "," << g << "," << b
        << " skip " << skip;
  }
}

// Every channel value under every amount, through the vector loop (the
// bitmap is wide enough for it) and its scalar tail.
TEST(ToneKernels, EveryChannelValueAndAmountFollowsToneChannel) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(259, 1);
  for (int32_t v = -256; v <= 256; ++v) {
    for (int32_t i = 0; i < 259; ++i) {
      uint8_t* p = hostsim::pixel_at(*bitmap, i, 0);
      p[0] = static_cast<uint8_t>(i);
      p[1] = static_cast<uint8_t>(255 - i);
      p[2] = static_cast<uint8_t>(i * 7);
      p[3] = static_cast<uint8_t>(i);
    }
    ASSERT_EQ(ChangeTone(hostsim::handle_of(*bitmap), v, v, v, 1), VELLORA_OK);
    for (int32_t i = 0; i < 259; ++i) {
      const uint8_t* p = hostsim::pixel_at(*bitmap, i, 0);
      const uint8_t a = static_cast<uint8_t>(i);
      const int32_t b = a == 0 ? 0 : reference::tone_channel(a, v);
      const int32_t g = a == 0 ? 255 : reference::tone_channel(255 - a, v);
      const int32_t r = a == 0 ? 0 : reference::tone_channel(static_cast<uint8_t>(i * 7), v);
      ASSERT_EQ(p[0], b) << "blue " << i << " amount " << v;
      ASSERT_EQ(p[1], g) << "green " << 255 - i << " amount " << v;
      ASSERT_EQ(p[2], r) << "red " << (i * 7) % 256 << " amount " << v;
      ASSERT_EQ(p[3], a);
    }
  }
}

TEST(ToneKernels, InvertColorMatchesPlain) {
  std::mt19937 rng(12);
  for (int round = 0; round < 200; ++round) {
    int32_t w, h;
    random_size(rng, &w, &h);
    hostsim::BitmapPtr bitmap = make(w, h, kContents[round % 4], rng);
    vtest::Copy expected(*bitmap);
    reference::invert_color(expected.pixels);
    ASSERT_EQ(InvertColor(hostsim::handle_of(*bitmap)), VELLORA_OK);
    ASSERT_EQ(vtest::snapshot(*bitmap), expected.bytes) << w << "x" << h;
  }
}

TEST(DivisionBy255, MultiplyAndShiftIsExactOverItsWholeRange) {
  for (uint32_t p = 0; p <= vellora::kDiv255Max; ++p) {
    ASSERT_EQ(vellora::div255(p), p / 255) << p;
    ASSERT_LE(p + 1 + (p >> 8), 0xFFFFu) << "leaves a 16-bit lane at " << p;
  }
  // Just past the range the 16-bit intermediate would wrap.
  EXPECT_GT(65535u + 1 + (65535u >> 8), 0xFFFFu);
}

// An opacity from every part of its range, and outside it.
int32_t random_opacity(std::mt19937& rng) {
  const int32_t special[] = {INT32_MIN, -1, 0, 1, 2, 127, 128, 254, 255, 256, INT32_MAX};
  return rng() % 2 ? special[rng() % 11] : pick(rng, 0, 255);
}

TEST(BlendKernels, EveryModeAndOpacityMatchesPlainBetweenTwoBitmaps) {
  std::mt19937 rng(21);
  for (int32_t mode = -1; mode <= 8; ++mode) {
    for (int round = 0; round < 120; ++round) {
      int32_t dw, dh, sw, sh;
      random_size(rng, &dw, &dh);
      random_size(rng, &sw, &sh);
      const Content dc = kContents[rng() % 4], sc = kContents[rng() % 4];
      hostsim::BitmapPtr dst = make(dw, dh, dc, rng);
      hostsim::BitmapPtr src = make(sw, sh, sc, rng);
      vtest::Copy expected(*dst);
      const vtest::Copy source(*src);
      const int32_t dx = pick(rng, -8, dw), dy = pick(rng, -8, dh);
      const int32_t sx = pick(rng, -8, sw), sy = pick(rng, -8, sh);
      const int32_t aw = pick(rng, -2, 80), ah = pick(rng, -2, 80);
      const int32_t opacity = random_opacity(rng);
      reference::blend_blt(expected.pixels, source.pixels, dx, dy, sx, sy, aw, ah, mode, opacity);
      ASSERT_EQ(BlendBlt(hostsim::handle_of(*dst), dx, dy, hostsim::handle_of(*src), sx, sy, aw, ah,
                         mode, opacity),
                VELLORA_OK);
      ASSERT_EQ(vtest::snapshot(*dst), expected.bytes)
          << "mode " << mode << " opacity " << opacity << " dst " << dw << "x" << dh << " "
          << name_of(dc) << " src " << sw << "x" << sh << " " << name_of(sc) << " area (" << dx
          << "," << dy << ") <- (" << sx << "," << sy << ") " << aw << "x" << ah;
      ASSERT_EQ(vtest::snapshot(*src), source.bytes) << "the source was written";
    }
  }
}

// One bitmap as both source and destination: where the rectangles overlap,
// pixels written earlier in the call are read back as sources, so the walk's
// order shows in the result; where they do not, it must not matter.
TEST(BlendKernels, SelfBlendsMatchPlainWhetherOrNotTheAreasOverlap) {
  std::mt19937 rng(22);
  for (int32_t mode = 0; mode <= 7; ++mode) {
    for (int round = 0; round < 150; ++round) {
      int32_t w, h;
      random_size(rng, &w, &h);
      hostsim::BitmapPtr bitmap = make(w, h, kContents[rng() % 4], rng);
      vtest::Copy expected(*bitmap);
      const int32_t dx = pick(rng, -3, w), dy = pick(rng, -3, h);
      const int32_t sx = pick(rng, -3, w), sy = pick(rng, -3, h);
      const int32_t aw = pick(rng, 1, w + 3), ah = pick(rng, 1, h + 3);
      const int32_t opacity = random_opacity(rng);
      reference::blend_blt(expected.pixels, expected.pixels, dx, dy, sx, sy, aw, ah, mode, opacity);
      const int32_t handle = hostsim::handle_of(*bitmap);
      ASSERT_EQ(BlendBlt(handle, dx, dy, handle, sx, sy, aw, ah, mode, opacity), VELLORA_OK);
      ASSERT_EQ(vtest::snapshot(*bitmap), expected.bytes)
          << "mode " << mode << " opacity " << opacity << " " << w << "x" << h << " area (" << dx
          << "," << dy << ") <- (" << sx << "," << sy << ") " << aw << "x" << ah;
    }
  }
}

// Whole regions of fully transparent and fully opaque pixels, as in sprites,
// under every pairing of contents, where whole runs take the cases that need
// no division.
TEST(BlendKernels, SpriteLikeRegionsMatchPlainInEveryModeAndOpacity) {
  std::mt19937 rng(24);
  for (int32_t mode = 0; mode <= 7; ++mode) {
    for (const int32_t opacity : {1, 2, 128, 200, 254, 255}) {
      for (const Content dc : kContents) {
        for (const Content sc : {Content::kSprite, Content::kOpaque, Content::kTransparent}) {
          hostsim::BitmapPtr dst = make(37, 23, dc, rng);
          hostsim::BitmapPtr src = make(37, 23, sc, rng);
          vtest::Copy expected(*dst);
          const vtest::Copy source(*src);
          reference::blend_blt(expected.pixels, source.pixels, 0, 0, 0, 0, 37, 23, mode, opacity);
          ASSERT_EQ(BlendBlt(hostsim::handle_of(*dst), 0, 0, hostsim::handle_of(*src), 0, 0, 37, 23,
                             mode, opacity),
                    VELLORA_OK);
          ASSERT_EQ(vtest::snapshot(*dst), expected.bytes)
              << "mode " << mode << " opacity " << opacity << " " << name_of(sc) << " over "
              << name_of(dc);
        }
      }
    }
  }
}

// Every pair of bytes through every mode: all 2^32 pixel pairs are too many,
// so each channel and alpha runs over its whole range against a few others.
TEST(BlendKernels, EveryAlphaAndChannelValueMatchesPlainOnePixelAtATime) {
  hostsim::BitmapPtr dst = hostsim::make_bitmap(256, 1);
  hostsim::BitmapPtr src = hostsim::make_bitmap(256, 1);
  std::mt19937 rng(23);
  for (int32_t mode = 0; mode <= 7; ++mode) {
    for (int round = 0; round < 64; ++round) {
      // Column i carries i in one byte of the destination and a random
      // alpha and colors elsewhere; the source is random, with one of its
      // bytes swept too.
      const int varied_dst = round % 4, varied_src = (round / 4) % 4;
      for (int32_t i = 0; i < 256; ++i) {
        uint8_t* d = hostsim::pixel_at(*dst, i, 0);
        uint8_t* s = hostsim::pixel_at(*src, i, 0);
        for (int c = 0; c < 4; ++c) {
          d[c] = static_cast<uint8_t>(rng());
          s[c] = static_cast<uint8_t>(rng());
        }
        d[varied_dst] = static_cast<uint8_t>(i);
        s[varied_src] = static_cast<uint8_t>(255 - i);
      }
      vtest::Copy expected(*dst);
      const vtest::Copy source(*src);
      const int32_t opacity = round < 8 ? 255 : pick(rng, 0, 255);
      reference::blend_blt(expected.pixels, source.pixels, 0, 0, 0, 0, 256, 1, mode, opacity);
      ASSERT_EQ(BlendBlt(hostsim::handle_of(*dst), 0, 0, hostsim::handle_of(*src), 0, 0, 256, 1,
                         mode, opacity),
                VELLORA_OK);
      ASSERT_EQ(vtest::snapshot(*dst), expected.bytes) << "mode " << mode << " round " << round;
    }
  }
}

TEST(BlurKernels, EveryRadiusFromOneToTheClampMatchesPlain) {
  std::mt19937 rng(31);
  for (int round = 0; round < 160; ++round) {
    int32_t w, h;
    random_size(rng, &w, &h);
    const Content content = kContents[round % 4];
    hostsim::BitmapPtr bitmap = make(w, h, content, rng);
    vtest::Copy expected(*bitmap);
    const int32_t radii[] = {1, 2, 3, w - 1, h - 1, w, h, 999, 1000, 1001, INT32_MAX};
    const int32_t radius = round % 2 ? pick(rng, 1, 80) : radii[rng() % 11];
    reference::blur(expected.pixels, radius);
    ASSERT_EQ(Blur(hostsim::handle_of(*bitmap), radius), VELLORA_OK);
    ASSERT_EQ(vtest::snapshot(*bitmap), expected.bytes)
        << w << "x" << h << " " << name_of(content) << " radius " << radius;
  }
}

TEST(BlurKernels, WideWindowsNearTheClampMatchPlain) {
  std::mt19937 rng(32);
  for (const int32_t radius : {1, 16, 500, 1000}) {
    for (const auto& [w, h] : {std::pair{1100, 3}, std::pair{3, 1100}, std::pair{2100, 1}}) {
      hostsim::BitmapPtr bitmap = make(w, h, radius % 2 ? Content::kNoise : Content::kSprite, rng);
      vtest::Copy expected(*bitmap);
      reference::blur(expected.pixels, radius);
      ASSERT_EQ(Blur(hostsim::handle_of(*bitmap), radius), VELLORA_OK);
      ASSERT_EQ(vtest::snapshot(*bitmap), expected.bytes) << w << "x" << h << " radius " << radius;
    }
  }
}

TEST(MosaicKernels, AnyAreaAndBlockSizeMatchesPlain) {
  std::mt19937 rng(41);
  for (int round = 0; round < 400; ++round) {
    int32_t w, h;
    random_size(rng, &w, &h);
    const Content content = kContents[round % 4];
    hostsim::BitmapPtr bitmap = make(w, h, content, rng);
    vtest::Copy expected(*bitmap);
    const int32_t x = pick(rng, -10, w), y = pick(rng, -10, h);
    const int32_t aw = pick(rng, -1, w + 12), ah = pick(rng, -1, h + 12);
    const int32_t bw = round % 5 ? pick(rng, -1, 20) : pick(rng, 20, 200);
    const int32_t bh = round % 5 ? pick(rng, -1, 20) : pick(rng, 20, 200);
    reference::mosaic(expected.pixels, x, y, aw, ah, bw, bh);
    ASSERT_EQ(Mosaic(hostsim::handle_of(*bitmap), x, y, aw, ah, bw, bh), VELLORA_OK);
    ASSERT_EQ(vtest::snapshot(*bitmap), expected.bytes)
        << w << "x" << h << " " << name_of(content) << " area (" << x << "," << y << ") " << aw
        << "x" << ah << " blocks " << bw << "x" << bh;
  }
}

TEST(ClipMaskKernels, AnyOffsetAndOutsideValueMatchesPlain) {
  std::mt19937 rng(51);
  const int32_t outside[] = {-1, 0, 1, 128, 254, 255, 256, 300, -300, 8421504, -8421504};
  for (int round = 0; round < 300; ++round) {
    int32_t w, h, mw, mh;
    random_size(rng, &w, &h);
    random_size(rng, &mw, &mh);
    hostsim::BitmapPtr target = make(w, h, kContents[round % 4], rng);
    hostsim::BitmapPtr mask = make(mw, mh, kContents[rng() % 4], rng);
    vtest::Copy expected(*target);
    const vtest::Copy mask_copy(*mask);
    const int32_t ox = pick(rng, -mw - 2, w + 2), oy = pick(rng, -mh - 2, h + 2);
    const int32_t value = outside[rng() % 11];
    reference::clip_mask(expected.pixels, mask_copy.pixels, ox, oy, value);
    ASSERT_EQ(ClipMask(hostsim::handle_of(*target), hostsim::handle_of(*mask), ox, oy, value),
              VELLORA_OK);
    ASSERT_EQ(vtest::snapshot(*target), expected.bytes)
        << w << "x" << h << " mask " << mw << "x" << mh << " at (" << ox << "," << oy
        << ") outside " << value;
  }
}

}  // namespace
