// The vector kernels compiled for SSE2, the baseline of every build that has
// vector kernels.
#include "ops/kernels/instruction_set.h"

#if VELLORA_VECTOR_KERNELS
#define VELLORA_ISA sse2
#define VELLORA_ISA_SET kSse2
#include "ops/kernels/vector_kernels.h"
#endif
