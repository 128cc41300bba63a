#!/usr/bin/env bash
# Builds the i386 Linux libraries that the build and the tests link, as
# static position-independent archives, into a prefix: zlib and libpng (the
# library's encoder), GoogleTest and GoogleMock, Google Benchmark and
# libseccomp (the sandbox test). zlib, libpng, benchmark and libseccomp come
# from Debian's source packages, GoogleTest from /usr/src/googletest (package
# googletest). So set-up needs no i386 package from the archive: the i386
# index, whose multiarch versions can lag behind the amd64 ones for hours,
# does not matter, and the host compiler in 32-bit mode (g++-multilib) is all
# the toolchain there is.
# Usage: build-i386-deps.sh [--tests] [PREFIX]   (default: $ROOT/.deps/i386)
# Without --tests only what the library itself links: zlib and libpng.
# Idempotent: a library already in the prefix is kept.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
tests=false
if [ "${1:-}" = --tests ]; then
  tests=true
  shift
fi
PREFIX="${1:-$ROOT/.deps/i386}"
source "$ROOT/scripts/debian-source.sh"

mkdir -p "$PREFIX"
PREFIX="$(cd "$PREFIX" && pwd)"
DEPS="$(dirname "$PREFIX")"
CACHE="$DEPS/cache"  # keeps the downloaded sources so reruns need no network

I386_FLAGS="-m32 -msse2 -mfpmath=sse"

# i386_cmake_install SOURCE BUILD [-DNAME=VALUE ...]: a static, PIC Release
# build of SOURCE for i386, installed into PREFIX (libraries in lib/).
i386_cmake_install() {
  local source="$1" build="$2"
  shift 2
  cmake -S "$source" -B "$build" -G Ninja --no-warn-unused-cli \
    -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
    -DCMAKE_C_FLAGS="$I386_FLAGS" -DCMAKE_CXX_FLAGS="$I386_FLAGS" \
    -DCMAKE_EXE_LINKER_FLAGS=-m32 -DCMAKE_SHARED_LINKER_FLAGS=-m32 \
    -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$PREFIX" \
    -DCMAKE_INSTALL_LIBDIR=lib \
    -DCMAKE_PREFIX_PATH="$PREFIX" \
    -DBUILD_SHARED_LIBS=OFF \
    "$@" >"$build.log" 2>&1 || { tail -n 30 "$build.log" >&2; return 1; }
  cmake --build "$build" >>"$build.log" 2>&1 || { tail -n 30 "$build.log" >&2; return 1; }
  cmake --install "$build" >>"$build.log" 2>&1 || { tail -n 30 "$build.log" >&2; return 1; }
}

# unpack PACKAGE WORK: the upstream source of Debian's PACKAGE in WORK/src,
# with Debian's patches applied where its .dsc came along.
unpack() {
  local package="$1" work="$2"
  local tarball dsc
  tarball="$(download_source "$package" "$CACHE" "$work")"
  dsc="$(compgen -G "$CACHE/${package}_*.dsc" | sort | tail -n1 || true)"
  if [ -n "$dsc" ] && dpkg-source --no-check -x "$dsc" "$work/src" >/dev/null 2>&1; then
    return 0
  fi
  rm -rf "$work/src" && mkdir -p "$work/src"
  tar -xf "$tarball" -C "$work/src" --strip-components=1
}

# fresh_work NAME: an empty work directory for one library.
fresh_work() {
  local work="$DEPS/build-i386-$1"
  rm -rf "$work"
  mkdir -p "$work"
  echo "$work"
}

if [ ! -f "$PREFIX/lib/libz.a" ]; then
  echo "building zlib (i386) into $PREFIX"
  work="$(fresh_work zlib)"
  unpack zlib "$work"
  # Its own configure: Debian's tarball lacks the files zlib's CMake wants.
  (
    cd "$work/src"
    CC="gcc -m32" CFLAGS="-O2 -fPIC" ./configure --static --prefix="$PREFIX" --libdir="$PREFIX/lib" \
      >configure.log 2>&1 || { tail -n 30 configure.log >&2; exit 1; }
    make -j"$(nproc)" libz.a >make.log 2>&1 || { tail -n 30 make.log >&2; exit 1; }
    make install >install.log 2>&1 || { tail -n 30 install.log >&2; exit 1; }
  )
  rm -rf "$work"
fi

if [ ! -f "$PREFIX/lib/libpng16.a" ]; then
  echo "building libpng (i386) into $PREFIX"
  work="$(fresh_work libpng)"
  unpack libpng1.6 "$work"
  i386_cmake_install "$work/src" "$work/obj" \
    -DZLIB_INCLUDE_DIR="$PREFIX/include" -DZLIB_LIBRARY="$PREFIX/lib/libz.a" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF
  rm -rf "$work"
fi

$tests || exit 0

if [ ! -f "$PREFIX/lib/libgmock_main.a" ]; then
  [ -f /usr/src/googletest/CMakeLists.txt ] ||
    { echo "missing /usr/src/googletest (apt-get install googletest)" >&2; exit 1; }
  echo "building GoogleTest (i386) into $PREFIX"
  work="$(fresh_work gtest)"
  i386_cmake_install /usr/src/googletest "$work/obj" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
  rm -rf "$work"
fi

if [ ! -f "$PREFIX/lib/libbenchmark.a" ]; then
  echo "building Google Benchmark (i386) into $PREFIX"
  work="$(fresh_work benchmark)"
  unpack benchmark "$work"
  # What its configure would learn by running i386 programs, which this
  # machine may run only once set-up has registered an emulator: g++ 12 has both.
  # Debian's patch leaves the version to the packaging: 0.0.0 means "the
  # version in its CMakeLists".
  i386_cmake_install "$work/src" "$work/obj" \
    -DBENCHMARK_ENABLE_TESTING=OFF -DBENCHMARK_ENABLE_GTEST_TESTS=OFF \
    -DBENCHMARK_ENABLE_WERROR=OFF -DBENCHMARK_ENABLE_INSTALL=ON \
    -DHAVE_STD_REGEX=1 -DHAVE_STEADY_CLOCK=1 -DGIT_VERSION=0.0.0
  rm -rf "$work"
fi

if [ ! -f "$PREFIX/lib/libseccomp.a" ]; then
  echo "building libseccomp (i386) into $PREFIX"
  work="$(fresh_work seccomp)"
  unpack libseccomp "$work"
  (
    cd "$work/src"
    CC="gcc -m32" CFLAGS="-O2 -fPIC" ./configure --prefix="$PREFIX" --libdir="$PREFIX/lib" \
      --host=i686-linux-gnu --build="$(gcc -dumpmachine)" \
      --disable-shared --enable-static --disable-python >configure.log 2>&1 ||
      { tail -n 30 configure.log >&2; exit 1; }
    make -j"$(nproc)" -C src >make.log 2>&1 || { tail -n 30 make.log >&2; exit 1; }
    make -C src install >install.log 2>&1 && make -C include install >>install.log 2>&1 ||
      { tail -n 30 install.log >&2; exit 1; }
  )
  rm -rf "$work"
fi
