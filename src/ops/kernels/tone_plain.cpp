#include "bitmap_view.h"
#include "ops/kernels/kernels.h"
#include "ops/kernels/tone_channel.h"

namespace vellora {

template <>
void ToneKernels<InstructionSet::kPlain>::tone_pixels(uint8_t* p, int32_t n,
                                                      const ToneAmounts& amounts,
                                                      bool skip_transparent) {
  for (uint8_t* const end = p + static_cast<size_t>(n) * kBytesPerPixel; p != end;
       p += kBytesPerPixel) {
    if (skip_transparent && p[kAlpha] == 0) continue;
    p[kBlue] = static_cast<uint8_t>(tone_channel(p[kBlue], amounts.blue));
    p[kGreen] = static_cast<uint8_t>(tone_channel(p[kGreen], amounts.green));
    p[kRed] = static_cast<uint8_t>(tone_channel(p[kRed], amounts.red));
  }
}

template <>
void ToneKernels<InstructionSet::kPlain>::invert_pixels(uint8_t* p, int32_t n) {
  for (uint8_t* const end = p + static_cast<size_t>(n) * kBytesPerPixel; p != end;
       p += kBytesPerPixel) {
    p[kBlue] = static_cast<uint8_t>(255 - p[kBlue]);
    p[kGreen] = static_cast<uint8_t>(255 - p[kGreen]);
    p[kRed] = static_cast<uint8_t>(255 - p[kRed]);
  }
}

}  // namespace vellora
