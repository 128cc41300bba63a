#include "ops/instruction_set.h"

namespace vellora {

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
  // Computed on first use and never changed: the same answer for every call.
  static const InstructionSet best = detect_best();
  return best;
}

}  // namespace vellora
