#!/usr/bin/env bash
# The main job: installs what is missing, builds both targets, collects what a
# game or a host program needs in dist/, and runs the showcase, which draws a
# scene with the library and runs every operation on it, into showcase/.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

"$ROOT/scripts/setup.sh"
for preset in linux32-release win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

mkdir -p dist
cp build/win32/src/vellora.dll build/win32/src/vellora.exe dist/
cp build/linux32-release/src/libvellora.so dist/
cp build/linux32-release/tools/vellora/vellora dist/vellora-linux32
cp include/vellora.h rgss/vellora.rb dist/
echo "dist/: $(ls dist | tr '\n' ' ')"

build/linux32-release/tools/vellora/vellora showcase showcase
echo "contact sheet: showcase/contact-sheet.png"
