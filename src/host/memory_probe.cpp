#include "host/memory_probe.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace vellora::host {

#if defined(_WIN32)

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
// usually one region, so a check costs one system call.
bool is_accessible(uintptr_t address, size_t size, Access access) {
  if (size == 0) return true;
  const uintptr_t end = address + size;
  if (end < address) return false;
  while (address < end) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info) == 0) {
      return false;
    }
    if (info.State != MEM_COMMIT || !protection_allows(info.Protect, access)) return false;
    const uintptr_t region_end = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    if (region_end <= address) return false;  // the last region of the address space
    address = region_end;
  }
  return true;
}

#else

namespace {

constexpr uintptr_t kPageSize = 4096;  // the smallest page any x86 system maps
constexpr int kProbesPerCall = 64;

}  // namespace

// Copies one byte of every page of the range through the kernel, which
// reports an unmapped page as a short count instead of a fault. For write
// access the same bytes are written back: the caller guarantees that no one
// else writes the bitmap during the call, so this changes nothing.
bool is_accessible(uintptr_t address, size_t size, Access access) {
  if (size == 0) return true;
  const uintptr_t last = address + (size - 1);
  if (last < address) return false;

  const pid_t self = getpid();
  uint8_t bytes[kProbesPerCall];
  iovec local[kProbesPerCall];
  iovec remote[kProbesPerCall];
  uintptr_t probe = address;
  bool more = true;
  while (more) {
    int count = 0;
    while (more && count < kProbesPerCall) {
      local[count] = {&bytes[count], 1};
      remote[count] = {reinterpret_cast<void*>(probe), 1};
      ++count;
      const uintptr_t next_page = (probe & ~(kPageSize - 1)) + kPageSize;
      more = next_page != 0 && next_page <= last;
      probe = next_page;
    }
    const ssize_t read = process_vm_readv(self, local, count, remote, count, 0);
    if (read < 0 && (errno == ENOSYS || errno == EPERM)) return true;
    if (read != count) return false;
    if (access == Access::kReadWrite &&
        process_vm_writev(self, local, count, remote, count, 0) != count) {
      return false;
    }
  }
  return true;
}

#endif

}  // namespace vellora::host
