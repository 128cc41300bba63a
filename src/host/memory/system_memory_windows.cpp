#include <windows.h>

#include "host/memory/system_memory.h"

namespace vellora::host {

namespace {

bool protection_allows(DWORD protect, Access access) {
  if (protect & (PAGE_GUARD | PAGE_NOACCESS)) return false;
  const DWORD writable =
      PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  const DWORD readable = writable | PAGE_READONLY | PAGE_EXECUTE_READ;
  return (protect & (access == Access::kReadWrite ? writable : readable)) != 0;
}

}  // namespace

// One VirtualQuery per region that the range crosses: a heap buffer is
// usually one region, so a check costs one system call, and every region
// that passes is remembered whole. VirtualQuery fails only for addresses
// outside the process's part of the address space, which cannot be touched.
Verdict system_check(uintptr_t first, uintptr_t last, Access access, CallMemory& memory) {
  uintptr_t address = first;
  for (;;) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info) == 0) {
      return Verdict::kInaccessible;
    }
    if (info.State != MEM_COMMIT || !protection_allows(info.Protect, access)) {
      return Verdict::kInaccessible;
    }
    const uintptr_t region_first = reinterpret_cast<uintptr_t>(info.BaseAddress);
    const uintptr_t region_last = region_first + (info.RegionSize - 1);
    if (region_last < address) return Verdict::kInaccessible;  // a region that wraps
    memory.proven.remember(
        region_first, region_last,
        protection_allows(info.Protect, Access::kReadWrite) ? Access::kReadWrite : Access::kRead);
    if (region_last >= last) return Verdict::kAccessible;
    address = region_last + 1;
  }
}

}  // namespace vellora::host
