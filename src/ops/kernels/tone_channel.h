// ChangeTone's per-channel formula, shared by the operation, its kernels and
// the tests.
#pragma once

#include <cstdint>

namespace vellora {

// One channel moved toward white (v > 0) or black (v < 0) on a scale of 256:
//   v > 0: ch + ((255 - ch) * v >> 8)      v < 0: ch * (v + 256) >> 8
// ch in 0..255, v in -256..256; the result stays in 0..255.
inline int32_t tone_channel(int32_t ch, int32_t v) {
  if (v > 0) return ch + (((255 - ch) * v) >> 8);
  if (v < 0) return (ch * (v + 256)) >> 8;
  return ch;
}

}  // namespace vellora
