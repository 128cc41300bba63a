#!/usr/bin/env bash
# The library's own rules, checked on its object files (not libpng's or
# zlib's): integer arithmetic only, no lookup tables, no tables of functions.
#   check_integer_only.sh OBJDUMP NM OBJECT...
# Fails, naming the object and what it found, on
#   - an x87 instruction, or an SSE/AVX/AVX-512 instruction that computes on
#     floats (arithmetic, comparisons, conversions, reciprocals, exponents,
#     roundings and classes on ss/sd/ps/pd, the AVX-512 FP16 sh/ph forms and
#     bfloat16's; the moves, logic and shuffles that the compiler also uses
#     for integer vectors are not arithmetic and pass);
#   - a named static data object larger than one 32-bit word: a table of
#     data or of function pointers (a vtable among them), and a table of
#     values that the compiler made of a switch (GCC's CSWTCH.n), which is a
#     lookup table of results all the same. What passes is unnamed: vector
#     constants, string literals and a switch's jump table (code addresses
#     inside one function, which select code rather than give results), and
#     the guard words of function-local statics.
set -euo pipefail

objdump="$1"
nm="$2"
shift 2

failed=0
for object in "$@"; do
  # AT&T mnemonics of every instruction, one per line.
  float_ops="$("$objdump" -d --no-show-raw-insn "$object" |
    awk -F'\t' 'NF >= 2 && $1 ~ /^ *[0-9a-f]+:$/ { split($2, word, " "); print word[1] }' |
    grep -E '^(f[a-z0-9]+|v?(add|sub|mul|div|sqrt|max|min|rcp|rsqrt|rcp14|rsqrt14|rcp28|rsqrt28|exp2|round|rndscale|reduce|range|scalef|getexp|getmant|fixupimm|fpclass|hadd|hsub|addsub|dp|dpbf16|cmp[a-z]*|u?comi|fn?m(add|sub)[0-9]*|fmaddsub[0-9]*|fmsubadd[0-9]*|fc?madd[a-z]*|fc?mul[a-z]*)(ss|sd|ps|pd|sh|ph)|v?cvtt?[a-z0-9]*(ss|sd|ps|pd|sh|ph|bf16)[a-z0-9]*)$' |
    sort | uniq -c | tr '\n' ' ' || true)"
  if [ -n "$float_ops" ]; then
    echo "$object: floating-point instructions: $float_ops"
    failed=1
  fi
  # Named data objects with their sizes. ELF keeps each symbol's size; COFF
  # (win32) keeps none, so there a symbol's size is the distance to the next
  # symbol of its section, or to the section's end (the library is built with
  # a section for each datum, so that is its size).
  if "$objdump" -f "$object" | grep -q 'file format pe-'; then
    tables="$( ("$objdump" -h "$object"; "$objdump" -t "$object") | awk '
      $1 ~ /^[0-9]+$/ && NF >= 7 { size[$1 + 1] = strtol($3) }
      /^\[ *[0-9]+\]\(sec +[0-9]+\)/ {
        sec = $0; sub(/^.*\(sec +/, "", sec); sub(/\).*$/, "", sec)
        name = $NF; value = strtol(substr($(NF - 1), 3))
        function_symbol = $0 ~ /\(ty +20\)/
        if (sec + 0 < 1 || name ~ /^\./) next
        n[sec]++; at[sec, n[sec]] = value; named[sec, n[sec]] = function_symbol ? "" : name
      }
      function strtol(hex,   v, i, c) {
        v = 0; hex = tolower(hex)
        for (i = 1; i <= length(hex); ++i) { c = index("0123456789abcdef", substr(hex, i, 1)) - 1; v = v * 16 + c }
        return v
      }
      END {
        for (key in n) {
          for (i = 1; i <= n[key]; ++i) {
            if (named[key, i] == "" || named[key, i] ~ /^__ZGV/) continue
            end = size[key]
            for (j = 1; j <= n[key]; ++j) if (at[key, j] > at[key, i] && at[key, j] < end) end = at[key, j]
            if (end - at[key, i] > 4) print " " end - at[key, i], named[key, i]
          }
        }
      }')"
  else
    tables="$("$nm" -S -t d -C "$object" |
      awk '$3 ~ /^[bBdDrRvV]$/ && $2 + 0 > 4 && $0 !~ /guard variable for/ { $1 = ""; print }')"
  fi
  if [ -n "$tables" ]; then
    echo "$object: static data larger than a word (a table?):"
    echo "$tables"
    failed=1
  fi
done
if [ "$failed" -ne 0 ]; then exit 1; fi
echo "$# object files: integer instructions only, no tables"
