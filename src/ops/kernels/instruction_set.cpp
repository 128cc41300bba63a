#include "ops/kernels/instruction_set.h"

#include <atomic>

#if VELLORA_VECTOR_KERNELS
#include <cpuid.h>
#endif

namespace vellora {

#if VELLORA_VECTOR_KERNELS
bool instruction_sets::Avx512::processor_runs() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  // Leaf 1, ECX bit 27: the operating system has enabled XGETBV.
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || (ecx & (1u << 27)) == 0) return false;
  // XCR0 bits 1, 2 (SSE and AVX state) and 5, 6, 7 (the opmask registers and
  // the upper halves and high sixteen of the ZMM registers): the operating
  // system saves all of them across context switches.
  unsigned xcr0_low = 0, xcr0_high = 0;
  __asm__("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
  if ((xcr0_low & 0xE6u) != 0xE6u) return false;
  // Leaf 7, EBX bit 16 AVX-512F, bit 28 AVX-512CD and bit 30 AVX-512BW.
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  const unsigned needed = (1u << 16) | (1u << 28) | (1u << 30);
  return (ebx & needed) == needed;
}
#else
bool instruction_sets::Avx512::processor_runs() { return false; }
#endif

namespace {

InstructionSet detect_best() {
#if VELLORA_VECTOR_KERNELS
  __builtin_cpu_init();  // harmless if the run-time library has done it already
#endif
  // The list is slowest first: the last that runs is the best.
  InstructionSet best = InstructionSet::kPlain;
  instruction_sets::All::for_each([&](auto info) {
    if (instruction_set_runs(decltype(info)::kSet)) best = decltype(info)::kSet;
  });
  return best;
}

}  // namespace

bool instruction_set_runs(InstructionSet set) {
  bool runs = false;
  instruction_sets::All::for_each([&](auto info) {
    using Info = decltype(info);
    if (set == Info::kSet) runs = Info::kBuilt && Info::processor_runs();
  });
  return runs;
}

const char* instruction_set_name(InstructionSet set) {
  const char* name = "?";
  instruction_sets::All::for_each([&](auto info) {
    if (set == decltype(info)::kSet) name = decltype(info)::kName;
  });
  return name;
}

#if defined(VELLORA_FUZZING)
namespace {
bool g_fuzzing_chose = false;
InstructionSet g_fuzzing_choice = InstructionSet::kPlain;
}  // namespace

void choose_instruction_set_for_fuzzing(InstructionSet set) {
  g_fuzzing_chose = true;
  g_fuzzing_choice = set;
}
#endif

InstructionSet best_instruction_set() {
#if defined(VELLORA_FUZZING)
  if (g_fuzzing_chose) return g_fuzzing_choice;
#endif
  // Found on first use and kept. A constant-initialised atomic needs no
  // guard: a guarded static would link libstdc++'s lock, and with it the
  // thread runtime, into a DLL that starts no thread (the imports test pins
  // what is left). Threads whose first calls race each find the same answer
  // from the processor's feature bits.
  static std::atomic<int32_t> best{-1};
  int32_t found = best.load(std::memory_order_relaxed);
  if (found < 0) {
    found = static_cast<int32_t>(detect_best());
    best.store(found, std::memory_order_relaxed);
  }
  return static_cast<InstructionSet>(found);
}

}  // namespace vellora
