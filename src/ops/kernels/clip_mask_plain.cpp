#include "bitmap_view.h"
#include "ops/kernels/clip_alpha.h"
#include "ops/kernels/kernels.h"

namespace vellora {

template <>
void ClipMaskKernels<InstructionSet::kPlain>::clip_alpha_by_mask(uint8_t* p, const uint8_t* mask,
                                                                 int32_t n) {
  for (int32_t i = 0; i < n; ++i, p += kBytesPerPixel, mask += kBytesPerPixel) {
    p[kAlpha] = clip_alpha(mask[kBlue], p[kAlpha]);
  }
}

template <>
void ClipMaskKernels<InstructionSet::kPlain>::clip_alpha_by_value(uint8_t* p, int32_t m,
                                                                  int32_t n) {
  for (int32_t i = 0; i < n; ++i, p += kBytesPerPixel) p[kAlpha] = clip_alpha(m, p[kAlpha]);
}

}  // namespace vellora
