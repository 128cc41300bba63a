#!/usr/bin/env bash
# Runs the fuzzer over every export for longer than the test command does:
#   scripts/fuzz.sh [--x86-64] [SECONDS] [SEED]
# SECONDS defaults to 600; SEED to a fresh one (libFuzzer prints it).
# --x86-64 builds it for x86-64 (preset x86_64-fuzz: the host's records and
# buffers kept below 4 GiB), natively fast where the i386 build would run
# under an emulator, whose leak checker cannot stop the program's threads.
# The corpus grows in build/<preset>/corpus from run to run; an input that
# finds a fault is left in build/<preset>/fuzz/artifacts/, and
#   build/<preset>/fuzz/fuzz_exports FILE
# replays it.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
PRESET=linux32-fuzz
if [ "${1:-}" = --x86-64 ]; then
  PRESET=x86_64-fuzz
  shift
fi
SECONDS_TO_RUN="${1:-600}"
SEED="${2:-0}"

"$ROOT/scripts/setup.sh" --tests
cmake --preset "$PRESET" >/dev/null
cmake --build --preset "$PRESET"

BUILD="$ROOT/build/$PRESET"
mkdir -p "$BUILD/corpus" "$BUILD/fuzz/artifacts"
exec "$BUILD/fuzz/fuzz_exports" "$BUILD/corpus" -seed="$SEED" -max_total_time="$SECONDS_TO_RUN" \
  -max_len=4096 -len_control=0 -timeout=30 -close_fd_mask=2 -print_final_stats=1 \
  -artifact_prefix="$BUILD/fuzz/artifacts/"
