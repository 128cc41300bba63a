// Whether a row of the blur is opaque, a vector of pixels at a time: the
// same for both layouts of the vector blur (kernels/blur_vector.h,
// kernels/blur_channels_vector.h), each of which includes it where it
// defines its tier's row kernels.

template <>
bool BlurRowKernels<InstructionSet::VELLORA_ISA_SET>::pixels_opaque(const uint8_t* p, int32_t n) {
  using namespace VELLORA_ISA;
  const V alpha_bits = set32(static_cast<int32_t>(0xFF000000u));
  int32_t k = 0;
  for (; k + kPixels <= n; k += kPixels) {
    if (!all_set(eq32(and_(load(p + 4 * k), alpha_bits), alpha_bits))) return false;
  }
  return BlurRowKernels<InstructionSet::kPlain>::pixels_opaque(p + 4 * k, n - k);
}
