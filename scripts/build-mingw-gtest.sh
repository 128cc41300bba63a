#!/usr/bin/env bash
# Cross-builds static GoogleTest/GoogleMock for i686-w64-mingw32 into a prefix,
# so the win32 unit tests can link against them.
# Usage: build-mingw-gtest.sh [PREFIX]   (default: $ROOT/.deps/mingw)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PREFIX="${1:-$ROOT/.deps/mingw}"
SRC=/usr/src/googletest
source "$ROOT/scripts/mingw-deps.sh"

if [ -f "$PREFIX/lib/libgtest.a" ] && [ -f "$PREFIX/lib/libgmock_main.a" ] \
   && [ -f "$PREFIX/lib/cmake/GTest/GTestConfig.cmake" ]; then
  exit 0
fi

[ -f "$SRC/CMakeLists.txt" ] || { echo "missing $SRC (apt-get install googletest)" >&2; exit 1; }

mkdir -p "$PREFIX"
PREFIX="$(cd "$PREFIX" && pwd)"
BUILD="$(dirname "$PREFIX")/build-mingw-gtest"
rm -rf "$BUILD"

mingw_cmake_install "$SRC" "$BUILD" "$PREFIX" \
  -DBUILD_GMOCK=ON \
  -DINSTALL_GTEST=ON \
  -Dgtest_disable_pthreads=OFF
rm -rf "$BUILD"
