// The ways Linux can be asked whether memory can be touched. Each one
// answers, or says that it cannot tell (the call refused by a sandbox,
// unknown to an older kernel, failed for want of kernel memory), and then the
// next is asked; system_memory_linux.cpp decides the order.
#pragma once

#include <cerrno>
#include <cstdint>

#include "host/memory_probe.h"

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
// Only where madvise_tells_the_truth().
Answer fault_in_pages(uintptr_t first, uintptr_t last, Access access);

// Whether madvise refuses to populate a page that no access may touch, as
// the kernel does. A user-mode emulator (qemu-user) answers success whatever
// the memory, and then madvise proves nothing. Asked once per process.
bool madvise_tells_the_truth();

// One byte of every page of [first, last] copied into a pipe and, for write
// access, back where it came from: the kernel's ordinary accesses as this
// thread, which stop short where a touch would fault.
Answer pipe_probe_pages(uintptr_t first, uintptr_t last, Access access);

}  // namespace vellora::host
