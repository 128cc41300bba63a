#!/usr/bin/env bash
# Builds both targets and collects what a game or a host program needs in dist/.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

"$ROOT/scripts/setup.sh"
for preset in linux32-release win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

mkdir -p dist
cp build/win32/src/vellora.dll dist/
cp build/linux32-release/src/libvellora.so dist/
cp include/vellora.h dist/
echo "dist/: $(ls dist | tr '\n' ' ')"
