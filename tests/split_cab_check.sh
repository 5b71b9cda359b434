#!/usr/bin/env bash
# A compressed set checked from the Linux side: velmora.exe /split
# compresses and splits a file under Wine; the data areas cut out here with
# tail, concatenated, must be a cabinet that cabextract and gcab accept and
# that holds the file under its bare name; the real first piece, run under
# Wine into a target directory, rebuilds the same bytes.
set -euo pipefail
build=$1
export VELMORA_BUILD=$build
source "$(dirname "$0")/../cmake/wine-env.sh"
wine_env_prepare >/dev/null 2>&1
wine_scratch cabcheck

{ for i in $(seq 1 30000); do echo "record $i: some text that compresses"; done
  head -c 300000 /dev/urandom; } > "$work/data.log"
mkdir "$work/set"
WINEPATH=$(win "$build/bin") wine "$build/bin/velmora.exe" /split "$(win "$work/data.log")" \
  "$(win "$work/set")" 100000 /compress </dev/null >/dev/null 2>&1 || { echo "split failed: $?"; exit 1; }

n=$(( $(ls "$work/set" | grep -c "VRAX\.[0-9]") + 1 ))
[ "$n" -ge 3 ] || { echo "expected several pieces, found $n"; exit 1; }
tail -c +6941 "$work/set/dataVRAX.exe" > "$work/payload.cab"
for ((k = 0; k < n - 1; k++)); do
  tail -c +13 "$work/set/dataVRAX.$(printf %03d $k)" >> "$work/payload.cab"
done
cabextract -q -t "$work/payload.cab" >/dev/null
gcab -l "$work/payload.cab" | awk '{print $1}' | grep -qx 'data.log' || { echo "gcab does not list data.log"; exit 1; }
cabextract -q -d "$work/x" "$work/payload.cab"
cmp "$work/x/data.log" "$work/data.log"

mkdir "$work/cwd"
(cd "$work/cwd" && WINEPATH=$(win "$build/bin") wine "$work/set/dataVRAX.exe" "$(win "$work/out/new")" \
  </dev/null >/dev/null 2>&1)
cmp "$work/out/new/data.log" "$work/data.log"
echo "compressed set: $n pieces, payload accepted by cabextract and gcab, rebuilt exactly"
