// The platform's half of the memory check: how each system is asked about a
// range. is_accessible settles what both platforms share (empty ranges,
// ranges that wrap, ranges proven earlier in the call) before it asks.
#pragma once

#include <cstdint>

#include "host/memory_probe.h"

namespace vellora::host {

// Whether every byte of [first, last] (last >= first) is mapped with the
// given access; false too when the system cannot tell. Whatever it proves on
// the way (whole regions where the system describes regions, whole pages
// where it probes pages) goes into `proven`.
bool system_allows(uintptr_t first, uintptr_t last, Access access, ProvenRanges& proven);

// Adds [first, last] with its access to what the call has proven; once the
// list is full, further proofs are simply not kept.
void remember(ProvenRanges& proven, uintptr_t first, uintptr_t last, Access access);

}  // namespace vellora::host
