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

}  // namespace vellora::host
