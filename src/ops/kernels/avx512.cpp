// The kernels of the AVX-512 tier (AVX-512F, BW and CD): the families it has its
// own version of (instruction_sets::Avx512::has_own), compiled from the same
// kernels/*_vector.h as AVX2, with vectors of four 128-bit lanes.
// They run only where best_instruction_set() finds AVX-512.
#include <algorithm>
#include <cstring>

#include "bitmap_view.h"
#include "ops/kernels/blend_pixel.h"
#include "ops/kernels/blur_means.h"
#include "ops/kernels/instruction_set.h"
#include "ops/kernels/kernels.h"
#include "ops/kernels/opaque_mean.h"
#include "ops/kernels/simd.h"

#if VELLORA_VECTOR_KERNELS
VELLORA_AVX512_BEGIN
#define VELLORA_ISA avx512
#define VELLORA_ISA_SET kAvx512
namespace vellora {
static_assert(has_own_kernels(InstructionSet::kAvx512, KernelFamily::kBlend) &&
                  has_own_kernels(InstructionSet::kAvx512, KernelFamily::kBlurRows) &&
                  has_own_kernels(InstructionSet::kAvx512, KernelFamily::kBlurColumns),
              "the families defined here are the ones the tier says it has");
#include "ops/kernels/blend_vector.h"
#include "ops/kernels/blur_channels_vector.h"
}  // namespace vellora
VELLORA_AVX512_END
#endif
