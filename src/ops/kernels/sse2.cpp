// The vector kernels compiled for SSE2, the baseline of every build that has
// vector kernels.
#include <algorithm>
#include <cstring>

#include "bitmap_view.h"
#include "ops/blend.h"
#include "ops/kernels/kernels.h"
#include "ops/kernels/opaque_mean.h"
#include "ops/simd.h"

#if VELLORA_VECTOR_KERNELS
#define VELLORA_ISA sse2
#define VELLORA_ISA_SET kSse2
#include "ops/kernels/vector_kernels.inc"
#endif
