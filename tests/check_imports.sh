#!/usr/bin/env bash
# Checks that the DLL imports exactly the functions of the expected list: a
# new import fails here, and the list (and docs/design.md, which says why
# each one is there) is where it gets accepted.
# usage: check_imports.sh OBJDUMP DLL EXPECTED_IMPORTS
set -euo pipefail
objdump=$1 dll=$2 list=$3

expected=$(awk '!/^#/ && NF {print tolower($1), $2}' "$list" | sort)
actual=$("$objdump" -p "$dll" | awk '
  /^[ \t]*DLL Name:/ {dll = tolower($3); next}
  /^[ \t]*vma:/ || NF == 0 {next}
  /^The Export Tables/ {dll = ""}
  dll != "" && NF == 3 && $2 ~ /^[0-9]+$/ {print dll, $3}' | sort)

if [ -z "$actual" ]; then
  echo "no imports read from $dll"
  exit 1
fi
if [ "$actual" != "$expected" ]; then
  echo "the DLL's imports differ from $list (< expected, > imported):"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "imports: $(printf '%s\n' "$actual" | awk '{printf "%s%s!%s", sep, $1, $2; sep = " "}')"
