#include "png/open_output.h"

#ifdef _WIN32
#include <share.h>
#include <windows.h>
#endif

namespace vellora {

size_t utf16_units(const char* utf8) {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8);
  size_t units = 1;  // the terminating zero
  while (*s != 0) {
    const unsigned lead = *s++;
    if (lead < 0x80) {
      ++units;
      continue;
    }
    // A well-formed sequence: its trail bytes, and the range its second byte
    // must lie in (narrower after E0, ED, F0 and F4, which would otherwise
    // encode overlong forms, surrogates or code points above U+10FFFF).
    int trail = 0;
    unsigned low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      trail = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      trail = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      trail = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    // Take trail bytes while they fit; a sequence cut short is one U+FFFD.
    // The terminating zero never fits, so the walk cannot pass it.
    int taken = 0;
    while (taken < trail && *s >= low && *s <= high) {
      ++s;
      ++taken;
      low = 0x80;
      high = 0xBF;
    }
    // Code points above U+FFFF take a surrogate pair.
    units += (trail == 3 && taken == 3) ? 2 : 1;
  }
  return units;
}

#ifdef _WIN32

std::FILE* open_output(const char* path) {
  if (path == nullptr) return nullptr;
  // The first call yields the size with the terminator; 0 means no conversion.
  const int units = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
  if (units <= 0 || units > kMaxPathUnits) return nullptr;
  wchar_t wide_path[kMaxPathUnits];
  if (MultiByteToWideChar(CP_UTF8, 0, path, -1, wide_path, units) != units) return nullptr;
  // _wfopen_s would leave the file shared on msvcrt builds that open it with
  // _SH_DENYNO (Wine's does); _SH_DENYRW keeps every other opener out.
  return _wfsopen(wide_path, L"wb", _SH_DENYRW);
}

#else

std::FILE* open_output(const char* path) {
  if (path == nullptr) return nullptr;
  // The same bound as on Windows, so that a path valid on one target is
  // valid on the other. The name itself is opened as the bytes it is.
  if (utf16_units(path) > static_cast<size_t>(kMaxPathUnits)) return nullptr;
  return std::fopen(path, "wb");
}

#endif

}  // namespace vellora
