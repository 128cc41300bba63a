#!/usr/bin/env bash
# Cross-builds a static Google Benchmark for i686-w64-mingw32 into a prefix,
# from Debian's benchmark source package, so that the benchmarks can run as
# win32 programs under Wine (scripts/bench.sh --win32).
# Usage: build-mingw-benchmark.sh [PREFIX]   (default: $ROOT/.deps/mingw)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PREFIX="${1:-$ROOT/.deps/mingw}"
MINGW=/usr/i686-w64-mingw32

if [ -f "$PREFIX/lib/libbenchmark.a" ] && [ -f "$PREFIX/lib/cmake/benchmark/benchmarkConfig.cmake" ]; then
  exit 0
fi

mkdir -p "$PREFIX"
PREFIX="$(cd "$PREFIX" && pwd)"
DEPS="$(dirname "$PREFIX")"
CACHE="$DEPS/cache"          # keeps the downloaded sources so reruns need no network
BUILD="$DEPS/build-mingw-benchmark"
rm -rf "$BUILD"
mkdir -p "$CACHE" "$BUILD"

tarball() { compgen -G "$CACHE/benchmark_*.orig.tar.*" | sort | tail -n1 || true; }

if [ -z "$(tarball)" ]; then
  # Private apt state so the machine's sources and lists stay untouched.
  APT="$BUILD/apt"
  mkdir -p "$APT/lists/partial" "$APT/cache/archives/partial"
  echo "deb-src http://deb.debian.org/debian bookworm main" > "$APT/sources.list"
  printf '#clear APT::Update::Post-Invoke-Success;\n#clear APT::Update::Post-Invoke;\n' \
    > "$APT/apt.conf"
  APT_OPTS=(-c "$APT/apt.conf"
    -o Dir::Etc::SourceList="$APT/sources.list"
    -o Dir::Etc::SourceParts=/nonexistent
    -o Dir::State::Lists="$APT/lists"
    -o Dir::Cache="$APT/cache"
    -o APT::Sandbox::User=root)
  apt-get "${APT_OPTS[@]}" update -q
  # Only the upstream tarball is needed; a failure on the Debian files is fine.
  rc=0
  (cd "$CACHE" && apt-get "${APT_OPTS[@]}" source --download-only -q benchmark) || rc=$?
  [ -n "$(tarball)" ] || { echo "benchmark source download failed (apt-get rc=$rc)" >&2; exit 1; }
fi

mkdir -p "$BUILD/src"
tar -xf "$(tarball)" -C "$BUILD/src" --strip-components=1

cmake -S "$BUILD/src" -B "$BUILD/obj" -G Ninja --no-warn-unused-cli \
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
  -DCMAKE_INSTALL_PREFIX="$PREFIX" \
  -DBUILD_SHARED_LIBS=OFF \
  -DBENCHMARK_ENABLE_TESTING=OFF \
  -DBENCHMARK_ENABLE_GTEST_TESTS=OFF \
  -DBENCHMARK_ENABLE_WERROR=OFF \
  -DBENCHMARK_ENABLE_INSTALL=ON
cmake --build "$BUILD/obj"
cmake --install "$BUILD/obj"
rm -rf "$BUILD"
