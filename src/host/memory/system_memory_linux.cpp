// Which way Linux is asked, and in which stages. Only a probe of every page
// proves that a range can be touched: a mapping's flags in /proc/self/maps
// describe the whole mapping, not each of its pages (a guard region, file
// pages past the end of a file, huge pages that cannot be had all lie inside
// mappings that say "rw"), so the list is not asked at all. madvise
// populates a range in one call; where it cannot tell (a kernel before 5.14,
// a sandbox) or cannot be trusted (an emulator that answers yes to
// anything), one byte of each page goes through the call's pipe. When
// neither can tell, the answer is kUnknown: the export reports a failure of
// resources, never a wrong "yes", which would be a crash.
#include "host/memory/linux_page_probes.h"
#include "host/memory/system_memory.h"

namespace vellora::host {

namespace {

Answer ask(uintptr_t first, uintptr_t last, Access access, ProbePipe& pipe) {
  Answer answer = Answer::kCannotTell;
  if (madvise_is_trusted()) answer = populate_pages(first, last, access);
  if (answer == Answer::kCannotTell) answer = copy_pages_through_pipe(pipe, first, last, access);
  return answer;
}

}  // namespace

Verdict system_check(uintptr_t first, uintptr_t last, Access access, CallMemory& memory) {
  const Answer answer = ask_in_stages(
      first, last, access,
      [&](uintptr_t from, uintptr_t to, Access a) { return ask(from, to, a, memory.pipe); });
  if (answer == Answer::kNo) return Verdict::kInaccessible;
  if (answer == Answer::kCannotTell) return Verdict::kUnknown;
  // What the probes proved, whole pages, and nothing more.
  memory.proven.remember(first & ~(kPageSize - 1), last | (kPageSize - 1), access);
  return Verdict::kAccessible;
}

}  // namespace vellora::host
