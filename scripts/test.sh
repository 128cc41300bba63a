#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test: linux32,
# linux32 under AddressSanitizer and UBSan, linux32 without SSE2 (the plain
# kernels alone), win32 under Wine (each linux32 and win32 configuration but
# the sanitized one runs the game script in a genuine Ruby 1.8.7), and a
# bounded run (about a minute, fixed seed) of the fuzzer over every export
# (linux32-fuzz; scripts/fuzz.sh runs it longer); and, natively on every
# machine, the kernels' test built for x86-64 (x86_64-kernels), which runs
# every tier the processor has, also under AddressSanitizer and UBSan
# (x86_64-kernels-sanitize), and the host layer's tests built for x86-64
# (x86_64-host), which meet the real kernel's memory.
#
# On a machine whose kernel runs no i386 programs, set-up has qemu-user run
# them (scripts/i386-emulation.sh), and the emulated run takes what the
# emulator runs faithfully: the linux32 and linux32-no-sse2 suites, less the
# tests labelled needs_kernel_memory (they need the real kernel's answers
# about memory and addresses), and of win32 the checks that need no Wine
# (the DLL's exports and imports, the shipped files, the rules on its
# objects): Wine does not run under the emulator, so the tests labelled
# needs_wine do not run. linux32-sanitize and linux32-fuzz (far too slow
# there) are built, not run.
# VELLORA_EMULATE_I386=1 forces that run on a machine that runs i386
# programs itself, through a binfmt_misc entry removed again at the end.
#
# Every configuration runs even when an earlier one fails; the exit status
# is nonzero when any of them failed.
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

forced="${VELLORA_EMULATE_I386:-0}"
mode="$("$ROOT/scripts/i386-emulation.sh" mode 2>/dev/null || echo unknown)"
case "$mode" in
  native)
    if [ "$forced" = 1 ]; then
      echo "i386 programs: this kernel runs them, but VELLORA_EMULATE_I386=1: the emulated run, under qemu-user"
    else
      echo "i386 programs: run natively by this kernel; every configuration runs"
    fi
    ;;
  emulated) echo "i386 programs: run under qemu-user (binfmt_misc); the emulated run" ;;
  *) echo "i386 programs: this kernel runs none; set-up registers qemu-user for them, then the emulated run" ;;
esac

VELLORA_EMULATE_I386="$forced" "$ROOT/scripts/setup.sh" --tests || { echo "set-up failed"; exit 1; }

if [ "$mode" = native ] && [ "$forced" != 1 ]; then
  # An entry left by an interrupted forced run would emulate the native run.
  "$ROOT/scripts/i386-emulation.sh" unregister
elif [ "$mode" = native ]; then
  "$ROOT/scripts/i386-emulation.sh" register || { echo "could not register qemu-user"; exit 1; }
  trap '"$ROOT/scripts/i386-emulation.sh" unregister' EXIT
  mode=emulated
elif [ "$mode" != native ]; then
  mode="$("$ROOT/scripts/i386-emulation.sh" mode)"
  if [ "$mode" != emulated ]; then
    echo "i386 programs run neither natively nor under qemu-user after set-up"
    exit 1
  fi
fi

# The game script's tests in a genuine Ruby 1.8.7 need its source beside the
# checkout; without it they are skipped (ctest lists them as not run).
ruby18_note=""
if [ ! -f "$ROOT/../shared/ruby-1.8.7.tar.gz" ]; then
  ruby18_note="genuine Ruby 1.8.7 tests of the game script skipped: $ROOT/../shared/ruby-1.8.7.tar.gz is absent"
  echo "$ruby18_note"
fi

failed=()
built_only=()
build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1"
}

if [ "$mode" = native ]; then
  for preset in linux32 linux32-sanitize linux32-no-sse2 win32 linux32-fuzz; do
    echo "=== $preset"
    if build "$preset" && ctest --preset "$preset"; then :; else failed+=("$preset"); fi
  done
else
  for preset in linux32 linux32-no-sse2; do
    echo "=== $preset (emulated, without the tests labelled needs_kernel_memory)"
    if build "$preset" && ctest --preset "$preset" -LE needs_kernel_memory; then
      :
    else
      failed+=("$preset")
    fi
  done
  echo "=== win32 (without the tests labelled needs_wine)"
  if build win32 && ctest --preset win32 -LE needs_wine; then :; else failed+=("win32"); fi
  for preset in linux32-sanitize linux32-fuzz; do
    echo "=== $preset (built, not run)"
    if build "$preset"; then built_only+=("$preset"); else failed+=("$preset"); fi
  done
fi

# The kernels, their test and their benchmark build for x86-64 too, and the
# test runs natively on every machine: it runs every tier the processor has,
# also where i386 programs run under an emulator that has fewer (qemu-user
# has no AVX-512). The benchmark compares kernels on a machine that runs no
# 32-bit code (scripts/bench.sh --x86-64). The host layer and its tests build
# for x86-64 as well, every host record and buffer below 4 GiB (x86_64-host):
# there the memory check meets the real kernel, also on a machine whose i386
# programs run under the emulator.
for preset in x86_64-kernels x86_64-kernels-sanitize x86_64-host; do
  echo "=== $preset"
  if build "$preset" && ctest --preset "$preset"; then :; else failed+=("$preset"); fi
done

echo
if [ "$mode" = native ]; then
  echo "ran: linux32 linux32-sanitize linux32-no-sse2 win32 linux32-fuzz x86_64-kernels" \
    "x86_64-kernels-sanitize x86_64-host"
else
  echo "ran under qemu-user: linux32 linux32-no-sse2; ran here: win32's tests that need no Wine;" \
    "ran natively: x86_64-kernels x86_64-kernels-sanitize x86_64-host"
  wine_tests="$(ctest --test-dir build/win32 -N -L needs_wine | sed -n 's/^ *Test *#[0-9]*: //p' | tr '\n' ' ')"
  echo "not run, labelled needs_wine (Wine does not run under the emulator): ${wine_tests:-none}"
  echo "built, not run: ${built_only[*]:-none} (too slow under the emulator)"
  labelled="$(ctest --test-dir build/linux32 -N -L needs_kernel_memory | sed -n 's/^ *Test *#[0-9]*: //p' | tr '\n' ' ')"
  echo "not run under the emulator, labelled needs_kernel_memory (they need the real kernel's" \
    "answers about memory and addresses, which the emulator gives otherwise; the x86_64-host" \
    "build ran them natively): ${labelled:-none}"
fi
if [ "${#failed[@]}" -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all that ran passed"
if [ -n "$ruby18_note" ]; then echo "$ruby18_note"; fi
