// Asking the system whether host memory can be touched, before touching it:
// a wrong handle from a script must give a status code, not an access
// violation in the game.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vellora::host {

enum class Access { kRead, kReadWrite };

// Whether every byte of [address, address + size) is mapped with the given
// access. Never faults itself; a range that wraps past the top of the
// address space is refused. Where the system refuses to answer at all (a
// sandbox that forbids the probe), the range is taken as accessible, which
// is what the library did before it could ask.
bool is_accessible(uintptr_t address, size_t size, Access access);

}  // namespace vellora::host
