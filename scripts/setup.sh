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

# Whether this kernel runs i386 programs itself. Where it does not, qemu-user
# runs them and Wine cannot run at all.
i386_mode="$("$ROOT/scripts/i386-emulation.sh" mode 2>/dev/null || echo none)"

# The DLL, the Windows command-line host, the Linux library and command-line
# host, the mingw libpng they link (built from Debian's source package, which
# dpkg-dev unpacks), and zip for the release bundle. The i386 Linux libraries
# are built from Debian's sources too (scripts/build-i386-deps.sh): nothing
# here comes from the i386 package index.
PACKAGES=(
  g++-multilib g++-mingw-w64-i686 binutils-mingw-w64-i686 cmake ninja-build
  libz-mingw-w64-dev dpkg-dev zip
)
# GoogleTest's sources (for the i386 and the mingw builds) and x86-64 GoogleTest
# and Google Benchmark (the kernels' test and benchmark built for x86-64,
# which run natively on every machine of this kind), gperf for libseccomp's
# build (the sandbox test), clang and its fuzzer runtime, clang-format, and
# Ruby for the game script's tests; x86-64 libpng, zlib and libseccomp for the
# host layer's tests built for x86-64 (x86_64-host).
TEST_PACKAGES=(
  googletest libgtest-dev libbenchmark-dev gperf clang-format clang libclang-rt-14-dev ruby
  libpng-dev zlib1g-dev libseccomp-dev
)
if $tests; then
  PACKAGES+=("${TEST_PACKAGES[@]}")
  # Wine runs the win32 tests, where this kernel runs i386 programs; under the
  # emulator it cannot run, and its i386 half is the largest tree of all.
  if [ "$i386_mode" = native ]; then PACKAGES+=(wine wine32:i386); fi
fi
# qemu-user, where i386 programs must be emulated.
if [ "$i386_mode" = none ] || [ "${VELLORA_EMULATE_I386:-0}" = 1 ]; then PACKAGES+=(qemu-user); fi

need_install=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    need_install+=("$pkg")
  fi
done

# A refresh of the package index can fail for a while (a mirror mid-sync
# serves a list whose size its Release file does not promise): it is tried a
# few times, and then set-up goes on with the lists apt has. Only a failed
# install stops it.
refresh_package_index() {
  local attempt
  for attempt in 1 2 3; do
    if $SUDO apt-get update -q; then return 0; fi
    if [ "$attempt" -lt 3 ]; then
      echo "set-up: refreshing the package index failed (try $attempt of 3); trying again in 20 s" >&2
      sleep 20
    fi
  done
  echo "set-up: the package index could not be refreshed; going on with the lists apt has" >&2
}

if [ "${#need_install[@]}" -gt 0 ]; then
  if printf '%s\n' "${need_install[@]}" | grep -q ':i386$' &&
     ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  refresh_package_index
  log="$(mktemp)"
  if ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends \
       "${need_install[@]}" 2>&1 | tee "$log"; then
    # An i386 package must be at its amd64 twin's version; a lagging i386
    # index offers an older one, and apt then names the i386 package unmet.
    if grep -q ':i386 : Depends: .* but it is not going to be installed' "$log"; then
      echo "set-up: the i386 package index is out of step with the amd64 one (a mirror mid-sync)," \
        "so apt cannot install the i386 packages at their amd64 twins' versions: run set-up" \
        "again later" >&2
    fi
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
fi

if [ "$i386_mode" = none ]; then
  "$ROOT/scripts/i386-emulation.sh" register
  echo "set-up: this kernel runs no i386 programs; qemu-user runs them now (binfmt_misc entry vellora-i386)"
fi

mkdir -p "$DEPS"
"$ROOT/scripts/build-mingw-libpng.sh" "$DEPS/mingw"
if ! $tests; then
  "$ROOT/scripts/build-i386-deps.sh" "$DEPS/i386"
else
  "$ROOT/scripts/build-i386-deps.sh" --tests "$DEPS/i386"
  "$ROOT/scripts/build-mingw-gtest.sh" "$DEPS/mingw"
  # Ruby 1.8.7 for the genuine-Ruby tests of the game script.
  "$ROOT/scripts/build-ruby18.sh" "$DEPS"
fi
