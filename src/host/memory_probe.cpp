#include "host/memory_probe.h"

#include "host/system_memory.h"

namespace vellora::host {

namespace {

bool already_proven(const ProvenRanges& proven, uintptr_t first, uintptr_t last, Access access) {
  for (int i = 0; i < proven.count; ++i) {
    const ProvenRanges::Range& r = proven.ranges[i];
    if (first >= r.first && last <= r.last &&
        (access == Access::kRead || r.access == Access::kReadWrite)) {
      return true;
    }
  }
  return false;
}

}  // namespace

void remember(ProvenRanges& proven, uintptr_t first, uintptr_t last, Access access) {
  if (proven.count == ProvenRanges::kCapacity) return;
  proven.ranges[proven.count++] = ProvenRanges::Range{first, last, access};
}

bool is_accessible(uintptr_t address, size_t size, Access access, ProvenRanges& proven) {
  if (size == 0) return true;
  const uintptr_t last = address + (size - 1);
  if (last < address) return false;
  if (already_proven(proven, address, last, access)) return true;
  return system_allows(address, last, access, proven);
}

}  // namespace vellora::host
