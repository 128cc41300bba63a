# i386 Linux: the development target, built with the host g++ in 32-bit mode.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
# The i386 libraries set-up builds from Debian's sources (scripts/build-i386-deps.sh):
# zlib, libpng, GoogleTest, Google Benchmark and libseccomp, static archives.
# They come before the system's, so that no i386 package of the archive is needed.
get_filename_component(vellora_i386_prefix "${CMAKE_CURRENT_LIST_DIR}/../.deps/i386" ABSOLUTE)
set(VELLORA_I386_PREFIX "${vellora_i386_prefix}" CACHE PATH "i386 libraries built by set-up")
list(PREPEND CMAKE_PREFIX_PATH "${VELLORA_I386_PREFIX}")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(FIND_LIBRARY_USE_LIB64_PATHS OFF)
