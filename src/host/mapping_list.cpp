// Asking about memory mapping by mapping: /proc/self/maps, the list that
// VirtualQuery reads on Windows. Its cost does not grow with the range.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "host/linux_memory_ways.h"
#include "host/system_memory.h"

#if __has_include(<linux/fs.h>)
#include <linux/fs.h>
#endif

#if !defined(PROCMAP_QUERY)
// The kernel's interface since Linux 6.11, declared here for system headers
// that predate it; a kernel that predates it refuses the request (ENOTTY).
struct procmap_query {
  uint64_t size;
  uint64_t query_flags;
  uint64_t query_addr;
  uint64_t vma_start;
  uint64_t vma_end;
  uint64_t vma_flags;
  uint64_t vma_page_size;
  uint64_t vma_offset;
  uint64_t inode;
  uint32_t dev_major;
  uint32_t dev_minor;
  uint32_t vma_name_size;
  uint32_t build_id_size;
  uint64_t vma_name_addr;
  uint64_t build_id_addr;
};
static_assert(sizeof(procmap_query) == 104, "the kernel's layout");
#define PROCMAP_QUERY _IOWR('f', 17, struct procmap_query)
#define PROCMAP_QUERY_VMA_READABLE 0x01
#define PROCMAP_QUERY_VMA_WRITABLE 0x02
#endif

namespace vellora::host {

namespace {

// One mapping as the list gives it: [start, end), end exclusive.
struct Mapping {
  uint64_t start;
  uint64_t end;
  bool readable;
  bool writable;
};

// Walks the mappings that cover [first, last] from `first` on, in address
// order; `need` is the first byte not yet found covered.
struct Coverage {
  uint64_t need;
  uint64_t last;
  Access access;
  ProvenRanges* proven;

  // kCannotTell while the range goes on past this mapping.
  Answer take(const Mapping& m) {
    if (m.start > need) return Answer::kNo;  // a gap
    if (!m.readable || (access == Access::kReadWrite && !m.writable)) return Answer::kNo;
    remember(*proven, static_cast<uintptr_t>(m.start), static_cast<uintptr_t>(m.end - 1),
             m.writable ? Access::kReadWrite : Access::kRead);
    need = m.end;
    return need > last ? Answer::kYes : Answer::kCannotTell;
  }
};

// One ioctl per mapping that the range crosses: a buffer of its own is one.
Answer query_mappings(int fd, Coverage& coverage) {
  int attempts_left = kAttempts;
  for (;;) {
    procmap_query query{};
    query.size = sizeof query;
    query.query_addr = coverage.need;  // flags 0: the mapping that covers this byte
    if (ioctl(fd, PROCMAP_QUERY, &query) != 0) {
      if (worth_retrying(errno) && --attempts_left > 0) continue;
      return errno == ENOENT ? Answer::kNo : Answer::kCannotTell;  // ENOTTY: before 6.11
    }
    attempts_left = kAttempts;
    const Answer answer = coverage.take(
        Mapping{query.vma_start, query.vma_end, (query.vma_flags & PROCMAP_QUERY_VMA_READABLE) != 0,
                (query.vma_flags & PROCMAP_QUERY_VMA_WRITABLE) != 0});
    if (answer != Answer::kCannotTell) return answer;
  }
}

// Each line begins "start-end perms" (hex addresses, end exclusive, perms
// like "rw-p"), in increasing address order. Read from the start of the
// file, which the ioctl leaves where it was.
Answer read_mappings(int fd, Coverage& coverage) {
  enum Field { kStart, kEnd, kPerms, kRest };
  Field field = kStart;
  Mapping m{};
  int perm_index = 0;
  char chunk[4096];
  int attempts_left = kAttempts;
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got == 0) return Answer::kNo;  // the end of the list, the range not covered
    if (got < 0) {
      if (worth_retrying(errno) && --attempts_left > 0) continue;
      return Answer::kCannotTell;
    }
    attempts_left = kAttempts;
    for (ssize_t i = 0; i < got; ++i) {
      const char c = chunk[i];
      if (c == '\n') {
        field = kStart;
        m = Mapping{};
        perm_index = 0;
        continue;
      }
      switch (field) {
        case kStart:
        case kEnd: {
          int digit = -1;
          if (c >= '0' && c <= '9') digit = c - '0';
          if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
          uint64_t& value = field == kStart ? m.start : m.end;
          if (digit >= 0) {
            value = value * 16 + static_cast<uint64_t>(digit);
          } else {
            field = field == kStart ? kEnd : kPerms;  // '-' then ' '
          }
          break;
        }
        case kPerms: {
          if (perm_index == 0) m.readable = c == 'r';
          if (perm_index == 1) m.writable = c == 'w';
          if (++perm_index < 4) break;
          field = kRest;
          if (m.end <= coverage.need) break;  // wholly below what is still needed
          const Answer answer = coverage.take(m);
          if (answer != Answer::kCannotTell) return answer;
          break;
        }
        case kRest:
          break;
      }
    }
  }
}

int open_mapping_list() {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd >= 0 || !worth_retrying(errno)) return fd;
  }
  return -1;
}

}  // namespace

Answer mapping_list_allows(uintptr_t first, uintptr_t last, Access access, ProvenRanges& proven) {
  const int fd = open_mapping_list();
  if (fd < 0) return Answer::kCannotTell;  // no /proc, or a sandbox that hides it
  Coverage coverage{first, last, access, &proven};
  Answer answer = query_mappings(fd, coverage);
  if (answer == Answer::kCannotTell) {
    coverage.need = first;  // the query may have gone part of the way
    answer = read_mappings(fd, coverage);
  }
  close(fd);
  return answer;
}

}  // namespace vellora::host
