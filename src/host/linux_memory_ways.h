// The ways Linux can be asked whether memory is mapped. Each one answers, or
// says that it cannot tell (the call refused by a sandbox, unknown to an
// older kernel, failed for want of kernel memory), and then the next is
// asked; system_memory_linux.cpp decides the order.
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
Answer fault_in_pages(uintptr_t first, uintptr_t last, Access access);

// process_vm_readv of one byte of every page of [first, last] from this
// process, which reports an unmapped page as a short count instead of a
// fault. Linux 3.2 and later.
Answer copy_probe_pages(uintptr_t first, uintptr_t last, Access access);

// The kernel's list of this process's mappings, /proc/self/maps: asked
// mapping by mapping through its PROCMAP_QUERY ioctl (Linux 6.11 and later),
// else read as text. Every mapping found to cover part of the range with the
// access goes into `proven` whole.
Answer mapping_list_allows(uintptr_t first, uintptr_t last, Access access, ProvenRanges& proven);

}  // namespace vellora::host
