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

enum class InstructionSet : int32_t { kPlain, kSse2, kAvx2 };

// Each instruction set: its name, whether this build has its kernels, and
// whether this processor (and, for AVX2, its operating system, which must
// save the registers) runs them. The compiler's run-time library reads the
// processor's feature bits once.
namespace instruction_sets {

struct Plain {
  static constexpr InstructionSet kSet = InstructionSet::kPlain;
  static constexpr const char* kName = "plain";
  static constexpr bool kBuilt = true;
  static bool processor_runs() { return true; }
};

struct Sse2 {
  static constexpr InstructionSet kSet = InstructionSet::kSse2;
  static constexpr const char* kName = "sse2";
  static constexpr bool kBuilt = VELLORA_VECTOR_KERNELS;
  static bool processor_runs() { return __builtin_cpu_supports("sse2"); }
};

struct Avx2 {
  static constexpr InstructionSet kSet = InstructionSet::kAvx2;
  static constexpr const char* kName = "avx2";
  static constexpr bool kBuilt = VELLORA_VECTOR_KERNELS;
  static bool processor_runs() { return __builtin_cpu_supports("avx2"); }
};

// Every instruction set, slowest first: the one list that detection, the
// switch below, the tests and the benchmarks go through. Adding one takes
// its enumerator and entry here, its vector primitives in ops/simd.h and its
// kernels file beside kernels/avx2.cpp.
template <typename... Sets>
struct List {
  // Calls f(Set{}) for each set of the list, in order.
  template <typename F>
  static void for_each(F&& f) {
    (f(Sets{}), ...);
  }
};
using All = List<Plain, Sse2, Avx2>;

}  // namespace instruction_sets

template <InstructionSet Set>
using InstructionSetTag = std::integral_constant<InstructionSet, Set>;

// Whether this build has kernels for `set` and this processor runs them.
bool instruction_set_runs(InstructionSet set);

// The name of `set`, as the tests and the benchmarks print it.
const char* instruction_set_name(InstructionSet set);

// Calls f(set) for every instruction set that runs, slowest first.
template <typename F>
void for_each_instruction_set_that_runs(F&& f) {
  instruction_sets::All::for_each([&](auto info) {
    if (instruction_set_runs(decltype(info)::kSet)) f(decltype(info)::kSet);
  });
}

// The best instruction set that runs, found once per process.
InstructionSet best_instruction_set();

#if defined(VELLORA_FUZZING)
// The fuzzer's build only: from this call on, best_instruction_set()
// answers `set` (one that runs here), so that each input runs the exports on
// a tier of the fuzzer's choosing.
void choose_instruction_set_for_fuzzing(InstructionSet set);
#endif

// Calls work(InstructionSetTag<set>{}): the one place where a run-time
// instruction set becomes the compile-time one that picks the kernels (each
// operation's walk is a template on it). Sets this build has no kernels for
// fall back to the plain ones.
template <typename Work>
void with_instruction_set(InstructionSet set, Work&& work) {
  bool done = false;
  instruction_sets::All::for_each([&](auto info) {
    using Info = decltype(info);
    if constexpr (Info::kBuilt) {
      if (!done && set == Info::kSet) {
        work(InstructionSetTag<Info::kSet>{});
        done = true;
      }
    }
  });
  if (!done) work(InstructionSetTag<InstructionSet::kPlain>{});
}

}  // namespace vellora
