#include "bitmap_view.h"
#include "ops/clip_mask.h"
#include "ops/kernels/kernels.h"

namespace vellora {

template <>
void clip_alpha_by_mask<InstructionSet::kPlain>(uint8_t* p, const uint8_t* mask, int32_t n) {
  for (int32_t i = 0; i < n; ++i, p += kBytesPerPixel, mask += kBytesPerPixel) {
    p[kAlpha] = clip_alpha(mask[kBlue], p[kAlpha]);
  }
}

template <>
void clip_alpha_by_value<InstructionSet::kPlain>(uint8_t* p, int32_t m, int32_t n) {
  for (int32_t i = 0; i < n; ++i, p += kBytesPerPixel) p[kAlpha] = clip_alpha(m, p[kAlpha]);
}

}  // namespace vellora
