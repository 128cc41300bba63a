#!/usr/bin/env bash
# The genuine-Ruby test where the build found no Ruby 1.8.7.
# usage: without_ruby18.sh TARBALL PREFIX
# Exit 77 (skipped) when the source is absent, 1 when it is there but unbuilt.
if [ ! -f "$1" ]; then
  echo "genuine Ruby 1.8.7 tests of the game script skipped: $1 is absent (a clone without ../shared)"
  exit 77
fi
echo "no Ruby 1.8.7 in $2: run scripts/setup.sh --tests, which builds it from $1, then configure again"
exit 1
