#!/usr/bin/env bash
# Cabinet building speed and size: one MSZIP cabinet from the same ~64 MiB of
# sources (text from /usr/share, programs from /usr/bin, random bytes) built
# through vornex_add_files_one_step under Wine (bench_cabinet_driver) and by
# gcab -c -z on the Linux side. Runs alternate; prints the median times and
# the ratios vornex / gcab of time and cabinet size.
# Usage: bench/bench_cabinet.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
export VELMORA_BUILD=$(cd "$1" && pwd)
runs=${BENCH_RUNS:-5}
driver=$VELMORA_BUILD/bin/bench_cabinet_driver.exe
[ -f "$driver" ] || { echo "no $driver: build first (./run build)"; exit 1; }
source "$root/cmake/wine-env.sh"
wine_env_prepare

work=$VELMORA_BUILD/bench_cabinet
input=$work/input
mib=$((1024 * 1024))

# The input set, made once: about 28 MiB text, 28 MiB programs, 8 MiB random.
if [ ! -f "$work/.ready" ]; then
  rm -rf "$work"
  mkdir -p "$input/text" "$input/bin"
  total=0 n=0
  while IFS= read -r f; do
    size=$(stat -c %s "$f")
    n=$((n + 1))
    cp "$f" "$input/text/$n.txt"
    total=$((total + size))
    [ $total -lt $((28 * mib)) ] || break
  done < <(find /usr/share/doc /usr/share/common-licenses /usr/share/perl* /usr/share/cmake* \
             -type f \( -name '*.txt' -o -name '*.html' -o -name '*.pm' -o -name '*.cmake' \
             -o -name 'copyright' -o -name '*.rst' \) -size +2k 2>/dev/null | sort)
  # Decompressed manual pages if the plain text ran short.
  if [ $total -lt $((28 * mib)) ]; then
    while IFS= read -r f; do
      n=$((n + 1))
      zcat "$f" >"$input/text/$n.man" 2>/dev/null || continue
      total=$((total + $(stat -c %s "$input/text/$n.man")))
      [ $total -lt $((28 * mib)) ] || break
    done < <(find /usr/share/man -name '*.gz' | sort)
  fi
  total=0
  while IFS= read -r f; do
    size=$(stat -c %s "$f")
    [ "$size" -lt $((8 * mib)) ] || continue
    cp "$f" "$input/bin/"
    total=$((total + size))
    [ $total -lt $((28 * mib)) ] || break
  done < <(find /usr/bin -maxdepth 1 -type f -size +20k | sort)
  head -c $((8 * mib)) /dev/urandom >"$input/random.bin"
  touch "$work/.ready"
fi

(cd "$input" && find . -type f | sort | sed 's|^\./||') >"$work/files.txt"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
while IFS= read -r f; do winpath "$input/$f"; printf '\n'; done <"$work/files.txt" >"$work/files.win.txt"
count=$(wc -l <"$work/files.txt")
bytes=$(cd "$input" && du -cb --apparent-size . | tail -n 1 | cut -f1)
printf 'input: %d files, %.1f MiB\n' "$count" "$(echo "$bytes / $mib" | bc -l)"

now() { date +%s.%N; }
vornex_times=() gcab_times=()
for i in $(seq "$runs"); do
  rm -f "$work/vornex.cab"
  t0=$(now)
  wine "$driver" "$(winpath "$work/files.win.txt")" "$(winpath "$work/vornex.cab")" \
    </dev/null >"$work/driver.out" 2>&1 ||
    { cat "$work/driver.out"; echo "the driver failed"; exit 1; }
  t1=$(now)
  vornex_times+=("$(echo "$t1 - $t0" | bc -l)")

  rm -f "$work/gcab.cab"
  t0=$(now)
  (cd "$input" && xargs -a "$work/files.txt" -d '\n' gcab -c -z "$work/gcab.cab")
  t1=$(now)
  gcab_times+=("$(echo "$t1 - $t0" | bc -l)")
done
tr -d '\r' <"$work/driver.out"

# The cabinet we built is sound and complete by an independent reader.
cabextract -q -t "$work/vornex.cab" >/dev/null
[ "$(cabextract -l "$work/vornex.cab" | grep -c ' | ')" -gt "$count" ] || { echo "files missing"; exit 1; }

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
vm=$(median "${vornex_times[@]}")
gm=$(median "${gcab_times[@]}")
vs=$(stat -c %s "$work/vornex.cab")
gs=$(stat -c %s "$work/gcab.cab")
echo "vornex (Wine, one step) runs: ${vornex_times[*]}"
echo "gcab -c -z runs:              ${gcab_times[*]}"
printf 'median time: vornex %.2f s, gcab %.2f s, ratio %.2f\n' "$vm" "$gm" "$(echo "$vm / $gm" | bc -l)"
printf 'size: vornex %d bytes, gcab %d bytes, ratio %.3f (input %d bytes)\n' "$vs" "$gs" \
  "$(echo "$vs / $gs" | bc -l)" "$bytes"
