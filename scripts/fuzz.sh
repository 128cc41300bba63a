#!/usr/bin/env bash
# Runs the fuzzer over every export for longer than the test command does:
#   scripts/fuzz.sh [SECONDS] [SEED]
# SECONDS defaults to 600; SEED to a fresh one (libFuzzer prints it). The
# corpus grows in build/linux32-fuzz/corpus from run to run; an input that
# finds a fault is left in build/linux32-fuzz/fuzz/artifacts/, and
#   build/linux32-fuzz/fuzz/fuzz_exports FILE
# replays it.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
SECONDS_TO_RUN="${1:-600}"
SEED="${2:-0}"

"$ROOT/scripts/setup.sh" --tests
cmake --preset linux32-fuzz >/dev/null
cmake --build --preset linux32-fuzz

BUILD="$ROOT/build/linux32-fuzz"
mkdir -p "$BUILD/corpus" "$BUILD/fuzz/artifacts"
exec "$BUILD/fuzz/fuzz_exports" "$BUILD/corpus" -seed="$SEED" -max_total_time="$SECONDS_TO_RUN" \
  -max_len=4096 -len_control=0 -timeout=30 -close_fd_mask=2 -print_final_stats=1 \
  -artifact_prefix="$BUILD/fuzz/artifacts/"
