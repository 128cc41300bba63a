// Finding the host's main window.
#pragma once

#include <cstdint>

namespace vellora {

// The first top-level window, in the window system's enumeration order, that
// belongs to the calling process and whose class name is "RGSS Player"
// (as the system's default locale compares strings, case-sensitive); 0 when
// there is none. Without a window system (Linux) there is never one.
int32_t find_game_window();

}  // namespace vellora
