// The platform's half of the memory check: how each system is asked about a
// range. check_access settles what both platforms share (empty ranges,
// ranges that wrap, ranges proven earlier in the call) before it asks.
#pragma once

#include <cstdint>

#include "host/memory/memory_check.h"

namespace vellora::host {

// Whether every byte of [first, last] (last >= first) is mapped with the
// given access, or kUnknown where the system could not be asked. Whatever
// it proves on the way (whole regions where the system describes regions,
// whole pages where it probes pages) goes into `memory.proven`.
Verdict system_check(uintptr_t first, uintptr_t last, Access access, CallMemory& memory);

}  // namespace vellora::host
