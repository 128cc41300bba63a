// Which way Linux is asked first. Measured on a 2-core virtual machine
// (README, "Speed"), warm and right after 2.4 MB of other memory traffic:
// faulting pages in costs 0.2 to 2.3 µs for a page and 30 ns for each
// further one; the copy probe 0.4 µs and 130 ns a page; the mapping list
// 1.3 to 10 µs whatever the size of the range (opening /proc/self/maps is
// most of it; reading it as text costs 10 µs and up). So up to 64 pages (a
// host record, a 128 x 128 sprite) are faulted in, and a larger range is
// looked up in the list, whose answer also proves its whole mapping for the
// rest of the call. Each way that cannot tell hands over to the next; when
// none can, the range is refused.
#include "host/linux_memory_ways.h"
#include "host/system_memory.h"

namespace vellora::host {

namespace {

constexpr uintptr_t kFaultInPagesMax = 64;

void remember_pages(ProvenRanges& proven, uintptr_t first, uintptr_t last, Access access) {
  remember(proven, first & ~(kPageSize - 1), last | (kPageSize - 1), access);
}

}  // namespace

bool system_allows(uintptr_t first, uintptr_t last, Access access, ProvenRanges& proven) {
  const uintptr_t pages = last / kPageSize - first / kPageSize + 1;
  if (pages <= kFaultInPagesMax) {
    Answer answer = fault_in_pages(first, last, access);
    if (answer == Answer::kCannotTell) answer = copy_probe_pages(first, last, access);
    if (answer == Answer::kYes) remember_pages(proven, first, last, access);
    if (answer != Answer::kCannotTell) return answer == Answer::kYes;
    return mapping_list_allows(first, last, access, proven) == Answer::kYes;
  }
  const Answer answer = mapping_list_allows(first, last, access, proven);
  if (answer != Answer::kCannotTell) return answer == Answer::kYes;
  // Without the list, page by page: slow for a large range, but an answer.
  if (copy_probe_pages(first, last, access) != Answer::kYes) return false;
  remember_pages(proven, first, last, access);
  return true;
}

}  // namespace vellora::host
