#!/usr/bin/env bash
# What recovery volumes cost a split, side by side on one 512 MiB file in
# 1,457,664-byte sections (369 pieces):
#   velmora.exe /split without volumes, with /recovery 1 and /recovery 5%
#   (19 volumes), and Debian's `par2 create` (all threads) making the same
#   one-slice-per-piece volumes over the pieces of the plain split.
# Goals: 1 volume at most 1.5x the plain split, 5 % at most 2.5x, and the
# recovery work (split with volumes less split without) at most half of
# par2 create. Runs alternate, REPS times each (default 3); medians. The
# machine's load (uptime) is printed before and after: the figures are only
# as quiet as the machine.
# Usage: bench/bench_recovery.sh BUILD_DIR   (REPS=n, SIZE_MB=n to change)
set -euo pipefail
source "$(dirname "$0")/common.sh"
bench_setup "$1" bench_recovery 3

head -c $((size_mb * 1048576)) /dev/urandom > "$work/big.bin"
cat "$work/big.bin" > /dev/null  # into the page cache

now() { date +%s.%N; }
timed() { local t0; t0=$(now); "$@" >/dev/null 2>&1; echo "$(now) - $t0" | bc; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

split_with() { rm -rf "$work/set"; mkdir "$work/set"
  wine "$build/bin/velmora.exe" /split "$(win "$work/big.bin")" "$(win "$work/set")" $section "$@" </dev/null; }
# par2 create over the plain split's pieces, kept aside once.
par2_create() { rm -f "$work/pieces"/*.par2
  (cd "$work/pieces" && par2 create -q -q -s$section -c"$1" ref.par2 bigVRAX.* ); }

split_with >/dev/null 2>&1
rm -rf "$work/pieces"; mv "$work/set" "$work/pieces"
pieces=$(ls "$work/pieces" | grep -c -E 'VRAX\.(exe|[0-9]+)$')
volumes=$(( (5 * pieces + 99) / 100 ))

echo "load before: $(uptime)"
declare -A t
for ((r = 0; r < reps; ++r)); do
  t[plain]+="$(timed split_with) "
  t[one]+="$(timed split_with /recovery 1) "
  t[share]+="$(timed split_with /recovery 5%) "
  t[create1]+="$(timed par2_create 1) "
  t[create]+="$(timed par2_create "$volumes") "
done
echo "load after:  $(uptime)"
m() { tr ' ' '\n' <<<"${t[$1]}" | grep . | median; }
plain=$(m plain) one=$(m one) share=$(m share) create1=$(m create1) create=$(m create)
ratio() { echo "scale=2; $1 / $2" | bc; }
printf '%s MiB, %d pieces of %d bytes, medians of %d runs (seconds)\n' "$size_mb" "$pieces" $section "$reps"
printf '  split, no volumes            %8.2f\n' "$plain"
printf '  split, /recovery 1           %8.2f  %sx the plain split (goal 1.5x)\n' "$one" "$(ratio "$one" "$plain")"
printf '  split, /recovery 5%% (%d)     %8.2f  %sx the plain split (goal 2.5x)\n' "$volumes" "$share" "$(ratio "$share" "$plain")"
printf '  par2 create -c1              %8.2f\n' "$create1"
printf '  par2 create -c%d             %8.2f\n' "$volumes" "$create"
printf '  recovery work, 1 volume      %8.2f  %sx par2 create (goal 0.5x)\n' \
  "$(echo "$one - $plain" | bc)" "$(ratio "$(echo "$one - $plain" | bc)" "$create1")"
printf '  recovery work, %d volumes    %8.2f  %sx par2 create (goal 0.5x)\n' "$volumes" \
  "$(echo "$share - $plain" | bc)" "$(ratio "$(echo "$share - $plain" | bc)" "$create")"
