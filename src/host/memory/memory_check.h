// Asking the system whether host memory can be touched, before touching it:
// a wrong handle from a script must give a status code, not an access
// violation in the game.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vellora::host {

enum class Access { kRead, kReadWrite };

// What the system says about a range. kUnknown: it could not be asked (no
// file descriptor left for the pipe, a sandbox that refuses every way), a
// failure of resources that says nothing about the memory.
enum class Verdict { kAccessible, kInaccessible, kUnknown };

// Address ranges proven accessible during one export call (whole regions on
// Windows, the pages probed on Linux), so that records and buffers that
// share them are asked about once per call. Valid only within the call:
// memory may be unmapped between calls.
class ProvenRanges {
 public:
  // Whether [first, last] lies within one range proven with `access` (a
  // range proven for writing serves reading too).
  bool cover(uintptr_t first, uintptr_t last, Access access) const;

  // Adds [first, last] with its access; once the list is full, further
  // proofs are simply not kept.
  void remember(uintptr_t first, uintptr_t last, Access access);

 private:
  struct Range {
    uintptr_t first;  // both ends inclusive, so a range may end at the top
    uintptr_t last;   // of the address space
    Access access;
  };
  static constexpr int kCapacity = 8;
  Range ranges_[kCapacity];
  int count_ = 0;
};

#if !defined(_WIN32)
// The pipe the Linux page probes copy through (pipe_probe.cpp): opened by
// the first probe of the call that needs it and closed when the call ends,
// so that a call costs one pipe, not one per probe, and two descriptors at
// most.
class ProbePipe {
 public:
  ProbePipe() = default;
  ~ProbePipe() { close_ends(); }
  ProbePipe(const ProbePipe&) = delete;
  ProbePipe& operator=(const ProbePipe&) = delete;

  // Whether the pipe is open, opening it first if need be.
  bool open();
  int read_end() const { return ends_[0]; }
  int write_end() const { return ends_[1]; }
  // Closes a pipe that may still hold bytes, after a probe that stopped
  // short: the next probe opens a fresh one.
  void discard() { close_ends(); }

 private:
  void close_ends();
  int ends_[2] = {-1, -1};
};
#endif

// What one export call holds for its memory checks. CallResolution
// (host/resolve.h) owns the one of each call.
struct CallMemory {
  ProvenRanges proven;
#if !defined(_WIN32)
  ProbePipe pipe;
#endif
};

// Whether every byte of [address, address + size) is mapped with the given
// access. Never faults itself. A range that wraps past the top of the
// address space is kInaccessible. Ranges in `memory.proven` are not asked
// about again, and what this check proves is added to them.
Verdict check_access(uintptr_t address, size_t size, Access access, CallMemory& memory);

}  // namespace vellora::host
