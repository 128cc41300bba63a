#!/usr/bin/env bash
# Builds Ruby 1.8.7 from ../shared/ruby-1.8.7.tar.gz (beside the checkout) for
# the genuine-Ruby tests of the game script, into DEPS (default .deps):
#   DEPS/ruby18-linux32  an i386 Linux ruby with the standard library's dl
#   DEPS/ruby18-mingw    an i686 Windows ruby with Win32API linked in, run
#                        under Wine (its build ruby is the Linux one)
# Usage: build-ruby18.sh [DEPS]. Idempotent: a build whose stamp matches this
# script is kept. Without the tarball it says so and builds nothing (status 0).
#
# What gcc 12 needs to build a working Ruby 1.8.7:
#   -O0                   gc.c at -O1 loses live objects on i386
#   -fno-omit-frame-pointer  the conservative collector finds registers
#                         through _setjmp, and glibc mangles ebp in a jmp_buf
#   -fwrapv               the Fixnum overflow checks rely on wrapping
#   -std=gnu89 -fno-strict-aliasing, and the old code's implicit declarations
#                         and conversions as warnings, not errors
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DEPS="${1:-${VELLORA_DEPS:-$ROOT/.deps}}"
TARBALL="$ROOT/../shared/ruby-1.8.7.tar.gz"

if [ ! -f "$TARBALL" ]; then
  echo "Ruby 1.8.7 not built: $TARBALL is absent; the genuine-Ruby tests of the game script will be skipped"
  exit 0
fi

CFLAGS_RUBY18="-O0 -g -fno-omit-frame-pointer -fwrapv -std=gnu89 -fno-strict-aliasing \
-Wno-error=implicit-function-declaration -Wno-error=incompatible-pointer-types \
-Wno-error=int-conversion -Wno-error=implicit-int -Wno-error=return-type"

# An i386 compiler: the host gcc in 32-bit mode on x86, else a cross gcc
# (the i386 programs then run through binfmt emulation).
case "$(uname -m)" in
  x86_64 | i?86) I386_CC="${VELLORA_I386_CC:-gcc -m32}" ;;
  *) I386_CC="${VELLORA_I386_CC:-i686-linux-gnu-gcc}" ;;
esac

# The stamp: the tarball's size, this script's text and the compiler, so
# that a change of any rebuilds.
stamp_text="$(stat -c %s "$TARBALL") $(sha256sum "${BASH_SOURCE[0]}" | cut -d' ' -f1) $I386_CC"

# build NAME CONFIGURE_ARGS... : configures, makes and installs into
# DEPS/ruby18-NAME, from a fresh copy of the source that is removed after.
# EXTS names the only extension to build (linked in where static).
build() {
  local name="$1"
  shift
  local prefix="$DEPS/ruby18-$name"
  if [ -f "$prefix/.stamp" ] && [ "$(cat "$prefix/.stamp")" = "$stamp_text $prefix" ]; then
    return 0
  fi
  echo "building Ruby 1.8.7 ($name) into $prefix"
  local work="$DEPS/build-ruby18-$name"
  rm -rf "$work" "$prefix"
  mkdir -p "$work/build"
  tar -xzf "$TARBALL" -C "$work"
  (
    cd "$work/build"
    CFLAGS="$CFLAGS_RUBY18" ../ruby-1.8.7/configure --prefix="$prefix" "$@" > configure.log 2>&1 ||
      { tail -n 30 configure.log >&2; exit 1; }
    # One job: the mingw makefile links rubyw.exe without waiting for main.o.
    make EXTS="$EXTS" > make.log 2>&1 || { tail -n 30 make.log >&2; exit 1; }
    make install EXTS="$EXTS" > install.log 2>&1 || { tail -n 30 install.log >&2; exit 1; }
  )
  rm -rf "$work"
  echo "$stamp_text $prefix" > "$prefix/.stamp"
}

mkdir -p "$DEPS"
# The physical path: the Linux ruby finds its library by the prefix it was
# built for, which must not depend on the checkout that built it.
DEPS="$(cd "$DEPS" && pwd -P)"

# Not a cross build (build = host = i686), so configure runs its probes.
EXTS=dl build linux32 CC="$I386_CC" --build=i686-pc-linux-gnu --host=i686-pc-linux-gnu

# clock_gettime: mingw-w64 declares it in winpthreads, which is linked in
# statically, as is libgcc: the ruby imports system DLLs and its own only.
# RUBY (in the environment, not an argument, which the build would take
# for the name of the ruby to make) is the build ruby.
RUBY="$DEPS/ruby18-linux32/bin/ruby" EXTS=Win32API build mingw \
  --build=i686-pc-linux-gnu --host=i686-w64-mingw32 --target=i686-w64-mingw32 \
  --with-static-linked-ext LIBS="-l:libwinpthread.a" LDFLAGS="-static-libgcc"
