// Which way Linux is asked first. Only a probe of every page proves that a
// range can be touched: a mapping's flags in /proc/self/maps describe the
// whole mapping, not each of its pages (a guard region, file pages past the
// end of a file, huge pages that cannot be had all lie inside mappings that
// say "rw"), so the list is not asked at all. madvise populates the whole
// range in one call, the pages the operation is about to touch anyway; where
// it cannot tell (a kernel before 5.14, a sandbox) or cannot be trusted (an
// emulator that answers yes to anything), one byte of each page goes
// through a pipe. When neither can tell, the range is refused: a refused
// bitmap costs a status code, a wrong "yes" a crash.
#include "host/linux_memory_ways.h"
#include "host/system_memory.h"

namespace vellora::host {

bool system_allows(uintptr_t first, uintptr_t last, Access access, ProvenRanges& proven) {
  Answer answer = Answer::kCannotTell;
  if (madvise_tells_the_truth()) answer = fault_in_pages(first, last, access);
  if (answer == Answer::kCannotTell) answer = pipe_probe_pages(first, last, access);
  if (answer != Answer::kYes) return false;
  // What the probes proved, whole pages, and nothing more.
  remember(proven, first & ~(kPageSize - 1), last | (kPageSize - 1), access);
  return true;
}

}  // namespace vellora::host
