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
static_assert(kBlendModeCount == 8, "instantiate the new mode's run below");
template void BlendKernels<InstructionSet::kPlain>::blend_pairs<BlendMode::kNormal>(uint8_t*,
                                                                                    const uint8_t*,
                                                                                    int32_t,
                                                                                    int32_t);
template void BlendKernels<InstructionSet::kPlain>::blend_pairs<BlendMode::kAdd>(uint8_t*,
                                                                                 const uint8_t*,
                                                                                 int32_t, int32_t);
template void BlendKernels<InstructionSet::kPlain>::blend_pairs<BlendMode::kSubtract>(
    uint8_t*, const uint8_t*, int32_t, int32_t);
template void BlendKernels<InstructionSet::kPlain>::blend_pairs<BlendMode::kMultiply>(
    uint8_t*, const uint8_t*, int32_t, int32_t);
template void BlendKernels<InstructionSet::kPlain>::blend_pairs<BlendMode::kColorDodge>(
    uint8_t*, const uint8_t*, int32_t, int32_t);
template void BlendKernels<InstructionSet::kPlain>::blend_pairs<BlendMode::kColorBurn>(
    uint8_t*, const uint8_t*, int32_t, int32_t);
template void BlendKernels<InstructionSet::kPlain>::blend_pairs<BlendMode::kScreen>(uint8_t*,
                                                                                    const uint8_t*,
                                                                                    int32_t,
                                                                                    int32_t);
template void BlendKernels<InstructionSet::kPlain>::blend_pairs<BlendMode::kOverlay>(uint8_t*,
                                                                                     const uint8_t*,
                                                                                     int32_t,
                                                                                     int32_t);

}  // namespace vellora
