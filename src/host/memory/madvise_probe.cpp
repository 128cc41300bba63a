// Proving pages by having the kernel fault them in: madvise's populate
// advice, and whether this process may trust it.
#include <sys/mman.h>

#include <atomic>
#include <cerrno>

#include "host/memory/linux_page_probes.h"

namespace vellora::host {

namespace {

// Whether [start, start + length) holds a hole (an address no mapping
// covers): mincore says so without faulting a page in and without a file
// descriptor. kCannotTell where mincore itself fails otherwise. It wants one
// byte per page, so it is asked a batch of pages at a time.
Answer holds_a_hole(uintptr_t start, size_t length) {
  constexpr size_t kPagesPerCall = 1024;
  unsigned char resident[kPagesPerCall];
  while (length > 0) {
    const size_t batch = length < kPagesPerCall * kPageSize ? length : kPagesPerCall * kPageSize;
    int attempt = 0;
    while (mincore(reinterpret_cast<void*>(start), batch, resident) != 0) {
      if (errno == ENOMEM) return Answer::kYes;
      if (!worth_retrying(errno) || ++attempt == kAttempts) return Answer::kCannotTell;
    }
    start += batch;
    length -= batch;
  }
  return Answer::kNo;
}

enum Trust : int { kUndecided, kTrusted, kNotTrusted };

std::atomic<int> g_madvise_trust{kUndecided};

Trust test_madvise() {
  void* page = mmap(nullptr, kPageSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (page == MAP_FAILED) return kUndecided;  // no page to test with: ask again later
  Trust trust = kUndecided;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (madvise(page, kPageSize, MADV_POPULATE_READ) == 0) {
      trust = kNotTrusted;  // it populated a page that no access may touch
      break;
    }
    if (worth_retrying(errno)) continue;
    // Refused: EINVAL (no access to the page, or a kernel before 5.14 that
    // knows no such advice, whose every later answer is EINVAL too), EPERM
    // or ENOSYS (a sandbox, likewise). ENOMEM: the kernel was short of
    // memory, which decides nothing.
    trust = errno == ENOMEM ? kUndecided : kTrusted;
    break;
  }
  munmap(page, kPageSize);
  return trust;
}

}  // namespace

bool madvise_is_trusted() {
  int trust = g_madvise_trust.load(std::memory_order_relaxed);
  if (trust == kUndecided) {
    trust = test_madvise();
    if (trust != kUndecided) g_madvise_trust.store(trust, std::memory_order_relaxed);
  }
  return trust == kTrusted;
}

Answer populate_pages(uintptr_t first, uintptr_t last, Access access) {
  // madvise wants the start of a page and takes the length up to whole pages.
  // The range does not wrap (check_access refuses that), so neither can the
  // length, but the whole 32-bit space would be a length of 0.
  const uintptr_t start = first & ~(kPageSize - 1);
  const size_t length = last - start + 1;
  if (length == 0) return Answer::kCannotTell;
  const int advice = access == Access::kReadWrite ? MADV_POPULATE_WRITE : MADV_POPULATE_READ;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (madvise(reinterpret_cast<void*>(start), length, advice) == 0) return Answer::kYes;
    const int error = errno;
    if (worth_retrying(error)) continue;
    // EFAULT: a touch would have raised SIGSEGV or SIGBUS. ENOMEM: a hole,
    // or a page the kernel had no memory for; mincore tells which. Anything
    // else cannot be told from "mapped but not so": EINVAL is a page without
    // the access (or one the kernel does not populate, such as device
    // memory) or a kernel older than 5.14, EPERM and ENOSYS a sandbox. The
    // pipe tells.
    if (error == EFAULT || error == EHWPOISON) return Answer::kNo;
    if (error == ENOMEM) {
      return holds_a_hole(start, length) == Answer::kYes ? Answer::kNo : Answer::kCannotTell;
    }
    return Answer::kCannotTell;
  }
  return Answer::kCannotTell;
}

}  // namespace vellora::host
