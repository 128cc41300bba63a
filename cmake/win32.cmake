# i686 Windows: the shipped DLL, cross-built with mingw-w64 and tested under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
# Which of mingw-w64's two compilers. The win32-threads one builds what ships
# (the DLL and vellora.exe): its runtime locks with Windows' own primitives,
# so that nothing of winpthreads, which imports the functions that suspend
# and rewrite other threads, is linked in. The posix-threads one builds the
# test programs (a second tree, see tests/CMakeLists.txt) and the benchmarks:
# GoogleTest and Google Benchmark need its std::mutex.
set(VELLORA_MINGW_THREADS win32 CACHE STRING "mingw-w64 thread model: win32 (what ships) or posix (GoogleTest, Google Benchmark)")
set_property(CACHE VELLORA_MINGW_THREADS PROPERTY STRINGS win32 posix)
if(NOT VELLORA_MINGW_THREADS MATCHES "^(win32|posix)$")
  message(FATAL_ERROR "VELLORA_MINGW_THREADS is win32 or posix, not '${VELLORA_MINGW_THREADS}'")
endif()
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-${VELLORA_MINGW_THREADS})
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-${VELLORA_MINGW_THREADS})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
# A game's scripting bridge calls the exports with the stack aligned to 4
# bytes only, as Windows promises: every function that keeps 16- or 32-byte
# vectors on the stack (the AVX2 kernels among them) realigns it itself.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
# Static runtime: the DLL and the test programs import only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Normalized: the first configuration would otherwise see the include path
# with "cmake/.." and every later one without, changing every compile command
# and rebuilding the DLL that the main job had shipped from this tree.
get_filename_component(vellora_deps_prefix "${CMAKE_CURRENT_LIST_DIR}/../.deps/mingw" ABSOLUTE)
set(VELLORA_DEPS_PREFIX "${vellora_deps_prefix}" CACHE PATH "Cross-built Windows dependencies")
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32 "${VELLORA_DEPS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine through this wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
