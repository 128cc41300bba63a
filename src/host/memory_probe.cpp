#include "host/memory_probe.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace vellora::host {

namespace {

bool already_proven(const ProvenRanges* proven, uintptr_t first, uintptr_t last, Access access) {
  if (proven == nullptr) return false;
  for (int i = 0; i < proven->count; ++i) {
    const ProvenRanges::Range& r = proven->ranges[i];
    if (first >= r.first && last <= r.last &&
        (access == Access::kRead || r.access == Access::kReadWrite)) {
      return true;
    }
  }
  return false;
}

void remember(ProvenRanges* proven, uintptr_t first, uintptr_t last, Access access) {
  if (proven == nullptr || proven->count == ProvenRanges::kCapacity) return;
  proven->ranges[proven->count++] = ProvenRanges::Range{first, last, access};
}

}  // namespace

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
// usually one region, so a check costs one system call, and every region
// that passes is remembered whole.
bool is_accessible(uintptr_t address, size_t size, Access access, ProvenRanges* proven) {
  if (size == 0) return true;
  const uintptr_t last = address + (size - 1);
  if (last < address) return false;
  if (already_proven(proven, address, last, access)) return true;
  for (;;) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info) == 0) {
      return false;
    }
    if (info.State != MEM_COMMIT || !protection_allows(info.Protect, access)) return false;
    const uintptr_t region_first = reinterpret_cast<uintptr_t>(info.BaseAddress);
    const uintptr_t region_last = region_first + (info.RegionSize - 1);
    if (region_last < address) return false;  // a region that wraps: refuse it
    remember(
        proven, region_first, region_last,
        protection_allows(info.Protect, Access::kReadWrite) ? Access::kReadWrite : Access::kRead);
    if (region_last >= last) return true;
    address = region_last + 1;
  }
}

#else

namespace {

constexpr uintptr_t kPageSize = 4096;  // the smallest page any x86 system maps
constexpr int kProbesPerCall = 64;

// Copies one byte of every page of [address, last] through the kernel, which
// reports an unmapped page as a short count instead of a fault. For write
// access each byte is copied onto itself: the kernel then needs the page
// readable as the source and writable as the destination, so one call
// checks both, and the caller's guarantee that no one else writes the
// bitmap during the call makes the copy change nothing.
bool probe_pages(uintptr_t address, uintptr_t last, Access access) {
  const pid_t self = getpid();
  uint8_t bytes[kProbesPerCall];
  iovec local[kProbesPerCall];
  iovec remote[kProbesPerCall];
  uintptr_t probe = address;
  bool more = true;
  while (more) {
    int count = 0;
    while (more && count < kProbesPerCall) {
      remote[count] = {reinterpret_cast<void*>(probe), 1};
      local[count] = access == Access::kReadWrite ? remote[count] : iovec{&bytes[count], 1};
      ++count;
      const uintptr_t next_page = (probe & ~(kPageSize - 1)) + kPageSize;
      more = next_page != 0 && next_page <= last;
      probe = next_page;
    }
    const ssize_t copied = process_vm_readv(self, local, count, remote, count, 0);
    if (copied < 0 && (errno == ENOSYS || errno == EPERM)) return true;
    if (copied != count) return false;
  }
  return true;
}

// The answer for [address, last] from the kernel's list of this process's
// mappings, the same question VirtualQuery answers on Windows. Each line of
// /proc/self/maps begins "start-end perms" (hex addresses, end exclusive,
// perms like "rw-p"), in increasing address order. The range is accessible
// when consecutive mappings cover it from `address` on without a gap, each
// readable, and writable too for write access. Returns -1 when the list
// cannot be read, else 0 or 1.
int maps_allow(uintptr_t address, uintptr_t last, Access access) {
  const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  enum Field { kStart, kEnd, kPerms, kRest };
  Field field = kStart;
  uint64_t start = 0, end = 0;
  int perm_index = 0;
  bool readable = false, writable = false;
  uint64_t need = address;  // first byte not yet found covered
  int answer = 0;
  char chunk[4096];
  bool done = false;
  while (!done) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got <= 0) break;  // end of the list (or a failed read): not covered
    for (ssize_t i = 0; i < got && !done; ++i) {
      const char c = chunk[i];
      if (c == '\n') {
        field = kStart;
        start = end = 0;
        perm_index = 0;
        continue;
      }
      switch (field) {
        case kStart:
        case kEnd: {
          int digit = -1;
          if (c >= '0' && c <= '9') digit = c - '0';
          if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
          uint64_t& value = field == kStart ? start : end;
          if (digit >= 0) {
            value = value * 16 + static_cast<uint64_t>(digit);
          } else {
            field = field == kStart ? kEnd : kPerms;  // '-' then ' '
          }
          break;
        }
        case kPerms:
          if (perm_index == 0) readable = c == 'r';
          if (perm_index == 1) writable = c == 'w';
          if (++perm_index < 4) break;
          field = kRest;
          if (end <= need) break;  // wholly below what is still needed
          if (start > need) {
            done = true;  // a gap
            break;
          }
          if (!readable || (access == Access::kReadWrite && !writable)) {
            done = true;
            break;
          }
          need = end;
          if (need > last) {
            answer = 1;
            done = true;
          }
          break;
        case kRest:
          break;
      }
    }
  }
  close(fd);
  return answer;
}

}  // namespace

// Small ranges (the host's records, small bitmaps) are probed page by page;
// the kernel's cost grows with the pages probed, so a large buffer is looked
// up in the mapping list instead, at a cost that does not grow with its size.
bool is_accessible(uintptr_t address, size_t size, Access access, ProvenRanges* proven) {
  if (size == 0) return true;
  const uintptr_t last = address + (size - 1);
  if (last < address) return false;
  if (already_proven(proven, address, last, access)) return true;
  if ((last / kPageSize) - (address / kPageSize) >= kProbesPerCall) {
    const int answer = maps_allow(address, last, access);
    if (answer >= 0) {
      if (answer == 1) remember(proven, address, last, access);
      return answer == 1;
    }
  }
  const bool accessible = probe_pages(address, last, access);
  // A probe proves whole pages: the first and the last are mapped, and so is
  // every page between.
  if (accessible) remember(proven, address & ~(kPageSize - 1), last | (kPageSize - 1), access);
  return accessible;
}

#endif

}  // namespace vellora::host
