#!/usr/bin/env bash
# Cross-builds a static libpng for i686-w64-mingw32 into a prefix, from
# Debian's libpng1.6 source package and the mingw zlib (libz-mingw-w64-dev).
# Usage: build-mingw-libpng.sh [PREFIX]   (default: $ROOT/.deps/mingw)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PREFIX="${1:-$ROOT/.deps/mingw}"
source "$ROOT/scripts/mingw-deps.sh"

if [ -f "$PREFIX/include/png.h" ] && [ -f "$PREFIX/include/pnglibconf.h" ] \
   && { [ -f "$PREFIX/lib/libpng16.a" ] || [ -f "$PREFIX/lib/libpng.a" ]; }; then
  exit 0
fi

for f in "$MINGW/include/zlib.h" "$MINGW/lib/libz.a"; do
  [ -f "$f" ] || { echo "missing $f (apt-get install libz-mingw-w64-dev)" >&2; exit 1; }
done

mkdir -p "$PREFIX"
PREFIX="$(cd "$PREFIX" && pwd)"
DEPS="$(dirname "$PREFIX")"
CACHE="$DEPS/cache"          # keeps the downloaded sources so reruns need no network
BUILD="$DEPS/build-mingw-libpng"
rm -rf "$BUILD"
mkdir -p "$BUILD"

TARBALL="$(download_source libpng1.6 "$CACHE" "$BUILD")"

# Prefer Debian's patched tree: it carries the security fixes backported to 1.6.39.
DSC="$(compgen -G "$CACHE/libpng1.6_*.dsc" | sort | tail -n1 || true)"
if [ -n "$DSC" ] && dpkg-source --no-check -x "$DSC" "$BUILD/src" >/dev/null; then
  echo "libpng: using patched source from $(basename "$DSC")"
else
  echo "libpng: Debian patches unavailable, building plain $(basename "$TARBALL")" >&2
  rm -rf "$BUILD/src" && mkdir -p "$BUILD/src"
  tar -xf "$TARBALL" -C "$BUILD/src" --strip-components=1
fi

mingw_cmake_install "$BUILD/src" "$BUILD/obj" "$PREFIX" \
  -DZLIB_INCLUDE_DIR="$MINGW/include" \
  -DZLIB_LIBRARY="$MINGW/lib/libz.a" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON \
  -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DPNG_FRAMEWORK=OFF
rm -rf "$BUILD"
