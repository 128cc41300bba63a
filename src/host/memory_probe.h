// Asking the system whether host memory can be touched, before touching it:
// a wrong handle from a script must give a status code, not an access
// violation in the game.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vellora::host {

enum class Access { kRead, kReadWrite };

// Address ranges proven accessible during one export call (whole regions
// on Windows, the pages probed on Linux), so that records and buffers that
// share them are asked about once per call. Valid only within the call:
// memory may be unmapped between calls. CallResolution (host/resolve.h)
// owns the one of each call.
struct ProvenRanges {
  struct Range {
    uintptr_t first;  // both ends inclusive, so a range may end at the top
    uintptr_t last;   // of the address space
    Access access;
  };
  static constexpr int kCapacity = 8;
  Range ranges[kCapacity];
  int count = 0;
};

// Whether every byte of [address, address + size) is mapped with the given
// access. Never faults itself; a range that wraps past the top of the
// address space is refused, and so is a range about which the system gives
// no answer (a sandbox that forbids every way of asking): a refused bitmap
// costs a status code, a wrong "yes" a crash. Ranges in `proven` are not
// asked about again, and what this check proves is added to them.
bool is_accessible(uintptr_t address, size_t size, Access access, ProvenRanges& proven);

}  // namespace vellora::host
