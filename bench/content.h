// What the benchmarks' bitmaps hold: the noise and sprites that every
// operation is timed on, and what games run most: an opaque screen (the
// snapshot a menu blurs), translucent layers laid over it (light, shadow,
// fog), and soft-edged sprites blitted onto it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "bitmap_view.h"

namespace bench {

enum class Content {
  kNoise,       // random bytes: every alpha equally often
  kSprite,      // opaque discs with soft rims two pixels wide on a transparent ground
  kScreen,      // a tiled game screen, every pixel opaque
  kLayer,       // fog of varying colour and alpha, with soft-edged light blobs
  kSoftSprite,  // one disc whose alpha falls off over a third of its radius
};

std::string name_of(Content content);

struct Size {
  int32_t width;
  int32_t height;
};

// The bytes of a view's pixels, the memcpy that its figures are set against.
size_t bytes_of(const vellora::BitmapView& view);

// Fills width x height pixels, rows packed and stored bottom-up as the host
// stores them. The same seed gives the same bytes.
void fill(uint8_t* pixels, int32_t width, int32_t height, Content content, uint32_t seed);

// A width x height bitmap filled so, kept for the whole run (the benchmarks
// refer to it), and the name of its size ("640x480").
vellora::BitmapView kept_bitmap(int32_t width, int32_t height, Content content, uint32_t seed);
std::string size_name(const vellora::BitmapView& view);

}  // namespace bench
