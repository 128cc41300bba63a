#include "bitmap_view.h"
#include "ops/kernels/blend_pixel.h"
#include "ops/kernels/kernels.h"

namespace vellora {

template <>
template <BlendMode Mode>
void BlendKernels<InstructionSet::kPlain>::blend_pairs(uint8_t* d, const uint8_t* s, int32_t n,
                                                       int32_t opacity) {
  for (int32_t k = 0; k < n; ++k, d += kBytesPerPixel, s += kBytesPerPixel) {
    blend_pixel<Mode>(d, s, opacity);
  }
}

// Every mode's run, for the walks and the vector tiers' last pixels.
VELLORA_BLEND_PAIRS_OF_EVERY_MODE(InstructionSet::kPlain)

}  // namespace vellora
