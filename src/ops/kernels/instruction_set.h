// The instruction sets (tiers) the pixel kernels come in, which kernels each
// has a version of, and the tier this process uses.
#pragma once

#include <cstdint>
#include <type_traits>

// Whether this build has the vector kernels: SSE2 is its baseline, and the
// kernels of the higher tiers are compiled beside the SSE2 ones and picked at
// run time. A build without SSE2 has only the plain kernels.
#if defined(__SSE2__)
#define VELLORA_VECTOR_KERNELS 1
#else
#define VELLORA_VECTOR_KERNELS 0
#endif

namespace vellora {

enum class InstructionSet : int32_t { kPlain, kSse2, kAvx2, kAvx512 };

// The kernels, by the pass they serve: a tier has a version of a family's
// kernels or none (kernels/kernels.h declares each family once).
enum class KernelFamily : int32_t { kTone, kClipMask, kMosaic, kBlend, kBlurRows, kBlurColumns };

// Each tier: its name, whether this build has its kernels, which families it
// has its own version of (the others are the next lower tier's), and whether
// this processor (and, for AVX2 and AVX-512, its operating system, which must
// save the registers) runs it.
namespace instruction_sets {

struct Plain {
  static constexpr InstructionSet kSet = InstructionSet::kPlain;
  static constexpr const char* kName = "plain";
  static constexpr bool kBuilt = true;
  static constexpr bool has_own(KernelFamily) { return true; }  // the yardstick has every one
  static bool processor_runs() { return true; }
};

// Every family of kernels/*_vector.h, compiled for SSE2.
struct Sse2 {
  static constexpr InstructionSet kSet = InstructionSet::kSse2;
  static constexpr const char* kName = "sse2";
  static constexpr bool kBuilt = VELLORA_VECTOR_KERNELS;
  static constexpr bool has_own(KernelFamily) { return true; }
  static bool processor_runs() { return __builtin_cpu_supports("sse2"); }
};

// The same families compiled for AVX2.
struct Avx2 {
  static constexpr InstructionSet kSet = InstructionSet::kAvx2;
  static constexpr const char* kName = "avx2";
  static constexpr bool kBuilt = VELLORA_VECTOR_KERNELS;
  static constexpr bool has_own(KernelFamily) { return true; }
  static bool processor_runs() { return __builtin_cpu_supports("avx2"); }
};

// The families whose quotients vary from pixel to pixel (the blend and the
// blur), in vectors of 16 lanes; the others are AVX2's, whose work is bound by
// memory rather than by arithmetic.
struct Avx512 {
  static constexpr InstructionSet kSet = InstructionSet::kAvx512;
  static constexpr const char* kName = "avx512";
  static constexpr bool kBuilt = VELLORA_VECTOR_KERNELS;
  static constexpr bool has_own(KernelFamily family) {
    return family == KernelFamily::kBlend || family == KernelFamily::kBlurRows ||
           family == KernelFamily::kBlurColumns;
  }
  // AVX-512F, CD and BW (every processor with AVX-512 since Skylake-SP and
  // Zen 4), and an operating system that saves the opmask and ZMM registers
  // (kernels/instruction_set.cpp).
  static bool processor_runs();
};

// Every tier, slowest first: the one list that detection, the switch below,
// the fallback, the tests and the benchmarks go through. Adding one takes its
// enumerator and entry here, its vector primitives (kernels/simd*.h) and its
// kernels file beside kernels/avx2.cpp; it can start with one family and
// take the next lower tier's for the others.
template <typename... Sets>
struct List {
  // Calls f(Set{}) for each set of the list, in order.
  template <typename F>
  static void for_each(F&& f) {
    (f(Sets{}), ...);
  }
  // Whether `set` has its own version of `family`.
  static constexpr bool has_own(InstructionSet set, KernelFamily family) {
    return ((set == Sets::kSet && Sets::has_own(family)) || ...);
  }
  // The tier just below `set` (the plain one is the lowest).
  static constexpr InstructionSet next_lower(InstructionSet set) {
    InstructionSet lower = InstructionSet::kPlain, previous = InstructionSet::kPlain;
    ((Sets::kSet == set ? (lower = previous, 0) : (previous = Sets::kSet, 0)), ...);
    return lower;
  }
};
using All = List<Plain, Sse2, Avx2, Avx512>;

}  // namespace instruction_sets

template <InstructionSet Set>
using InstructionSetTag = std::integral_constant<InstructionSet, Set>;

// Whether tier `set` has its own version of `family`; where it has not, it
// uses next_lower_tier(set)'s (kernels/kernels.h).
constexpr bool has_own_kernels(InstructionSet set, KernelFamily family) {
  return instruction_sets::All::has_own(set, family);
}
constexpr InstructionSet next_lower_tier(InstructionSet set) {
  return instruction_sets::All::next_lower(set);
}

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
