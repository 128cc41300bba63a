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

// A range of several pages is asked about in stages, so that a refusal costs
// little and commits no memory: its last page first (a header that claims
// more than the buffer holds usually runs into a hole there), then the whole
// range for reading (which maps untouched anonymous pages to the shared zero
// page and copies nothing), and only then, for write access, the last page
// and the whole range for writing (which gives each page its own frame, the
// memory the operation is about to write anyway). A single page is asked
// once, with the access needed.
Verdict system_check(uintptr_t first, uintptr_t last, Access access, CallMemory& memory) {
  const uintptr_t last_page = last & ~(kPageSize - 1);
  Answer answer = Answer::kYes;
  const auto stage = [&](uintptr_t from, Access stage_access) {
    if (answer == Answer::kYes) answer = ask(from, last, stage_access, memory.pipe);
  };
  if ((first & ~(kPageSize - 1)) == last_page) {
    stage(first, access);
  } else {
    stage(last_page, Access::kRead);
    stage(first, Access::kRead);
    if (access == Access::kReadWrite) {
      stage(last_page, Access::kReadWrite);
      stage(first, Access::kReadWrite);
    }
  }
  if (answer == Answer::kNo) return Verdict::kInaccessible;
  if (answer == Answer::kCannotTell) return Verdict::kUnknown;
  // What the probes proved, whole pages, and nothing more.
  memory.proven.remember(first & ~(kPageSize - 1), last | (kPageSize - 1), access);
  return Verdict::kAccessible;
}

}  // namespace vellora::host
