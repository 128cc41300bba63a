# i386 Linux without SSE2: only the plain kernels are built, and every test
# must pass on them alone.
include(${CMAKE_CURRENT_LIST_DIR}/linux32.cmake)
set(CMAKE_C_FLAGS_INIT "-m32 -mno-sse2 -mfpmath=387")
set(CMAKE_CXX_FLAGS_INIT "-m32 -mno-sse2 -mfpmath=387")
