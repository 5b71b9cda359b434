#!/usr/bin/env bash
# Split and join speed against the floors of their block rules and the
# shell's own tools, on one 512 MiB file:
#   split: velmora.exe /split (the engine under Wine, checksums included) vs the
#          split floor (block_floor split: one 2048-byte buffer, every block
#          read and write positioned, the same 369 pieces of 1,457,664 bytes)
#          and vs `split -b 1457664`
#   front ends: the same split through the dialog, worked from outside
#          (bench_split_driver dialog: from pressing Split to the result box)
#          vs velmora.exe /split (bench_split_driver command: from its start
#          to its end), both timed inside Wine by one clock, in the same
#          target folder, the set deleted before each run
#   join:  running the first piece (the joiner under Wine) vs the join floor
#          (block_floor join: 2048-byte reads appended in sequence) and `cat`
#   compressed: velmora.exe /split /compress vs `gcab -c -z` + `split`
# Runs alternate, REPS times each (default 5); prints the medians and ratios.
# Usage: bench/bench_split.sh BUILD_DIR   (REPS=n, SIZE_MB=n to change)
set -euo pipefail
build=$(cd "$1" && pwd)
reps=${REPS:-5}
size_mb=${SIZE_MB:-512}
section=1457664
export VELMORA_BUILD=$build
source "$(dirname "$0")/../cmake/wine-env.sh"
wine_env_prepare >/dev/null 2>&1
export WINEPATH="Z:${build//\//\\}\\bin"
export VELMORA_BIN="Z:${build//\//\\}\\bin"
wine_scratch bench_split

# Half random, half text-like, so compression has something to do.
head -c $((size_mb / 2 * 1048576)) /dev/urandom > "$work/big.bin"
yes 'a line of a log file that compresses rather well, 0123456789' |
  head -c $((size_mb / 2 * 1048576)) >> "$work/big.bin" || true
cat "$work/big.bin" > /dev/null  # into the page cache

now() { date +%s.%N; }
timed() { local t0; t0=$(now); "$@" >/dev/null 2>&1; echo "$(now) - $t0" | bc; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

ours_split() { rm -rf "$work/set"; mkdir "$work/set"
  wine "$build/bin/velmora.exe" /split "$(win "$work/big.bin")" "$(win "$work/set")" $section </dev/null; }
ref_split() { rm -rf "$work/ref"; mkdir "$work/ref"; split -b $section "$work/big.bin" "$work/ref/x"; }
# The driver's own figure, its last line "seconds S".
driven() { wine "$build/bin/bench_split_driver.exe" "$@" </dev/null 2>/dev/null | tr -d '\r' |
  awk '$1 == "seconds" { s = $2 } END { if (s == "") exit 1; print s }'; }
dialog_split() { rm -rf "$work/set"; mkdir "$work/set"
  driven dialog "$(win "$work/big.bin")" "$(win "$work/set")" $section; }
command_split() { rm -rf "$work/set"; mkdir "$work/set"
  driven command /split "$(win "$work/big.bin")" "$(win "$work/set")" $section; }
ours_join() { rm -rf "$work/j"; mkdir "$work/j"; (cd "$work/j" && wine "$work/set/bigVRAX.exe" </dev/null); }
ref_join() { cat "$work"/ref/x* > "$work/cat.out"; }
floor_split() { rm -rf "$work/floor"; mkdir "$work/floor"
  wine "$build/bin/block_floor.exe" split "$(win "$work/big.bin")" "$(win "$work/floor")" $section </dev/null; }
floor_join() { wine "$build/bin/block_floor.exe" join "$(win "$work/floor")" "$(win "$work/floor.out")" </dev/null; }
ours_csplit() { rm -rf "$work/cset"; mkdir "$work/cset"
  wine "$build/bin/velmora.exe" /split "$(win "$work/big.bin")" "$(win "$work/cset")" $section /compress </dev/null; }
ref_csplit() { rm -rf "$work/cref"; mkdir "$work/cref"
  (cd "$work" && gcab -c -z "$work/ref.cab" big.bin) && split -b $section "$work/ref.cab" "$work/cref/x"; }

declare -A t
for ((i = 0; i < reps; i++)); do
  # The two front ends, each first in every other round.
  for front in $( ((i % 2)) && echo "command dialog" || echo "dialog command"); do
    t[$front]+="$(${front}_split) " || { echo "the $front split failed"; exit 1; }
    if [ $i = 0 ]; then  # the same engine: the same set, byte for byte
      if [ -d "$work/first" ]; then
        diff -r -q "$work/first" "$work/set" >/dev/null ||
          { echo "the dialog and /split wrote different sets"; exit 1; }
        rm -rf "$work/first"
      else
        mv "$work/set" "$work/first"
      fi
    fi
  done
  t[os]+="$(timed ours_split) "; t[fs]+="$(timed floor_split) "; t[rs]+="$(timed ref_split) "
  t[oj]+="$(timed ours_join) "; t[fj]+="$(timed floor_join) "; t[rj]+="$(timed ref_join) "
  cmp -s "$work/j/big.bin" "$work/big.bin" || { echo "join produced different bytes"; exit 1; }
  cmp -s "$work/floor.out" "$work/big.bin" || { echo "floor join produced different bytes"; exit 1; }
  [ "$(ls "$work/floor" | wc -l)" = "$(ls "$work/set" | grep -c 'VRAX\.[0-9e]')" ] ||
    { echo "the floor and the engine wrote different numbers of pieces"; exit 1; }
  rm -f "$work/j/big.bin" "$work/cat.out" "$work/floor.out"
done
if [ "${COMPRESSED:-1}" = 1 ]; then
  for ((i = 0; i < (reps < 3 ? reps : 3); i++)); do
    t[oc]+="$(timed ours_csplit) "; t[rc]+="$(timed ref_csplit) "
  done
fi

med() { echo ${t[$1]} | tr ' ' '\n' | median; }
report() {  # label ours ref
  local o r; o=$(med $2); r=$(med $3)
  printf '%-38s %8.2f s  vs %8.2f s   ratio %5.2f\n' "$1" "$o" "$r" "$(echo "$o / $r" | bc -l)"
}
echo "file ${size_mb} MiB, section $section bytes, $reps runs, medians:"
report "split (engine) vs its floor" os fs
report "split (engine) vs split -b" os rs
report "join (first piece) vs its floor" oj fj
report "join (first piece) vs cat" oj rj
report "split: /split vs the dialog" command dialog
printf '  runs (s): /split %s; dialog %s\n' "${t[command]% }" "${t[dialog]% }"
[ -n "${t[oc]:-}" ] && report "compressed split vs gcab -c -z + split" oc rc
true
