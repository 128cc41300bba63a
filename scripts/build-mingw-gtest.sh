#!/usr/bin/env bash
# Cross-builds static GoogleTest/GoogleMock for i686-w64-mingw32 into a prefix,
# so the win32 unit tests can link against them.
# Usage: build-mingw-gtest.sh [PREFIX]   (default: $ROOT/.deps/mingw)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PREFIX="${1:-$ROOT/.deps/mingw}"
SRC=/usr/src/googletest

if [ -f "$PREFIX/lib/libgtest.a" ] && [ -f "$PREFIX/lib/libgmock_main.a" ] \
   && [ -f "$PREFIX/lib/cmake/GTest/GTestConfig.cmake" ]; then
  exit 0
fi

[ -f "$SRC/CMakeLists.txt" ] || { echo "missing $SRC (apt-get install googletest)" >&2; exit 1; }

mkdir -p "$PREFIX"
PREFIX="$(cd "$PREFIX" && pwd)"
BUILD="$(dirname "$PREFIX")/build-mingw-gtest"
rm -rf "$BUILD"

# The -posix compilers are required: the win32-threads variant has no std::mutex.
cmake -S "$SRC" -B "$BUILD" -G Ninja --no-warn-unused-cli \
  -DCMAKE_SYSTEM_NAME=Windows \
  -DCMAKE_SYSTEM_PROCESSOR=i686 \
  -DCMAKE_C_COMPILER=i686-w64-mingw32-gcc-posix \
  -DCMAKE_CXX_COMPILER=i686-w64-mingw32-g++-posix \
  -DCMAKE_RC_COMPILER=i686-w64-mingw32-windres \
  -DCMAKE_FIND_ROOT_PATH=/usr/i686-w64-mingw32 \
  -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER \
  -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY \
  -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$PREFIX" \
  -DBUILD_SHARED_LIBS=OFF \
  -DBUILD_GMOCK=ON \
  -DINSTALL_GTEST=ON \
  -Dgtest_disable_pthreads=OFF
cmake --build "$BUILD"
cmake --install "$BUILD"
rm -rf "$BUILD"
