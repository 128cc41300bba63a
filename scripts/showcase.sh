#!/usr/bin/env bash
# The main job: installs what is missing, builds what the project ships (the
# DLL and the Windows command-line host, the Linux library and command-line
# host), leaves in dist/ the release bundle vellora-<version>-win32.zip, the
# debug information of the DLL and vellora.exe in it, the Linux build and
# SHA256SUMS, and runs the showcase, which draws a scene with the library and
# runs every operation on it, into showcase/.
#
# It builds in the very trees the tests use (presets linux32 and win32), with
# the test programs left out of the configuration: the shipped DLL is the file
# that `ctest --preset win32` loads, built with the same flags.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

"$ROOT/scripts/setup.sh"
for preset in linux32 win32; do
  cmake --preset "$preset" -DVELLORA_TESTS=OFF >/dev/null
done
cmake --build --preset linux32 --target vellora vellora_cli
cmake --build --preset win32 --target vellora_bundle

rm -rf dist
mkdir -p dist/linux32
cp build/win32/vellora-*-win32.zip dist/
# What a debugger needs for the zip's DLL and vellora.exe, which carry none
# and name these files in their .gnu_debuglink.
cp build/win32/src/vellora.dll.debug build/win32/src/vellora.exe.debug dist/
cp build/linux32/src/libvellora.so build/linux32/tools/vellora/vellora dist/linux32/
(cd dist && sha256sum vellora-*-win32.zip vellora.*.debug linux32/* >SHA256SUMS)
echo "dist/:"
(cd dist && find . -type f | sed 's|^\./|  |' | sort)
echo "$(ls dist/*.zip):"
zip -sf dist/vellora-*-win32.zip | sed -n "s/^  /  /p"

dist/linux32/vellora showcase showcase
echo "contact sheet: showcase/contact-sheet.png"
