# i386 Linux built with clang: the configuration that carries libFuzzer.
include(${CMAKE_CURRENT_LIST_DIR}/linux32.cmake)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
