// The vector kernels compiled for AVX2, whatever the build's baseline: every
// family, the blur with the channels apart. They run only where
// best_instruction_set() finds AVX2.
#include "ops/kernels/instruction_set.h"
#include "ops/kernels/simd.h"

#if VELLORA_VECTOR_KERNELS
VELLORA_AVX2_BEGIN
#define VELLORA_ISA avx2
#define VELLORA_ISA_SET kAvx2
#include "ops/kernels/vector_kernels.h"
namespace vellora {
#include "ops/kernels/blur_channels_vector.h"
}  // namespace vellora
VELLORA_AVX2_END
#endif
