#!/usr/bin/env bash
# Installs what the build needs on a Debian machine:
#   setup.sh          what the main job builds and ships (scripts/showcase.sh)
#   setup.sh --tests  that, and everything the tests need (scripts/test.sh)
# Idempotent: every step checks first and does nothing when its work is done.
# On a machine whose kernel runs no i386 programs it installs qemu-user and
# registers it for them (scripts/i386-emulation.sh); a machine that runs
# them stays as it is. VELLORA_EMULATE_I386=1 (scripts/test.sh) has qemu-user
# installed there too.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DEPS="${VELLORA_DEPS:-$ROOT/.deps}"

tests=false
case "${1:-}" in
  "") ;;
  --tests) tests=true ;;
  *) echo "usage: setup.sh [--tests]" >&2; exit 2 ;;
esac

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# The DLL, the Windows command-line host, the Linux library and command-line
# host, the mingw libpng they link (built from Debian's source package, which
# dpkg-dev unpacks), and zip for the release bundle.
PACKAGES=(
  g++-multilib g++-mingw-w64-i686 binutils-mingw-w64-i686 cmake ninja-build
  libpng-dev:i386 zlib1g-dev:i386 libz-mingw-w64-dev dpkg-dev zip
)
# GoogleTest (i386, and the sources for the mingw build), Google Benchmark
# (i386, and x86-64 for the kernel benchmark's x86-64 build), libseccomp for
# the sandbox test, Wine to run the win32 tests, clang and its fuzzer
# runtime, clang-format, and Ruby for the game script's tests.
TEST_PACKAGES=(
  libgtest-dev:i386 libgmock-dev:i386 libbenchmark-dev:i386 libbenchmark-dev
  libseccomp-dev:i386 googletest wine wine32 clang-format clang libclang-rt-14-dev ruby
)
if $tests; then PACKAGES+=("${TEST_PACKAGES[@]}"); fi
# qemu-user, where i386 programs must be emulated.
i386_mode="$("$ROOT/scripts/i386-emulation.sh" mode 2>/dev/null || echo none)"
if [ "$i386_mode" = none ] || [ "${VELLORA_EMULATE_I386:-0}" = 1 ]; then PACKAGES+=(qemu-user); fi

need_install=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    need_install+=("$pkg")
  fi
done

if [ "${#need_install[@]}" -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${need_install[@]}"
fi

if [ "$i386_mode" = none ]; then
  "$ROOT/scripts/i386-emulation.sh" register
  echo "set-up: this kernel runs no i386 programs; qemu-user runs them now (binfmt_misc entry vellora-i386)"
fi

mkdir -p "$DEPS"
"$ROOT/scripts/build-mingw-libpng.sh" "$DEPS/mingw"
if $tests; then
  "$ROOT/scripts/build-mingw-gtest.sh" "$DEPS/mingw"
  # Ruby 1.8.7 for the genuine-Ruby tests of the game script.
  "$ROOT/scripts/build-ruby18.sh" "$DEPS"
fi
