#include "bitmap_view.h"
#include "ops/blend.h"
#include "ops/kernels/kernels.h"

namespace vellora {

template <>
void blend_pairs<InstructionSet::kPlain>(uint8_t* d, const uint8_t* s, int32_t n, BlendMode mode,
                                         int32_t opacity) {
  with_blend_mode(mode, [&](auto tag) {
    for (int32_t k = 0; k < n; ++k, d += kBytesPerPixel, s += kBytesPerPixel) {
      blend_pixel<decltype(tag)::value>(d, s, opacity);
    }
  });
}

}  // namespace vellora
