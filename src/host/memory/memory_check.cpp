#include "host/memory/memory_check.h"

#include "host/memory/system_memory.h"

namespace vellora::host {

bool ProvenRanges::cover(uintptr_t first, uintptr_t last, Access access) const {
  for (int i = 0; i < count_; ++i) {
    const Range& r = ranges_[i];
    if (first >= r.first && last <= r.last &&
        (access == Access::kRead || r.access == Access::kReadWrite)) {
      return true;
    }
  }
  return false;
}

void ProvenRanges::remember(uintptr_t first, uintptr_t last, Access access) {
  if (count_ == kCapacity) return;
  ranges_[count_++] = Range{first, last, access};
}

Verdict check_access(uintptr_t address, size_t size, Access access, CallMemory& memory) {
  if (size == 0) return Verdict::kAccessible;
  const uintptr_t last = address + (size - 1);
  if (last < address) return Verdict::kInaccessible;
  if (memory.proven.cover(address, last, access)) return Verdict::kAccessible;
  return system_check(address, last, access, memory);
}

}  // namespace vellora::host
