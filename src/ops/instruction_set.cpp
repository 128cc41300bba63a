#include "ops/instruction_set.h"

#include <initializer_list>

namespace vellora {

namespace {

InstructionSet detect_best() {
#if VELLORA_VECTOR_KERNELS
  __builtin_cpu_init();  // harmless if the run-time library has done it already
#endif
  for (const InstructionSet set : {InstructionSet::kAvx2, InstructionSet::kSse2}) {
    if (instruction_set_runs(set)) return set;
  }
  return InstructionSet::kPlain;
}

}  // namespace

bool instruction_set_runs(InstructionSet set) {
  switch (set) {
    case InstructionSet::kPlain:
      return true;
#if VELLORA_VECTOR_KERNELS
    // The compiler's run-time library reads the processor's feature bits
    // once; it reports AVX2 only where the operating system saves the AVX
    // registers too.
    case InstructionSet::kSse2:
      return __builtin_cpu_supports("sse2");
    case InstructionSet::kAvx2:
      return __builtin_cpu_supports("avx2");
#endif
    default:
      return false;
  }
}

InstructionSet best_instruction_set() {
  // Computed on first use and never changed: the same answer for every call.
  static const InstructionSet best = detect_best();
  return best;
}

}  // namespace vellora
