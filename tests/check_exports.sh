#!/usr/bin/env bash
# Checks that a built library exports exactly the expected names, undecorated,
# and that the DLL imports nothing but system DLLs.
# usage: check_exports.sh linux32|win32 TOOL LIBRARY EXPECTED_NAMES_FILE
set -euo pipefail
target=$1 tool=$2 library=$3 expected_file=$4

expected=$(sort "$expected_file")
if [ "$target" = linux32 ]; then
  actual=$("$tool" -D --defined-only "$library" | awk '{print $3}' | sort)
else
  dump=$("$tool" -p "$library")
  actual=$(printf '%s\n' "$dump" |
    awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && /^[ \t]*\[/ {print $NF; next} t && NF==0 {t=0}' | sort)
  imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
  allowed='^(kernel32|user32|msvcrt|advapi32|gdi32|ntdll)\.dll$'
  bad=$(printf '%s\n' "$imports" | grep -Ev "$allowed" || true)
  if [ -n "$bad" ]; then
    echo "imports from non-system DLLs:"; echo "$bad"; exit 1
  fi
  echo "imports: $(echo $imports)"
fi

if [ "$actual" != "$expected" ]; then
  echo "exported names differ from the expected list"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "exports: $(echo $actual)"
