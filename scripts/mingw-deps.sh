# What the scripts that cross-build a Windows dependency share; sourced, not
# run. Each builds one static library for i686-w64-mingw32 into a prefix.

source "$(dirname "${BASH_SOURCE[0]}")/debian-source.sh"

MINGW=/usr/i686-w64-mingw32

# mingw_cmake_install SOURCE BUILD PREFIX [-DNAME=VALUE ...]: configures SOURCE
# for i686 Windows with the mingw -posix compilers (GoogleTest needs their
# std::mutex), a static Release build installed into PREFIX, then builds and
# installs it.
mingw_cmake_install() {
  local source="$1" build="$2" prefix="$3"
  shift 3
  cmake -S "$source" -B "$build" -G Ninja --no-warn-unused-cli \
    -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_SYSTEM_PROCESSOR=i686 \
    -DCMAKE_C_COMPILER=i686-w64-mingw32-gcc-posix \
    -DCMAKE_CXX_COMPILER=i686-w64-mingw32-g++-posix \
    -DCMAKE_RC_COMPILER=i686-w64-mingw32-windres \
    -DCMAKE_FIND_ROOT_PATH="$MINGW" \
    -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER \
    -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY \
    -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF \
    "$@"
  cmake --build "$build"
  cmake --install "$build"
}
