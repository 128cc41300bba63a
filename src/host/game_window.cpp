#include "host/game_window.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace vellora {

#if defined(_WIN32)

namespace {

struct WindowSearch {
  HWND found;
  DWORD process;
};

static_assert(LOCALE_SYSTEM_DEFAULT == 0x0800, "the system default locale");

// Class names are compared through their first 31 units at most.
constexpr int kClassNameUnits = 32;

BOOL CALLBACK visit_window(HWND window, LPARAM search_address) {
  auto* search = reinterpret_cast<WindowSearch*>(search_address);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->process) return TRUE;

  WCHAR class_name[kClassNameUnits] = {};
  GetClassNameW(window, class_name, kClassNameUnits);
  // A linguistic comparison in the system default locale, with no flags: case
  // sensitive, but not byte for byte (characters the locale gives no weight,
  // a soft hyphen say, do not count). For the plain ASCII name sought that
  // rarely matters.
  if (CompareStringW(LOCALE_SYSTEM_DEFAULT, 0, class_name, -1, L"RGSS Player", -1) != CSTR_EQUAL) {
    return TRUE;
  }
  search->found = window;
  return FALSE;  // the first match wins
}

}  // namespace

int32_t find_game_window() {
  WindowSearch search{nullptr, GetCurrentProcessId()};
  // A failed enumeration leaves found null, which is the answer then too.
  EnumWindows(visit_window, reinterpret_cast<LPARAM>(&search));
  return static_cast<int32_t>(reinterpret_cast<uintptr_t>(search.found));
}

#else

int32_t find_game_window() { return 0; }

#endif

}  // namespace vellora
