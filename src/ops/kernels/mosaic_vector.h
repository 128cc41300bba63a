// Mosaic's block sums and fills on whole vectors of pixels. Compiled once per
// vector instruction set (kernels/vector_kernels.h).

namespace VELLORA_ISA {

// Two pixels per 128-bit lane in 16-bit lanes -> their (B * A, G * A, R * A,
// A), each at most 65,025, added to the 32-bit lanes of acc.
inline V add_weighted(V acc, V two) {
  const V products = weighted16(two);
  acc = add32(acc, unpacklo16(products, zero()));
  return add32(acc, unpackhi16(products, zero()));
}

}  // namespace VELLORA_ISA

// The block's first columns, kPixels at a time, into 32-bit lanes (a block
// of at most 33,025 pixels keeps every lane below 2^31); the columns left
// over go to the plain kernel.
template <>
void MosaicKernels<InstructionSet::VELLORA_ISA_SET>::sum_block(const BlockRows& block,
                                                               uint32_t sums[4]) {
  using namespace VELLORA_ISA;
  const int32_t vector_width = block.width - block.width % kPixels;
  V acc = zero();
  const uint8_t* row = block.top;
  for (int32_t y = 0; y < block.height; ++y, row -= block.row_back) {
    for (int32_t x = 0; x < vector_width; x += kPixels) {
      const V v = load(row + static_cast<size_t>(x) * kBytesPerPixel);
      acc = add_weighted(acc, unpacklo8(v, zero()));
      acc = add_weighted(acc, unpackhi8(v, zero()));
    }
  }
  uint32_t lanes[4 * kLanes128];
  std::memcpy(lanes, &acc, sizeof lanes);
  // Blocks as wide as whole vectors (the usual 8 x 8) leave no columns over:
  // no walk down their rows for nothing.
  std::fill(sums, sums + 4, 0u);
  if (vector_width < block.width) {
    const BlockRows rest{block.top + static_cast<size_t>(vector_width) * kBytesPerPixel,
                         block.row_back, block.width - vector_width, block.height};
    MosaicKernels<InstructionSet::kPlain>::sum_block(rest, sums);
  }
  for (int lane = 0; lane < 4 * kLanes128; ++lane) sums[lane % 4] += lanes[lane];
}

template <>
void MosaicKernels<InstructionSet::VELLORA_ISA_SET>::fill_block(const BlockRows& block,
                                                                const uint8_t pixel[4]) {
  using namespace VELLORA_ISA;
  const int32_t vector_width = block.width - block.width % kPixels;
  int32_t word;
  std::memcpy(&word, pixel, sizeof word);
  const V value = set32(word);
  uint8_t* row = block.top;
  for (int32_t y = 0; y < block.height; ++y, row -= block.row_back) {
    for (int32_t x = 0; x < vector_width; x += kPixels) {
      store(row + static_cast<size_t>(x) * kBytesPerPixel, value);
    }
  }
  if (vector_width < block.width) {
    const BlockRows rest{block.top + static_cast<size_t>(vector_width) * kBytesPerPixel,
                         block.row_back, block.width - vector_width, block.height};
    MosaicKernels<InstructionSet::kPlain>::fill_block(rest, pixel);
  }
}
