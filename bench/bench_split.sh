#!/usr/bin/env bash
# Split and join speed against the floors of their block rules, on one
# 512 MiB file (half random, half text) in 1,457,664-byte sections:
#   split (dialog): the split through the dialog, worked from outside
#          (bench_split_driver dialog: from pressing Split to the result box),
#          checksums and progress on, vs the split floor (block_floor split:
#          one 2048-byte buffer, every block read and write positioned, the
#          same 369 pieces with their data areas at the set's offsets, no
#          records, no checksums)
#   split (/split): velmora.exe /split from its start to its end vs the same
#          floor
#   join:  running the first piece (checksum file and integrity record in
#          the set: every piece and the payload checked) vs the join floor
#          (block_floor join: 2048-byte reads appended in sequence); and the
#          same set without its record and checksum file, where nothing is
#          checked (the first piece still runs its CRC: the difference is the
#          checking's own cost; the CRC's is the carry-less path's, about a
#          quarter of the table's)
#   offsets: the split floor with every piece's data from its offset 0
#          (block_floor split ... flat) vs the split floor: what the set's
#          data offsets (6940 and 12) cost the file system, shown beside the
#          rows above and in none of them
#   threads: the split floor on a second thread of its process vs the split
#          floor: what a copy pays for running beside another thread, as
#          the dialog's copy runs beside the window's (under Linux every
#          read, write and seek of a process with threads takes a reference
#          on the file); shown, and in none of the floors
#   compressed: velmora.exe /split /compress vs `gcab -c -z` + `split`
#          (both timed from outside, Wine's start included on our side)
# Every figure inside Wine is taken by one clock (bench_split_driver, from a
# process's start to its end, or from Split to the result box). Each row is
# REPS pairs (default 5) of ours and its floor, the order alternating from
# pair to pair; before every run the written data goes to disk (sync), so
# that no run pays for its predecessor's writes. Printed: the medians, and
# the ratio as the median of the pairs' ratios. The machine's load (uptime)
# is printed before and after: the figures are only as quiet as the machine.
# Usage: bench/bench_split.sh BUILD_DIR   (REPS=n, SIZE_MB=n, COMPRESSED=0)
set -euo pipefail
source "$(dirname "$0")/common.sh"
bench_setup "$1" bench_split 5
export VELMORA_BIN=$WINEPATH
echo "load before: $(uptime)"

mixed_file "$work/big.bin"
cat "$work/big.bin" > /dev/null  # into the page cache

now() { date +%s.%N; }
# Seconds of one run from outside.
timed() { local t0; t0=$(now); "$@" >/dev/null 2>&1 || return 1; echo "$(now) - $t0" | bc; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
fresh() { rm -rf "$1"; mkdir "$1"; sync; }

# The driver's own figure, its last line "seconds S".
driven() { wine "$build/bin/bench_split_driver.exe" "$@" </dev/null 2>/dev/null | tr -d '\r' |
  awk '$1 == "seconds" { s = $2 } END { if (s == "") exit 1; print s }'; }
bin=$(win "$build/bin")
dialog_split() { fresh "$work/set"
  driven dialog "$(win "$work/big.bin")" "$(win "$work/set")" $section; }
command_split() { fresh "$work/set"
  driven command /split "$(win "$work/big.bin")" "$(win "$work/set")" $section; }
floor_split() { fresh "$work/floor"
  driven run "$bin\\block_floor.exe" split "$(win "$work/big.bin")" "$(win "$work/floor")" $section; }
flat_split() { fresh "$work/flat"
  driven run "$bin\\block_floor.exe" split "$(win "$work/big.bin")" "$(win "$work/flat")" $section flat; }
thread_split() { fresh "$work/flat"
  driven run "$bin\\block_floor.exe" split "$(win "$work/big.bin")" "$(win "$work/flat")" $section thread; }
# $1: the set's folder (checked: first; bare: no record, no checksum file).
# Every join's output is compared with the file.
same() { cmp -s "$1" "$work/big.bin"; }
join_set() { fresh "$work/j"
  (cd "$work/j" && driven run "$(win "$work/$1/bigVRAX.exe")") && same "$work/j/big.bin"; }
checked_join() { join_set first; }
bare_join() { join_set bare; }
floor_join() { rm -f "$work/floor.out"; sync
  driven run "$bin\\block_floor.exe" join "$(win "$work/floor")" "$(win "$work/floor.out")" &&
    same "$work/floor.out"; }
ours_csplit() { fresh "$work/cset"
  timed wine "$build/bin/velmora.exe" /split "$(win "$work/big.bin")" "$(win "$work/cset")" \
    $section /compress </dev/null; }
gcab_split() { fresh "$work/cref"; rm -f "$work/ref.cab"
  (cd "$work" && gcab -c -z "$work/ref.cab" big.bin) && split -b $section "$work/ref.cab" "$work/cref/x"; }
ref_csplit() { timed gcab_split; }

declare -A t
# One pair: $1 and $2 run in this order or the other (by $3), their seconds
# added to t[$1] and t[$2], and their ratio to t[$1/$2].
pair() {
  local a b first second
  if (($3 % 2)); then first=$2; second=$1; else first=$1; second=$2; fi
  local -A s
  s[$first]=$($first) || { echo "$first failed"; exit 1; }
  s[$second]=$($second) || { echo "$second failed"; exit 1; }
  a=${s[$1]}; b=${s[$2]}
  t[$1]+="$a "; t[$2/$1]+="$b "; t[$1:ratio]+="$(echo "$a / $b" | bc -l) "
}

# One round untimed: the first runs after the file is made pay for settling
# the page cache and the file system, up to twice the time of the later ones.
dialog_split >/dev/null && floor_split >/dev/null && flat_split >/dev/null ||
  { echo "the warm-up round failed"; exit 1; }
for ((i = 0; i < reps; i++)); do
  pair dialog_split floor_split $i
  if [ $i = 0 ]; then mv "$work/set" "$work/first"; fi
  pair command_split floor_split $((i + 1))
  if [ $i = 0 ]; then  # the same engine: the same set, byte for byte
    diff -r -q "$work/first" "$work/set" >/dev/null ||
      { echo "the dialog and /split wrote different sets"; exit 1; }
    [ "$(ls "$work/floor" | wc -l)" = "$(ls "$work/set" | grep -c 'VRAX\.[0-9e]')" ] ||
      { echo "the floor and the engine wrote different numbers of pieces"; exit 1; }
    # The same set without its record and checksum file: nothing to check.
    mkdir "$work/bare"
    ln "$work"/first/bigVRAX.[0-9]* "$work/bare/"
    cp "$work/first/bigVRAX.exe" "$work/bare/"
    dd if=/dev/zero of="$work/bare/bigVRAX.exe" bs=1 seek=6888 count=32 conv=notrunc status=none
  fi
  pair checked_join floor_join $i
  pair bare_join floor_join $((i + 1))
  pair flat_split floor_split $i
  pair thread_split floor_split $((i + 1))
done
if [ "${COMPRESSED:-1}" = 1 ]; then
  for ((i = 0; i < reps; i++)); do pair ours_csplit ref_csplit $i; done
fi

med() { echo ${t[$1]} | tr ' ' '\n' | median; }
report() {  # label ours floor
  printf '%-44s %6.2f s  vs %6.2f s   ratio %5.2f\n' "$1" "$(med $2)" "$(med $3/$2)" \
    "$(med $2:ratio)"
}
echo "load after:  $(uptime)"
echo "file ${size_mb} MiB, section $section bytes, medians of $reps pairs (ratio: median of the pairs'):"
report "split, dialog vs split floor" dialog_split floor_split
report "split, /split vs split floor" command_split floor_split
report "join, first piece, checked vs join floor" checked_join floor_join
report "join, first piece, unchecked vs join floor" bare_join floor_join
report "split floor, data at offset 0 vs split floor" flat_split floor_split
report "split floor, second thread vs split floor" thread_split floor_split
[ -n "${t[ours_csplit]:-}" ] && report "compressed split vs gcab -c -z + split" ours_csplit ref_csplit
for k in dialog_split command_split checked_join bare_join flat_split thread_split ours_csplit; do
  [ -n "${t[$k]:-}" ] || continue
  f=$(printf '%s\n' "${!t[@]}" | grep "/$k\$")
  printf '  %-14s ours %s; floor %s\n' "$k" "${t[$k]% }" "${t[$f]% }"
done
true
