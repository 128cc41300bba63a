#!/usr/bin/env bash
# Checks that a built library exports exactly the names of the export list,
# undecorated, and that each name the list gives a second name of another
# export ("PngSave piii = PngSaveA") is that export's very entry.
# usage: check_exports.sh linux32|win32 TOOL LIBRARY EXPORT_LIST
#   TOOL: nm (linux32) or the mingw objdump (win32)
set -euo pipefail
target=$1 tool=$2 library=$3 list=$4

expected=$(awk '!/^#/ && NF {print $1}' "$list" | sort)
# "name address" of each export.
if [ "$target" = linux32 ]; then
  addresses=$("$tool" -D --defined-only "$library" | awk '{print $3, $1}')
else
  # The name pointer table gives each name's index into the export address
  # table, which gives its address.
  addresses=$("$tool" -p "$library" | awk '
    /^Export Address Table/ {t = "eat"; next}
    /\[Ordinal\/Name Pointer\] Table/ {t = "names"; next}
    NF == 0 {t = ""}
    t == "eat" && /^[ \t]*\[/ {gsub(/[][]/, " "); rva[$1] = $4}
    t == "names" && /^[ \t]*\[/ {gsub(/[][]/, " "); print $2, rva[$1]}')
fi
actual=$(printf '%s\n' "$addresses" | awk 'NF {print $1}' | sort)

if [ "$actual" != "$expected" ]; then
  echo "exported names differ from the export list ($list)"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "exports: $(echo $actual)"

status=0
while read -r name entry; do
  own=$(printf '%s\n' "$addresses" | awk -v n="$name" '$1 == n {print $2}')
  shared=$(printf '%s\n' "$addresses" | awk -v n="$entry" '$1 == n {print $2}')
  if [ -z "$own" ] || [ "$own" != "$shared" ]; then
    echo "$name is at ${own:-nowhere}, $entry at ${shared:-nowhere}: the list has them share one entry"
    status=1
  else
    echo "$name is $entry's entry ($own)"
  fi
done < <(awk '!/^#/ && $3 == "=" {print $1, $4}' "$list")
exit $status
