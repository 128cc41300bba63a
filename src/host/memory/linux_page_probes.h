// The two ways Linux can be asked, page by page, whether memory can be
// touched. Each one answers, or says that it cannot tell (the call refused
// by a sandbox, unknown to an older kernel, short of a resource), and then
// the next is asked; system_memory_linux.cpp decides the order and the
// stages.
#pragma once

#include <cerrno>
#include <cstdint>

#include "host/memory/memory_check.h"

namespace vellora::host {

enum class Answer { kNo, kYes, kCannotTell };

inline constexpr uintptr_t kPageSize = 4096;  // the smallest page any x86 system maps

// A call interrupted by a signal, or short of a kernel resource for a moment,
// is made again; this many times in a row and the way gives up.
inline constexpr int kAttempts = 4;
inline bool worth_retrying(int error) { return error == EINTR || error == EAGAIN; }

// madvise(MADV_POPULATE_READ / _WRITE) over the pages of [first, last]: the
// kernel faults each page in for the access as a touch would, and returns an
// error where a touch would fault, without a signal. Linux 5.14 and later.
// Asked only where madvise_is_trusted(). (madvise_probe.cpp)
Answer populate_pages(uintptr_t first, uintptr_t last, Access access);

// Whether madvise refuses to populate a page that no access may touch, as
// the kernel does. A user-mode emulator (qemu-user) answers success whatever
// the memory, and then madvise proves nothing. Decided once per process, by
// a definite answer only: while the test cannot be made (its own page cannot
// be had), the answer is no, and the next call asks again.
bool madvise_is_trusted();

// One byte of every page of [first, last] copied into the call's pipe and,
// for write access, back where it came from: the kernel's ordinary accesses
// as this thread, which stop short where a touch would fault. kCannotTell
// when the pipe cannot be had. (pipe_probe.cpp)
Answer copy_pages_through_pipe(ProbePipe& pipe, uintptr_t first, uintptr_t last, Access access);

// A range of more than kStagedPages pages is asked about in stages, so that
// a refusal costs little and commits no memory: its last page first (a
// header that claims more than the buffer holds usually runs into a hole
// there), then the whole range for reading (which maps untouched anonymous
// pages to the shared zero page and copies nothing), and only then, for
// write access, the last page and the whole range for writing (which gives
// each page its own frame, the memory the operation is about to write
// anyway). A smaller range is asked once, with the access needed: a refusal
// there commits 256 KiB at most, where the stages would cost a sound one
// three more system calls, which would double the check of a sprite's rows.
// ask(from, last, access) asks one way about [from, last]; the first answer
// other than kYes ends the stages.
inline constexpr uintptr_t kStagedPages = 64;

template <typename Ask>
Answer ask_in_stages(uintptr_t first, uintptr_t last, Access access, Ask&& ask) {
  const uintptr_t last_page = last & ~(kPageSize - 1);
  if (last_page - (first & ~(kPageSize - 1)) < kStagedPages * kPageSize) {
    return ask(first, last, access);
  }
  Answer answer = ask(last_page, last, Access::kRead);
  if (answer == Answer::kYes) answer = ask(first, last, Access::kRead);
  if (access == Access::kRead) return answer;
  if (answer == Answer::kYes) answer = ask(last_page, last, Access::kReadWrite);
  if (answer == Answer::kYes) answer = ask(first, last, Access::kReadWrite);
  return answer;
}

}  // namespace vellora::host
