// The instruction sets the pixel kernels come in, and the one this process
// uses.
#pragma once

#include <cstdint>
#include <type_traits>

// Whether this build has the vector kernels: SSE2 is its baseline, and the
// AVX2 kernels are compiled beside the SSE2 ones and picked at run time. A
// build without SSE2 has only the plain kernels.
#if defined(__SSE2__)
#define VELLORA_VECTOR_KERNELS 1
#else
#define VELLORA_VECTOR_KERNELS 0
#endif

namespace vellora {

// In increasing order of speed. A new instruction set gets a value here, a
// case in with_instruction_set, and a kernels file beside kernels/avx2.cpp.
enum class InstructionSet : int32_t { kPlain, kSse2, kAvx2 };

// Whether this build has kernels for `set` and this processor (and its
// operating system, for the AVX state) runs them.
bool instruction_set_runs(InstructionSet set);

// The best instruction set that runs, found once per process.
InstructionSet best_instruction_set();

template <InstructionSet Set>
using InstructionSetTag = std::integral_constant<InstructionSet, Set>;

// Calls work(InstructionSetTag<set>{}): the one place where a run-time
// instruction set becomes the compile-time one that picks the kernels (each
// operation's walk is a template on it). Sets this build has no kernels for
// fall back to the plain ones.
template <typename Work>
decltype(auto) with_instruction_set(InstructionSet set, Work&& work) {
  switch (set) {
#if VELLORA_VECTOR_KERNELS
    case InstructionSet::kAvx2:
      return work(InstructionSetTag<InstructionSet::kAvx2>{});
    case InstructionSet::kSse2:
      return work(InstructionSetTag<InstructionSet::kSse2>{});
#endif
    default:
      return work(InstructionSetTag<InstructionSet::kPlain>{});
  }
}

}  // namespace vellora
