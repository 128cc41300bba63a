// ChangeTone and InvertColor on whole vectors of pixels. Compiled once per
// vector instruction set (kernels/vector_kernels.h).

namespace VELLORA_ISA {

// tone_channel(ch, v) as one multiply-add and shift, with no branch on v:
//   v > 0:  ch + ((255 - ch) * v >> 8) == (ch * (256 - v) + 255 * v) >> 8
//           (ch * 256 is a multiple of 256, so it passes the shift whole)
//   v <= 0: (ch * (256 + v)) >> 8, and v = 0 gives ch
// so tone_channel(ch, v) == (ch * m + k) >> 8 with m = 256 - |v| and
// k = 255 * max(v, 0). ch * m + k is at most 255 * 256 = 65,280 for every
// ch and v, so it is exact in unsigned 16-bit lanes. The alpha lane gets
// m = 256 and k = 0, which gives it back unchanged.
inline int16_t tone_factor(int32_t v) { return static_cast<int16_t>(256 - (v < 0 ? -v : v)); }
inline int16_t tone_offset(int32_t v) { return static_cast<int16_t>(v > 0 ? 255 * v : 0); }

inline V tone_lanes(V ch, V m, V k) { return srl16<8>(add16(mullo16(ch, m), k)); }

}  // namespace VELLORA_ISA

template <>
void ToneKernels<InstructionSet::VELLORA_ISA_SET>::tone_pixels(uint8_t* p, int32_t n,
                                                               const ToneAmounts& amounts,
                                                               bool skip_transparent) {
  using namespace VELLORA_ISA;
  const V m =
      pixel16(tone_factor(amounts.blue), tone_factor(amounts.green), tone_factor(amounts.red), 256);
  const V k =
      pixel16(tone_offset(amounts.blue), tone_offset(amounts.green), tone_offset(amounts.red), 0);
  const V alpha_bits = set32(static_cast<int32_t>(0xFF000000u));
  int32_t i = 0;
  for (; i + kPixels <= n; i += kPixels) {
    uint8_t* q = p + static_cast<size_t>(i) * kBytesPerPixel;
    const V x = load(q);
    V out =
        packus16(tone_lanes(unpacklo8(x, zero()), m, k), tone_lanes(unpackhi8(x, zero()), m, k));
    // Pixels of alpha 0 keep all four bytes.
    if (skip_transparent) out = select(eq32(and_(x, alpha_bits), zero()), x, out);
    store(q, out);
  }
  ToneKernels<InstructionSet::kPlain>::tone_pixels(p + static_cast<size_t>(i) * kBytesPerPixel,
                                                   n - i, amounts, skip_transparent);
}

// Each color byte becomes its complement: one XOR with 0x00FFFFFF per pixel
// (alpha is the high byte of the little-endian pixel word).
template <>
void ToneKernels<InstructionSet::VELLORA_ISA_SET>::invert_pixels(uint8_t* p, int32_t n) {
  using namespace VELLORA_ISA;
  const V colors = set32(0x00FFFFFF);
  int32_t i = 0;
  for (; i + 2 * kPixels <= n; i += 2 * kPixels) {
    uint8_t* q = p + static_cast<size_t>(i) * kBytesPerPixel;
    const V a = xor_(load(q), colors);
    const V b = xor_(load(q + 4 * kPixels), colors);
    store(q, a);
    store(q + 4 * kPixels, b);
  }
  ToneKernels<InstructionSet::kPlain>::invert_pixels(p + static_cast<size_t>(i) * kBytesPerPixel,
                                                     n - i);
}
