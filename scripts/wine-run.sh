#!/usr/bin/env bash
# Runs a Windows test program under Wine, headless, in the project's own Wine
# prefix inside the build tree (made on first use).
# usage: wine-run.sh PROGRAM.exe [ARGS...]
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${VELLORA_WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
unset DISPLAY

mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if [ ! -f "$WINEPREFIX/.vellora-ready" ]; then
    wineboot --init >/dev/null 2>&1 || true
    # The null graphics driver lets programs create windows with no display.
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.vellora-ready"
  fi
) 9>"$(dirname "$WINEPREFIX")/.wineprefix.lock"

exec wine "$@"
