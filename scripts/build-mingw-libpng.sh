#!/usr/bin/env bash
# Cross-builds a static libpng for i686-w64-mingw32 into a prefix, from
# Debian's libpng1.6 source package and the mingw zlib (libz-mingw-w64-dev).
# Usage: build-mingw-libpng.sh [PREFIX]   (default: $ROOT/.deps/mingw)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PREFIX="${1:-$ROOT/.deps/mingw}"
MINGW=/usr/i686-w64-mingw32

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
mkdir -p "$CACHE" "$BUILD"

tarball() { compgen -G "$CACHE/libpng1.6_*.orig.tar.*" | sort | tail -n1 || true; }

if [ -z "$(tarball)" ]; then
  # Private apt state so the machine's sources and lists stay untouched.
  APT="$BUILD/apt"
  mkdir -p "$APT/lists/partial" "$APT/cache/archives/partial"
  echo "deb-src http://deb.debian.org/debian bookworm main" > "$APT/sources.list"
  # Drop the system's post-update hooks; they would refresh system catalogs.
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
  (cd "$CACHE" && apt-get "${APT_OPTS[@]}" source --download-only -q libpng1.6) || rc=$?
  [ -n "$(tarball)" ] || { echo "libpng1.6 source download failed (apt-get rc=$rc)" >&2; exit 1; }
  [ "$rc" -eq 0 ] || echo "note: apt-get source exited $rc, upstream tarball is present" >&2
fi

# Prefer Debian's patched tree: it carries the security fixes backported to 1.6.39.
DSC="$(compgen -G "$CACHE/libpng1.6_*.dsc" | sort | tail -n1 || true)"
if [ -n "$DSC" ] && dpkg-source --no-check -x "$DSC" "$BUILD/src" >/dev/null; then
  echo "libpng: using patched source from $(basename "$DSC")"
else
  echo "libpng: Debian patches unavailable, building plain $(basename "$(tarball)")" >&2
  rm -rf "$BUILD/src" && mkdir -p "$BUILD/src"
  tar -xf "$(tarball)" -C "$BUILD/src" --strip-components=1
fi

cmake -S "$BUILD/src" -B "$BUILD/obj" -G Ninja --no-warn-unused-cli \
  -DCMAKE_SYSTEM_NAME=Windows \
  -DCMAKE_SYSTEM_PROCESSOR=i686 \
  -DCMAKE_C_COMPILER=i686-w64-mingw32-gcc-posix \
  -DCMAKE_RC_COMPILER=i686-w64-mingw32-windres \
  -DCMAKE_FIND_ROOT_PATH="$MINGW" \
  -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER \
  -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY \
  -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$PREFIX" \
  -DZLIB_INCLUDE_DIR="$MINGW/include" \
  -DZLIB_LIBRARY="$MINGW/lib/libz.a" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON \
  -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DPNG_FRAMEWORK=OFF
cmake --build "$BUILD/obj"
cmake --install "$BUILD/obj"
rm -rf "$BUILD"
