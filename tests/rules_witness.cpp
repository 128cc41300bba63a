// What the check of the library's rules must refuse: floating point, a
// lookup table and a table of functions. Compiled, never run; the check is
// run on it and must fail (tests/CMakeLists.txt).
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
