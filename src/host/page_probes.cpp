// Asking about memory page by page: the cheap ways for a few pages.
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

#include "host/linux_memory_ways.h"

namespace vellora::host {

Answer fault_in_pages(uintptr_t first, uintptr_t last, Access access) {
  // madvise wants the start of a page and takes the length up to whole pages.
  // The caller asks about a bounded number of pages: the length cannot wrap.
  const uintptr_t start = first & ~(kPageSize - 1);
  const size_t length = last - start + 1;
  const int advice = access == Access::kReadWrite ? MADV_POPULATE_WRITE : MADV_POPULATE_READ;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (madvise(reinterpret_cast<void*>(start), length, advice) == 0) return Answer::kYes;
    if (worth_retrying(errno)) continue;
    // EFAULT: a touch would have raised SIGSEGV or SIGBUS. Anything else
    // cannot be told from "mapped but not so": ENOMEM is a hole or a page the
    // kernel had no memory for, EINVAL a page without the access or a kernel
    // older than 5.14, EPERM and ENOSYS a sandbox.
    return errno == EFAULT || errno == EHWPOISON ? Answer::kNo : Answer::kCannotTell;
  }
  return Answer::kCannotTell;
}

// For write access each byte is copied onto itself: the kernel then needs the
// page readable as the source and writable as the destination, so one call
// checks both, and the caller's guarantee that no one else writes the bitmap
// during the call makes the copy change nothing. A short count stops at the
// first page that failed; the next call starts there, so that a failure is
// told from an interruption by the error of that page alone.
Answer copy_probe_pages(uintptr_t first, uintptr_t last, Access access) {
  constexpr int kPagesPerCall = 256;
  const pid_t self = getpid();
  uint8_t bytes[kPagesPerCall];
  iovec local[kPagesPerCall];
  iovec remote[kPagesPerCall];
  uintptr_t probe = first;  // the byte of the next page to probe
  bool more = true;
  int attempts_left = kAttempts;
  while (more) {
    int count = 0;
    uintptr_t next = probe;
    bool batch_reaches_end = false;
    while (!batch_reaches_end && count < kPagesPerCall) {
      remote[count] = {reinterpret_cast<void*>(next), 1};
      local[count] = access == Access::kReadWrite ? remote[count] : iovec{&bytes[count], 1};
      ++count;
      const uintptr_t next_page = (next & ~(kPageSize - 1)) + kPageSize;
      batch_reaches_end = next_page == 0 || next_page > last;
      next = next_page;
    }
    const ssize_t copied = process_vm_readv(self, local, count, remote, count, 0);
    if (copied == count) {
      probe = next;
      more = !batch_reaches_end;
      attempts_left = kAttempts;
      continue;
    }
    if (copied > 0) {  // the pages before the one that failed are proven
      probe = reinterpret_cast<uintptr_t>(remote[copied].iov_base);
      attempts_left = kAttempts;
      continue;
    }
    if (copied == 0 || worth_retrying(errno)) {
      if (--attempts_left == 0) return Answer::kCannotTell;
      continue;
    }
    // EFAULT: the first page cannot be copied. EPERM and ENOSYS: a sandbox;
    // ENOMEM: no kernel memory for the call.
    return errno == EFAULT ? Answer::kNo : Answer::kCannotTell;
  }
  return Answer::kYes;
}

}  // namespace vellora::host
