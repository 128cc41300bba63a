#!/usr/bin/env bash
# Builds the Release benchmarks (linux32-release) and prints, for every export,
# size and content, the median over the repetitions of its time as a ratio to
# memcpy of the same bytes measured in the same run (PngSaveA: to libpng
# encoding the same rows with the same settings).
# With --win32 first, the same benchmarks built as a win32 program
# (win32-release, Google Benchmark cross-built into .deps) run under Wine.
# Extra arguments go to the benchmark program, e.g. --benchmark_filter=Blur.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

"$ROOT/scripts/setup.sh" --tests  # Google Benchmark comes with the tests' packages
if [ "${1:-}" = "--win32" ]; then
  shift
  "$ROOT/scripts/build-mingw-benchmark.sh" >/dev/null
  preset=win32-release
  bench=("$ROOT/scripts/wine-run.sh" build/win32-release/src/vellora_bench.exe)
else
  preset=linux32-release
  bench=(build/linux32-release/bench/vellora_bench)
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j2 --target vellora_bench >/dev/null

out="$(mktemp)"
trap 'rm -f "$out"' EXIT
"${bench[@]}" --benchmark_repetitions="${BENCH_REPETITIONS:-5}" \
  --benchmark_min_time="${BENCH_MIN_TIME:-0.05}" --benchmark_report_aggregates_only=true \
  --benchmark_format=csv "$@" >"$out" 2>/dev/null

echo "$preset, model: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores"
echo "| export | size | content | kernels | median time | median ratio |"
echo "|---|---|---|---|---:|---|"
# CSV columns: name,iterations,real_time,cpu_time,time_unit,...,label,...,ratio
awk -F, '
  { sub(/\r$/, "") }  # Wine writes CRLF
  /^name,/ { for (i = 1; i <= NF; ++i) { h = $i; gsub(/"/, "", h); col[h] = i }; next }
  $1 ~ /_median"$/ {
    name = $1; gsub(/"/, "", name)
    split(name, part, "/")
    label = $col["label"]; gsub(/"/, "", label)
    sub(/_median$/, "", part[4])
    printf "| %s | %s | %s | %s | %.1f us | %.2f %s |\n", part[1], part[2], part[3], part[4], $col["real_time"], $col["ratio"], label
  }' "$out"
