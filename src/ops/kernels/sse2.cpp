// The vector kernels compiled for SSE2, the baseline of every build that has
// vector kernels: every family, the blur with one pixel per 128-bit lane.
#include "ops/kernels/instruction_set.h"

#if VELLORA_VECTOR_KERNELS
#define VELLORA_ISA sse2
#define VELLORA_ISA_SET kSse2
#include "ops/kernels/vector_kernels.h"
namespace vellora {
#include "ops/kernels/blur_vector.h"
}  // namespace vellora
#endif
