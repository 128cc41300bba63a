#include <cstring>

#include "bitmap_view.h"
#include "ops/kernels/kernels.h"

namespace vellora {

template <>
void MosaicKernels<InstructionSet::kPlain>::sum_block(const BlockRows& block, uint32_t sums[4]) {
  uint32_t blue = 0, green = 0, red = 0, alpha = 0;
  const uint8_t* row = block.top;
  for (int32_t y = 0; y < block.height; ++y, row -= block.row_back) {
    const uint8_t* p = row;
    for (int32_t x = 0; x < block.width; ++x, p += kBytesPerPixel) {
      const uint32_t a = p[kAlpha];
      blue += p[kBlue] * a;
      green += p[kGreen] * a;
      red += p[kRed] * a;
      alpha += a;
    }
  }
  sums[kBlue] = blue;
  sums[kGreen] = green;
  sums[kRed] = red;
  sums[kAlpha] = alpha;
}

template <>
void MosaicKernels<InstructionSet::kPlain>::fill_block(const BlockRows& block,
                                                       const uint8_t pixel[4]) {
  uint8_t* row = block.top;
  for (int32_t y = 0; y < block.height; ++y, row -= block.row_back) {
    uint8_t* p = row;
    for (int32_t x = 0; x < block.width; ++x, p += kBytesPerPixel) std::memcpy(p, pixel, 4);
  }
}

}  // namespace vellora
