// Proving pages by copying a byte of each through a pipe: the way that
// needs no more than the calls every process has.
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

#include "host/memory/linux_page_probes.h"

namespace vellora::host {

bool ProbePipe::open() {
  if (ends_[0] >= 0) return true;
  if (pipe2(ends_, O_CLOEXEC | O_NONBLOCK) == 0) return true;
  ends_[0] = ends_[1] = -1;
  return false;
}

void ProbePipe::close_ends() {
  for (int& end : ends_) {
    if (end >= 0) close(end);
    end = -1;
  }
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
//
// Putting a byte back is a write that races with any other writer of that
// byte, and would lose its write. It is safe because a range is proven for
// writing only where it is the bitmap's own memory that the operation is
// about to write itself (rows of its pixels, the header fields and the
// pixels pointer that a resize writes, the first words of the buffer that a
// resize hands to free, which free overwrites), and the caller guarantees
// that no other thread uses the bitmap during the call. Memory that belongs
// to anyone else (the heap's words before the buffer) is proven for reading
// only.
//
// Each batch is drained before the next, so a pipe that answered yes is
// empty again; one that stopped short is discarded.
//
// The copies are made by the system calls themselves, not through the C
// library's functions, which a sanitizer replaces with its own that check
// each byte as the program's access: the heap's words before a buffer are
// not the program's to read, and only the kernel is asked about them.
Answer copy_pages_through_pipe(ProbePipe& pipe, uintptr_t first, uintptr_t last, Access access) {
  constexpr int kPagesPerCall = 1024;  // IOV_MAX, and well within a pipe's 64 KiB
  if (!pipe.open()) return Answer::kCannotTell;
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
        const long done = back ? syscall(SYS_readv, pipe.read_end(), bytes, count)
                               : syscall(SYS_writev, pipe.write_end(), bytes, count);
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
    } else if (syscall(SYS_read, pipe.read_end(), drain, count) != count) {
      answer = Answer::kCannotTell;
    }
  }
  if (answer != Answer::kYes) pipe.discard();
  return answer;
}

}  // namespace vellora::host
