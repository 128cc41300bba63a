// Proving memory page by page: every "yes" of the Linux memory check comes
// from here.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

#include "host/linux_memory_ways.h"

namespace vellora::host {

Answer fault_in_pages(uintptr_t first, uintptr_t last, Access access) {
  // madvise wants the start of a page and takes the length up to whole pages.
  // The range does not wrap (is_accessible refuses that), so neither can the
  // length, but the whole 32-bit space would be a length of 0.
  const uintptr_t start = first & ~(kPageSize - 1);
  const size_t length = last - start + 1;
  if (length == 0) return Answer::kCannotTell;
  const int advice = access == Access::kReadWrite ? MADV_POPULATE_WRITE : MADV_POPULATE_READ;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (madvise(reinterpret_cast<void*>(start), length, advice) == 0) return Answer::kYes;
    if (worth_retrying(errno)) continue;
    // EFAULT: a touch would have raised SIGSEGV or SIGBUS. Anything else
    // cannot be told from "mapped but not so": ENOMEM is a hole or a page the
    // kernel had no memory for, EINVAL a page without the access or a kernel
    // older than 5.14, EPERM and ENOSYS a sandbox. The next way tells.
    return errno == EFAULT || errno == EHWPOISON ? Answer::kNo : Answer::kCannotTell;
  }
  return Answer::kCannotTell;
}

bool madvise_tells_the_truth() {
  // The answer cannot change while the process runs; computed on first use.
  static const bool truthful = [] {
    void* page = mmap(nullptr, kPageSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) return false;
    const bool refused = madvise(page, kPageSize, MADV_POPULATE_READ) != 0;
    munmap(page, kPageSize);
    return refused;
  }();
  return truthful;
}

// writev copies one byte of each page into the pipe, reading it with
// copy_from_user as this thread; for write access readv then copies each
// byte back to where it came from, writing it with copy_to_user. A page that
// a touch could not read (or write) for any reason (unmapped, protected, a
// guard region, a file page past the end of its file, a protection key this
// thread may not use) stops the copy there with EFAULT instead of a signal,
// and the count says which page it was. process_vm_readv would not do: it
// reaches pages as another process would, and x86 skips protection keys for
// that. A user-mode emulator carries these calls out as the kernel does.
// Putting each byte back changes nothing: no one else writes the bitmap
// during the call (the caller's guarantee). The pipe is private to the call
// and holds a whole batch, so no call blocks.
Answer pipe_probe_pages(uintptr_t first, uintptr_t last, Access access) {
  constexpr int kPagesPerCall = 1024;  // IOV_MAX, and well within a pipe's 64 KiB
  int pipe_ends[2];
  if (pipe2(pipe_ends, O_CLOEXEC | O_NONBLOCK) != 0) return Answer::kCannotTell;
  iovec bytes[kPagesPerCall];
  uint8_t drain[kPagesPerCall];
  Answer answer = Answer::kYes;
  uintptr_t probe = first;  // the byte of the next page to probe
  for (bool more = true; more && answer == Answer::kYes;) {
    int count = 0;
    while (more && count < kPagesPerCall) {
      bytes[count++] = iovec{reinterpret_cast<void*>(probe), 1};
      const uintptr_t next_page = (probe & ~(kPageSize - 1)) + kPageSize;
      more = next_page != 0 && next_page <= last;
      probe = next_page;
    }
    const auto copy = [&](bool back) {
      for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const ssize_t done =
            back ? readv(pipe_ends[0], bytes, count) : writev(pipe_ends[1], bytes, count);
        if (done == count) return Answer::kYes;
        if (done >= 0) return Answer::kNo;  // the page after the last byte copied
        if (worth_retrying(errno)) continue;
        // EPERM and ENOSYS: a sandbox.
        return errno == EFAULT ? Answer::kNo : Answer::kCannotTell;
      }
      return Answer::kCannotTell;
    };
    answer = copy(false);
    if (answer != Answer::kYes) break;
    if (access == Access::kReadWrite) {
      answer = copy(true);
    } else if (read(pipe_ends[0], drain, static_cast<size_t>(count)) != count) {
      answer = Answer::kCannotTell;
    }
  }
  close(pipe_ends[0]);
  close(pipe_ends[1]);
  return answer;
}

}  // namespace vellora::host
