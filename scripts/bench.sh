#!/usr/bin/env bash
# Builds the Release benchmarks and prints the median over the repetitions of
# every benchmark's time and of its ratio to memcpy of the same bytes measured
# in the same run (PngSaveA: to libpng encoding the same rows with the same
# settings); then the game workloads, each beside the same call on noise.
#   scripts/bench.sh            linux32-release: the kernel variants and the exports
#   scripts/bench.sh --win32    win32-release under Wine (Google Benchmark
#                               cross-built into .deps): the same two programs
#   scripts/bench.sh --x86-64   x86_64-kernels: the kernel variants alone, for a
#                               machine that runs no 32-bit code
#   scripts/bench.sh --anchors  x86_64-kernels: the blur and the normal blend, every
#                               tier, beside OpenCV's cv::blur and pixman's OVER on
#                               the same images, one thread (installs Debian's
#                               libopencv-imgproc-dev and libpixman-1-dev); the
#                               ratio compares cost, not semantics
# Extra arguments go to the benchmark programs, e.g. --benchmark_filter=Blur.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

"$ROOT/scripts/setup.sh" --tests  # Google Benchmark comes with the tests' packages
target="linux32"
case "${1:-}" in
  --win32) target="win32"; shift ;;
  --x86-64) target="x86-64"; shift ;;
  --anchors) target="anchors"; shift ;;
esac
case "$target" in
  win32)
    "$ROOT/scripts/build-mingw-benchmark.sh" >/dev/null
    preset=win32-release
    programs=(vellora_kernel_bench vellora_export_bench)
    run() { "$ROOT/scripts/wine-run.sh" "build/win32-release/src/$1.exe" "${@:2}"; }
    ;;
  anchors)
    missing=()
    for package in libopencv-imgproc-dev libpixman-1-dev; do
      dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
      SUDO=""
      if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
      DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends \
        "${missing[@]}" >/dev/null
    fi
    cmake --preset x86_64-kernels -DVELLORA_ANCHORS=ON >/dev/null
    cmake --build --preset x86_64-kernels -j2 --target vellora_anchor_bench >/dev/null
    echo "x86_64-kernels against the anchors, model: $(lscpu | sed -n 's/^Model name: *//p')," \
      "one thread; ns per pixel, medians of ${BENCH_REPETITIONS:-5}; the anchors compute other things"
    echo "(cv::blur weighs no alpha; pixman composites premultiplied pixels): cost, not semantics"
    echo "| benchmark | size | content | kernels | vellora | anchor | vellora / anchor |"
    echo "|---|---|---|---|---:|---:|---:|"
    build/x86_64-kernels/bench/vellora_anchor_bench --benchmark_repetitions="${BENCH_REPETITIONS:-5}" \
      --benchmark_min_time="${BENCH_MIN_TIME:-0.05}" --benchmark_report_aggregates_only=true \
      --benchmark_format=csv "$@" 2>/dev/null | awk -F, '
      /^name,/ { for (i = 1; i <= NF; ++i) { h = $i; gsub(/"/, "", h); col[h] = i }; next }
      $1 ~ /_median"$/ {
        name = $1; gsub(/"/, "", name); sub(/_median$/, "", name); sub(/\/manual_time$/, "", name)
        split(name, part, "/")
        printf "| %s | %s | %s | %s | %.2f | %.2f | %.2f |\n", part[1], part[2], part[3], part[4],
          $col["op_ns_per_pixel"], $col["anchor_ns_per_pixel"], $col["ratio"]
      }'
    exit 0
    ;;
  x86-64)
    preset=x86_64-kernels
    programs=(vellora_kernel_bench)
    run() { "build/x86_64-kernels/bench/$1" "${@:2}"; }
    ;;
  *)
    preset=linux32-release
    programs=(vellora_kernel_bench vellora_export_bench)
    run() { "build/linux32-release/bench/$1" "${@:2}"; }
    ;;
esac
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j2 --target "${programs[@]}" >/dev/null

out="$(mktemp)"
trap 'rm -f "$out"' EXIT
# A program that fails is named, and the figures of the others still printed.
failed=()
for program in "${programs[@]}"; do
  run "$program" --benchmark_repetitions="${BENCH_REPETITIONS:-5}" \
    --benchmark_min_time="${BENCH_MIN_TIME:-0.05}" --benchmark_report_aggregates_only=true \
    --benchmark_format=csv "$@" 2>/dev/null | sed 's/\r$//' >>"$out" || failed+=("$program")
done

echo "$preset, model: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores"
echo "| benchmark | size | content | kernels | median time | median ratio |"
echo "|---|---|---|---|---:|---|"
# CSV columns: name,iterations,real_time,cpu_time,time_unit,...,label,...,counters
awk -F, '
  /^name,/ { for (i = 1; i <= NF; ++i) { h = $i; gsub(/"/, "", h); col[h] = i }; next }
  $1 ~ /_median"$/ {
    name = $1; gsub(/"/, "", name); sub(/_median$/, "", name); sub(/\/manual_time$/, "", name)
    split(name, part, "/")
    label = $col["label"]; gsub(/"/, "", label)
    if (label == "per call") {
      printf "| %s | %s | %s | %s | %.2f us per call | |\n", part[1], part[2], part[3], part[4], $col["real_time"]
    } else {
      printf "| %s | %s | %s | %s | %.1f us | %.2f %s |\n", part[1], part[2], part[3], part[4], $col["real_time"], $col["ratio"], label
    }
  }' "$out"

echo
echo "Game workloads beside the same call on noise (medians):"
echo "| workload | size | kernels | workload | noise | workload / noise |"
echo "|---|---|---|---:|---:|---:|"
awk -F, '
  /^name,/ { for (i = 1; i <= NF; ++i) { h = $i; gsub(/"/, "", h); col[h] = i }; next }
  $1 ~ /_median"$/ {
    name = $1; gsub(/"/, "", name); sub(/_median$/, "", name); sub(/\/manual_time$/, "", name)
    split(name, part, "/")
    t = $col["real_time"]
    key = part[1] "|" part[2] "|" part[4]
    if (part[3] == "noise") noise[key] = t
    if (part[3] == "screen" || part[3] == "layer_on_screen" || part[3] == "soft_sprite") {
      work[key] = t; order[++n] = key
    }
  }
  END {
    for (i = 1; i <= n; ++i) {
      key = order[i]; if (!(key in noise)) continue
      split(key, k, "|")
      unit = k[1] ~ /^Sprite/ ? " us" : " ms"; scale = k[1] ~ /^Sprite/ ? 1 : 0.001
      printf "| %s | %s | %s | %.3f%s | %.3f%s | %.2f |\n", k[1], k[2], k[3], work[key] * scale, unit, noise[key] * scale, unit, work[key] / noise[key]
    }
  }' "$out"
if [ "${#failed[@]}" -gt 0 ]; then
  echo "FAILED: ${failed[*]} (run it alone to see why)" >&2
  exit 1
fi
