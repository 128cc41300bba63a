// The game window lookup: which window of which process it finds. Built for
// Windows only: elsewhere there is no window system to look in.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "vellora.h"

namespace {

// A registered window class with some top-level windows of it, all of this
// process; everything is destroyed and unregistered again at the end.
class WindowsOfClass {
 public:
  explicit WindowsOfClass(const wchar_t* name) : name_(name) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = name;
    registered_ = RegisterClassW(&window_class) != 0;
  }
  ~WindowsOfClass() {
    for (HWND window : windows_) DestroyWindow(window);
    if (registered_) UnregisterClassW(name_, GetModuleHandleW(nullptr));
  }
  bool registered() const { return registered_; }

  HWND create() {
    HWND window = CreateWindowExW(0, name_, L"vellora test", WS_OVERLAPPEDWINDOW, 0, 0, 64, 48,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window != nullptr) windows_.push_back(window);
    return window;
  }
  void destroy(HWND window) {
    DestroyWindow(window);
    windows_.erase(std::find(windows_.begin(), windows_.end(), window));
  }

 private:
  const wchar_t* name_;
  bool registered_ = false;
  std::vector<HWND> windows_;
};

BOOL CALLBACK collect_window(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

// The top-level windows in the order the window system enumerates them.
std::vector<HWND> enumeration_order() {
  std::vector<HWND> order;
  EnumWindows(collect_window, reinterpret_cast<LPARAM>(&order));
  return order;
}

int32_t as_result(HWND window) { return static_cast<int32_t>(reinterpret_cast<uintptr_t>(window)); }

TEST(GetGameHWND, NoGameWindowGivesZero) { EXPECT_EQ(GetGameHWND(), 0); }

TEST(GetGameHWND, FirstEnumeratedGameWindowWins) {
  WindowsOfClass game(L"RGSS Player");
  ASSERT_TRUE(game.registered());
  WindowsOfClass other(L"Another Window");
  ASSERT_TRUE(other.registered());
  ASSERT_NE(other.create(), nullptr);
  HWND first = game.create();
  HWND second = game.create();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  ASSERT_NE(other.create(), nullptr);

  // Which of the two the window system lists first is its own business: ask it.
  const std::vector<HWND> order = enumeration_order();
  const auto at_first = std::find(order.begin(), order.end(), first);
  const auto at_second = std::find(order.begin(), order.end(), second);
  ASSERT_NE(at_first, order.end());
  ASSERT_NE(at_second, order.end());
  HWND expected = at_first < at_second ? first : second;
  HWND later = at_first < at_second ? second : first;
  EXPECT_EQ(GetGameHWND(), as_result(expected));

  game.destroy(expected);
  EXPECT_EQ(GetGameHWND(), as_result(later));
  game.destroy(later);
  EXPECT_EQ(GetGameHWND(), 0);
}

TEST(GetGameHWND, ClassNamesMustMatchExactly) {
  for (const wchar_t* name : {L"rgss player", L"RGSS PLAYER", L"RGSS Player ", L"RGSS Playe",
                              L"RGSS Player2", L" RGSS Player"}) {
    WindowsOfClass near_miss(name);
    ASSERT_TRUE(near_miss.registered());
    ASSERT_NE(near_miss.create(), nullptr);
    EXPECT_EQ(GetGameHWND(), 0);
  }
}

// A game window of another process: this program run again as a child that
// holds one open (the test below, selected by the environment variable).
constexpr wchar_t kChildVariable[] = L"VELLORA_GAME_WINDOW_CHILD";

TEST(GetGameHWND, OtherProcessesWindowsAreNotFound) {
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(ready, nullptr);
  ASSERT_NE(done, nullptr);
  SetHandleInformation(ready, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  SetHandleInformation(done, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);

  const std::wstring handles = std::to_wstring(reinterpret_cast<uintptr_t>(ready)) + L" " +
                               std::to_wstring(reinterpret_cast<uintptr_t>(done));
  SetEnvironmentVariableW(kChildVariable, handles.c_str());
  wchar_t program[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring command =
      std::wstring(L"\"") + program + L"\" --gtest_filter=GameWindowChild.HoldsAGameWindowOpen";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &child);
  SetEnvironmentVariableW(kChildVariable, nullptr);
  ASSERT_TRUE(started);

  // Ready, or the child ended without getting there.
  const HANDLE awaited[2] = {ready, child.hProcess};
  EXPECT_EQ(WaitForMultipleObjects(2, awaited, FALSE, 60000), WAIT_OBJECT_0);
  // The child's window is there to be found: this test would prove nothing
  // if it were not.
  int children_windows = 0;
  for (HWND window : enumeration_order()) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (owner == child.dwProcessId && std::wstring(name) == L"RGSS Player") ++children_windows;
  }
  EXPECT_EQ(children_windows, 1);
  EXPECT_EQ(GetGameHWND(), 0);

  SetEvent(done);
  EXPECT_EQ(WaitForSingleObject(child.hProcess, 60000), WAIT_OBJECT_0);
  DWORD exit_code = 1;
  GetExitCodeProcess(child.hProcess, &exit_code);
  EXPECT_EQ(exit_code, 0u);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  CloseHandle(ready);
  CloseHandle(done);
}

TEST(GameWindowChild, HoldsAGameWindowOpen) {
  wchar_t handles[64] = {};
  if (GetEnvironmentVariableW(kChildVariable, handles, 64) == 0) {
    GTEST_SKIP() << "runs only as the child of OtherProcessesWindowsAreNotFound";
  }
  uintptr_t ready = 0, done = 0;
  ASSERT_EQ(swscanf(handles, L"%u %u", &ready, &done), 2);
  WindowsOfClass game(L"RGSS Player");
  ASSERT_TRUE(game.registered());
  HWND window = game.create();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetGameHWND(), as_result(window));  // its own window it does find
  SetEvent(reinterpret_cast<HANDLE>(ready));
  EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(done), 60000), WAIT_OBJECT_0);
}

}  // namespace
