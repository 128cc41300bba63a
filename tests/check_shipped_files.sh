#!/usr/bin/env bash
# Checks the files that go into the release bundle as the build leaves them:
# no debug information (it is in FILE.debug beside each, which a
# .gnu_debuglink names), and no path of the machine that built them: not the
# source or build tree (as given, or as its real path), not a system
# directory of the toolchain's, in 8-bit or UTF-16 text; nor the name of a
# source file, which is how __FILE__ and assert leak a path relative to some
# tree.
# usage: check_shipped_files.sh OBJDUMP SOURCE_DIR BUILD_DIR FILE...
set -euo pipefail
objdump=$1 source_dir=$2 build_dir=$3
shift 3

trees=("$source_dir" "$build_dir" "$(realpath "$source_dir")" "$(realpath "$build_dir")")
status=0
for file in "$@"; do
  name=$(basename "$file")
  sections=$("$objdump" -h "$file" | awk '$1 ~ /^[0-9]+$/ {print $2}')
  debug=$(printf '%s\n' "$sections" | grep -E '^\.z?debug' || true)
  if [ -n "$debug" ]; then
    echo "$name carries debug information: $(echo $debug)"
    status=1
  fi
  if ! printf '%s\n' "$sections" | grep -qx '\.gnu_debuglink'; then
    echo "$name has no .gnu_debuglink"
    status=1
  elif [ ! -s "$file.debug" ]; then
    echo "$name links to $name.debug, which is not beside it"
    status=1
  fi
  leaks=$(perl -e '
    my ($file, @trees) = @ARGV;
    open(my $in, "<:raw", $file) or die "$file: $!\n";
    my $data = do { local $/; <$in> };
    my %found;
    for my $tree (@trees) {
      my $utf16 = join("", map { "$_\0" } split(//, $tree));
      $found{$tree} = 1 if index($data, $tree) >= 0 || index($data, $utf16) >= 0;
    }
    # Both encodings, read as 8-bit text once the zero bytes are gone.
    (my $narrow = $data) =~ s/([\x20-\x7e])\0/$1/g;
    for my $text ($data, $narrow) {
      $found{$1} = 1 while $text =~ m{(/(?:usr|build|home|tmp)/[\w.+/-]*)}g;
      $found{$1} = 1 while $text =~ m{([\w./-]*\w\.(?:c|cc|cpp|cxx|h|hh|hpp))(?![\w])}g;
    }
    print map { "  $_\n" } sort keys %found;
  ' "$file" "${trees[@]}")
  if [ -n "$leaks" ]; then
    echo "$name names the build machine's paths or source files:"
    echo "$leaks"
    status=1
  fi
done
if [ "$status" = 0 ]; then
  echo "no debug information, no build paths in:$(printf ' %s' "$@")"
fi
exit $status
