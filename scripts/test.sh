#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test: linux32,
# linux32 under AddressSanitizer and UBSan, linux32 without SSE2 (the plain
# kernels alone), win32 under Wine, and a bounded
# run (about a minute, fixed seed) of the fuzzer over every export
# (linux32-fuzz; scripts/fuzz.sh runs it longer).
# Every configuration runs even when an earlier one fails; the exit status
# is nonzero when any of them failed.
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

"$ROOT/scripts/setup.sh" --tests || { echo "set-up failed"; exit 1; }

failed=()
for preset in linux32 linux32-sanitize linux32-no-sse2 win32 linux32-fuzz; do
  echo "=== $preset"
  if cmake --preset "$preset" >/dev/null &&
     cmake --build --preset "$preset" &&
     ctest --preset "$preset"; then
    :
  else
    failed+=("$preset")
  fi
done

if [ "${#failed[@]}" -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all configurations passed: linux32 linux32-sanitize linux32-no-sse2 win32 linux32-fuzz"
