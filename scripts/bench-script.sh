#!/usr/bin/env bash
# The game script's cost per call in the genuine Ruby 1.8.7 (the i386 Linux
# ruby that set-up builds): every Bitmap method against a bare Win32API#call
# with the same arguments, through the same do-nothing Win32API, in one run
# (rgss/bench/per_call.rb). Prints a Markdown table.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

"$ROOT/scripts/setup.sh" --tests  # builds Ruby 1.8.7 from ../shared
ruby18="$ROOT/.deps/ruby18-linux32/bin/ruby"
[ -x "$ruby18" ] || { echo "no Ruby 1.8.7: ../shared/ruby-1.8.7.tar.gz is needed" >&2; exit 1; }
# The runtime's Bitmap and Rect, as the tests build them.
cmake --preset linux32 >/dev/null
cmake --build --preset linux32 --target rgss_runtime >/dev/null
exec "$ruby18" -I "$ROOT/build/linux32/tests/rgss_runtime" "$ROOT/rgss/bench/per_call.rb"
