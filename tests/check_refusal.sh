#!/usr/bin/env bash
# The check of the library's rules must refuse what it is there to refuse:
# run on the witness, it must fail and name each of the given findings.
#   check_refusal.sh "FINDING..." OBJDUMP NM OBJECT...
set -uo pipefail

findings="$1"
shift
out="$(bash "$(dirname "${BASH_SOURCE[0]}")/check_integer_only.sh" "$@")"
status=$?
echo "$out"
if [ "$status" -eq 0 ]; then
  echo "the check passed what it must refuse"
  exit 1
fi
for finding in $findings; do
  if ! grep -q -- "$finding" <<<"$out"; then
    echo "the check did not name $finding"
    exit 1
  fi
done
