#!/usr/bin/env bash
# velmora-join (native, build/host) against `cat` on one 512 MiB set:
#   the set: velmora.exe /split (the engine under Wine) into 1,457,664-byte
#   sections, then the integrity record and the checksum file added by
#   tests/split_set_tool.py, so the join checks every piece's CRC and the
#   payload's;
#   the yardstick: `cat` of the set's data areas, cut out beforehand into
#   files of their own, into one file.
# Runs alternate, REPS times each (default 5); prints the medians and ratio
# (at most 1.5 is the goal). BEFORE=path/to/another/velmora-join times that
# build too, in the same alternation, for a before-and-after figure.
# Usage: bench/bench_hostjoin.sh BUILD_DIR   (REPS=n, SIZE_MB=n to change)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
[ -x "$1/host/velmora-join" ] || { echo "velmora-join is not built: $1/host/velmora-join"; exit 1; }
bench_setup "$1" bench_hostjoin 5
join=$build/host/velmora-join

mixed_file "$work/big.bin"
mkdir "$work/set"
wine "$build/bin/velmora.exe" /split "$(win "$work/big.bin")" "$(win "$work/set")" $section </dev/null >/dev/null 2>&1
python3 "$here/../tests/split_set_tool.py" checksums "$work/set/bigVRAX.exe"
[ -f "$work/set/bigVRAX.sfv" ] || { echo "no checksum file"; exit 1; }
pieces=$(ls "$work/set" | grep -c -E 'VRAX\.(exe|[0-9]+)$')  # the library beside the set is no piece

# The data areas, each a file of its own, in piece order.
mkdir "$work/areas"
tail -c +6941 "$work/set/bigVRAX.exe" > "$work/areas/a00000"
for ((k = 0; k < pieces - 1; k++)); do
  tail -c +13 "$work/set/bigVRAX.$(printf %03d $k)" > "$work/areas/a$(printf %05d $((k + 1)))"
done
cmp <(cat "$work"/areas/a*) "$work/big.bin" || { echo "the data areas are not the file"; exit 1; }
cat "$work"/set/* "$work"/areas/* > /dev/null  # into the page cache

now() { date +%s.%N; }
# Each run starts with the earlier runs' output on disk (sync, untimed), so
# that none pays for another's writeback.
timed() { sync; local t0; t0=$(now); "$@" >/dev/null 2>&1; echo "$(now) - $t0" | bc; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

ours() { "$join" "$work/set/bigVRAX.exe" "$work/j"; }
ref() { cat "$work"/areas/a* > "$work/cat.out"; }
before() { "$BEFORE" "$work/set/bigVRAX.exe" "$work/b"; }

t_ours="" t_ref="" t_before=""
for ((i = 0; i < reps; i++)); do
  rm -rf "$work/j" "$work/cat.out" "$work/b"
  t_ours+="$(timed ours) "
  cmp -s "$work/j/big.bin" "$work/big.bin" || { echo "velmora-join produced different bytes"; exit 1; }
  rm -rf "$work/j"
  t_ref+="$(timed ref) "
  rm -f "$work/cat.out"
  if [ -n "${BEFORE:-}" ]; then t_before+="$(timed before) "; rm -rf "$work/b"; fi
done
o=$(echo $t_ours | tr ' ' '\n' | median)
r=$(echo $t_ref | tr ' ' '\n' | median)
echo "file ${size_mb} MiB, section $section bytes, $pieces pieces, checksums on, $reps runs, medians:"
printf '%-38s %8.2f s  vs %8.2f s   ratio %5.2f\n' "velmora-join (native) vs cat" "$o" "$r" \
  "$(echo "$o / $r" | bc -l)"
if [ -n "${BEFORE:-}" ]; then
  b=$(echo $t_before | tr ' ' '\n' | median)
  printf '%-38s %8.2f s  vs %8.2f s   ratio %5.2f\n' "$BEFORE vs cat" "$b" "$r" "$(echo "$b / $r" | bc -l)"
fi
