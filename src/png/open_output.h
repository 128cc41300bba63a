// The PNG file's output stream: the one place that knows how each platform
// names and opens files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace vellora {

// UTF-16 units a path may take, its terminating zero included.
inline constexpr int32_t kMaxPathUnits = 1024;

// Opens the zero-terminated UTF-8 path for writing: created when missing,
// truncated when present, binary, and (where the platform offers it) shared
// with no other opener while open. Returns null, having touched nothing, when
// the path is null, does not convert, needs more than kMaxPathUnits UTF-16
// units, or cannot be opened.
std::FILE* open_output(const char* path);

// UTF-16 units that the UTF-8 string needs, its terminating zero included.
// Each maximal ill-formed subsequence counts as one unit (one U+FFFD), as a
// UTF-8 to UTF-16 conversion without strict checking produces.
size_t utf16_units(const char* utf8);

}  // namespace vellora
