// What the check of the library's rules must refuse: floating point (also
// AVX-512's), a lookup table, a table of values that the compiler makes of a
// switch, and a table of functions. Compiled, never run; the check is run on
// it and must fail, naming each (tests/CMakeLists.txt).
#include <immintrin.h>

#include <cstdint>

namespace {

const uint8_t kHalves[256] = {0, 0, 1, 1, 2, 2};

int32_t twice(int32_t x) { return 2 * x; }
int32_t thrice(int32_t x) { return 3 * x; }

}  // namespace

extern int32_t (*const kSteps[])(int32_t);
int32_t (*const kSteps[])(int32_t) = {twice, thrice};

double scaled(double x) { return x * 1.5; }

uint8_t half_of(uint8_t x) { return kHalves[x]; }

// Values from a switch, which GCC turns into a table (CSWTCH).
int32_t weight_of(int32_t k) {
  switch (k) {
    case 0:
      return 17;
    case 1:
      return 5;
    case 2:
      return 91;
    case 3:
      return 42;
    case 4:
      return 8;
    case 5:
      return 63;
    default:
      return 0;
  }
}

// A reciprocal estimate in AVX-512.
__attribute__((target("avx512f"))) void reciprocals(float* p) {
  _mm512_storeu_ps(p, _mm512_rcp14_ps(_mm512_loadu_ps(p)));
}
