#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian machine.
# Idempotent: every step checks first and does nothing when its work is done.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DEPS="${VELLORA_DEPS:-$ROOT/.deps}"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

PACKAGES=(
  g++-multilib g++-mingw-w64-i686 binutils-mingw-w64-i686 cmake ninja-build
  libpng-dev:i386 zlib1g-dev:i386 libgtest-dev:i386 libgmock-dev:i386
  libbenchmark-dev:i386 libseccomp-dev:i386 libz-mingw-w64-dev googletest
  wine wine32 dpkg-dev clang-format
  clang libclang-rt-14-dev
  ruby
)

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

mkdir -p "$DEPS"
"$ROOT/scripts/build-mingw-gtest.sh" "$DEPS/mingw"
"$ROOT/scripts/build-mingw-libpng.sh" "$DEPS/mingw"
