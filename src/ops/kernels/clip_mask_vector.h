// ClipMask on whole vectors of pixels. Included by kernels/sse2.cpp and
// kernels/avx2.cpp inside their instruction set's namespace.

namespace VELLORA_ISA {

// Pixels t whose alphas become m * alpha / 255, m given per pixel in the low
// byte of its 32-bit lane (0..255, the rest of the lane 0); colors kept. The
// product sits in the low 16 bits of each lane, at most 65,025, and the high
// 16 bits stay 0: within div255's range.
inline V clip_alphas(V t, V m) {
  const V q = div255(mullo16(srl32<24>(t), m));
  return or_(and_(t, set32(0x00FFFFFF)), sll32<24>(q));
}

}  // namespace VELLORA_ISA

template <>
void ClipMaskKernels<InstructionSet::VELLORA_ISA_SET>::clip_alpha_by_mask(uint8_t* p,
                                                                          const uint8_t* mask,
                                                                          int32_t n) {
  using namespace VELLORA_ISA;
  const V blue = set32(0xFF);
  int32_t i = 0;
  for (; i + kPixels <= n; i += kPixels) {
    const size_t at = static_cast<size_t>(i) * kBytesPerPixel;
    store(p + at, clip_alphas(load(p + at), and_(load(mask + at), blue)));
  }
  const size_t done = static_cast<size_t>(i) * kBytesPerPixel;
  ClipMaskKernels<InstructionSet::kPlain>::clip_alpha_by_mask(p + done, mask + done, n - i);
}

template <>
void ClipMaskKernels<InstructionSet::VELLORA_ISA_SET>::clip_alpha_by_value(uint8_t* p, int32_t m,
                                                                           int32_t n) {
  using namespace VELLORA_ISA;
  int32_t i = 0;
  if (m >= 0 && m <= 255) {
    const V mv = set32(m);
    for (; i + kPixels <= n; i += kPixels) {
      uint8_t* q = p + static_cast<size_t>(i) * kBytesPerPixel;
      store(q, clip_alphas(load(q), mv));
    }
  }
  ClipMaskKernels<InstructionSet::kPlain>::clip_alpha_by_value(
      p + static_cast<size_t>(i) * kBytesPerPixel, m, n - i);
}
