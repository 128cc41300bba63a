// Vector helpers built on the primitives of kernels/simd.h, the same for every
// instruction set: kernels/simd.h includes this inside each instruction set's
// namespace, after its primitives.

// Truncating division by 255 for every p in 0..65,535, in 16-bit lanes or
// in 32-bit lanes whose high 16 bits are 0 (which stay 0):
//   p / 255 == (p * 32897) >> 23          (32897 = 0x8081)
// 32897 / 2^23 exceeds 1 / 255 by 127 / (255 * 2^23). For p = 255q + r
// (0 <= r <= 254) the product over 2^23 therefore lies between q + r / 255
// and q + 254 / 255 + 65,535 * 127 / (255 * 2^23) < q + 0.99608 + 0.00390,
// below q + 1. mulhi gives (p * 32897) >> 16; seven more bits make 23.
inline constexpr uint32_t kDiv255Max = 65535;
inline V div255(V p) { return srl16<7>(mulhi_u16(p, set16(static_cast<int16_t>(0x8081)))); }

// Exact truncating division n / d in 32-bit lanes where the quotient is
// below 256: for every d in 1..kDivisorMax and n in 0 .. 256d - 1. Other
// lanes get an unspecified value. The argument below holds for d up to
// 2^22 - 1; kDivisorMax is what the kernels use, the blur's alpha sums of
// 2,001 * 255, and what kernels_test tries: every divisor up to it with the
// first and the last dividend of each quotient, and every dividend of the
// divisors up to 255.
//
// Restoring division by D = d * 256, one quotient bit per step, the bits
// collected in the low byte of x itself: x starts as n, and each of eight
// steps doubles x and, when x >= D, subtracts D - 1 (takes D away and sets the
// new low bit). After k steps x = r_k + Q_k, where Q_k < 2^k is the quotient
// so far and r_k = 2^k n - Q_k D < D is a multiple of 2^k: the low bits can
// never carry into the comparison, which therefore decides the bit as long
// division does. After eight steps x = 256 (n mod d) + n / d, and the low
// byte is the quotient. x stays below 2D <= 2^31.
inline constexpr uint32_t kDivisorMax = 2001 * 255;
// D - 1, the form of the divisor the steps use: prepared once, it serves
// every dividend divided by the same d.
inline V prepare_divisor(V d) { return sub32(sll32<8>(d), set32(1)); }
inline V divide_small_quotient_prepared(V n, V d_minus_one) {
  V x = n;
  for (int step = 0; step < 8; ++step) x = division_step(x, d_minus_one);
  return and_(x, set32(0xFF));
}
inline V divide_small_quotient(V n, V d) {
  return divide_small_quotient_prepared(n, prepare_divisor(d));
}

// The same quotients where the divisor is below 2^16, for several dividends
// that share it (the blend's colours of a pixel), in fewer instructions
// where the tier has an unsigned minimum: the steps halve the divisor, which
// the dividends share, instead of doubling each dividend. For d in
// 1..kNarrowDivisorMax and n in 0 .. 256d - 1:
//
// x starts as 256 n (below 2^16 * 65,535 < 2^32). Step j = 7, 6, .., 0
// subtracts C_j = (256 d - 1) 2^j = 256 d 2^j - 2^j where x >= C_j, and so
// takes d 2^j from the remainder and sets quotient bit j in the low byte.
// Before step j, x = 256 r + Q, Q the quotient bits above j (a multiple of
// 2^(j+1) below 256, so Q <= 256 - 2^(j+1)) and r < 2 d 2^j. If r >= d 2^j,
// x >= 256 d 2^j > C_j, and x - C_j = 256 (r - d 2^j) + Q + 2^j. If
// r < d 2^j, x <= 256 d 2^j - 256 + Q < C_j, and x is kept. After the last
// step x = 256 (n mod d) + n / d, and the low byte is the quotient. The
// subtraction is an unsigned minimum: where x < C_j, x - C_j wraps above
// 2^32 - C_j > x. C_7 = (256 d - 1) 2^7 < 2^31, and C_j = C_(j+1) / 2
// exactly, a shift of the shared divisor a step.
inline constexpr uint32_t kNarrowDivisorMax = 65535;
inline V prepare_narrow_divisor(V d) {
  if constexpr (kNativeUnsignedMin32) {
    return sll32<7>(prepare_divisor(d));
  } else {
    return prepare_divisor(d);
  }
}
// Each n[k] replaced by n[k] / d, the divisor prepared by prepare_narrow_divisor.
template <int N>
inline void divide_narrow(V (&n)[N], V prepared) {
  if constexpr (kNativeUnsignedMin32) {
    for (V& x : n) x = sll32<8>(x);
    V c = prepared;
    for (int step = 0; step < 8; ++step, c = srl32<1>(c)) {
      for (V& x : n) x = min_u32(x, sub32(x, c));
    }
    for (V& x : n) x = and_(x, set32(0xFF));
  } else {
    for (V& x : n) x = divide_small_quotient_prepared(x, prepared);
  }
}

// Pixels in 16-bit lanes (two per 128-bit lane) weighted as the blur and the
// mosaic weigh them: (B * A, G * A, R * A, A), each at most 65,025, which
// unsigned 16-bit lanes hold exactly.
inline V weighted16(V pixels16) {
  return mullo16(pixels16,
                 or_(and_(alpha16(pixels16), pixel16(-1, -1, -1, 0)), pixel16(0, 0, 0, 1)));
}

// Channel c (0 blue .. 3 alpha) of pixels held one per 32-bit lane.
template <int C>
inline V channel(V pixels) {
  if constexpr (C == 3) {
    return srl32<24>(pixels);
  } else {
    return and_(srl32<8 * C>(pixels), set32(0xFF));
  }
}
