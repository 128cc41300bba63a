#!/usr/bin/env bash
# Cross-builds a static Google Benchmark for i686-w64-mingw32 into a prefix,
# from Debian's benchmark source package, so that the benchmarks can run as
# win32 programs under Wine (scripts/bench.sh --win32).
# Usage: build-mingw-benchmark.sh [PREFIX]   (default: $ROOT/.deps/mingw)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PREFIX="${1:-$ROOT/.deps/mingw}"
source "$ROOT/scripts/mingw-deps.sh"

if [ -f "$PREFIX/lib/libbenchmark.a" ] && [ -f "$PREFIX/lib/cmake/benchmark/benchmarkConfig.cmake" ]; then
  exit 0
fi

mkdir -p "$PREFIX"
PREFIX="$(cd "$PREFIX" && pwd)"
DEPS="$(dirname "$PREFIX")"
BUILD="$DEPS/build-mingw-benchmark"
rm -rf "$BUILD"
mkdir -p "$BUILD/src"

# The cache keeps the downloaded sources, so that reruns need no network.
TARBALL="$(download_source benchmark "$DEPS/cache" "$BUILD")"
tar -xf "$TARBALL" -C "$BUILD/src" --strip-components=1

mingw_cmake_install "$BUILD/src" "$BUILD/obj" "$PREFIX" \
  -DBENCHMARK_ENABLE_TESTING=OFF \
  -DBENCHMARK_ENABLE_GTEST_TESTS=OFF \
  -DBENCHMARK_ENABLE_WERROR=OFF \
  -DBENCHMARK_ENABLE_INSTALL=ON
rm -rf "$BUILD"
